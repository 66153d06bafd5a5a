# Shell functions for the scripts that run a D-Bus daemon of their own (sourced, after script_test.sh).

# private_bus_config FOLDER: writes FOLDER/bus.conf for a bus that listens on the socket FOLDER/bus and lets its
# clients do everything; only the test's own processes know the socket.
private_bus_config() {
    cat >"$1/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>custom</type>
  <listen>unix:path=$1/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/> <allow own="*"/>
    <allow send_type="method_call"/> <allow send_type="signal"/>
    <allow send_type="method_return"/> <allow send_type="error"/>
    <allow receive_type="method_call"/> <allow receive_type="signal"/>
    <allow receive_type="method_return"/> <allow receive_type="error"/>
  </policy>
</busconfig>
CONF
}

# private_bus_start FOLDER PIDVAR [PREFIX...]: a bus of private_bus_config on FOLDER/bus, started through PREFIX
# (a program that ends in exec of the rest, e.g. nsenter into a namespace; not a shell function, whose subshell
# would be the process stopped) and watched under the name of FOLDER's last part; its log is FOLDER/bus.log.
# Sets PIDVAR to its process id; false when it does not take connections (the wait says why).
private_bus_start() {
    local dir=$1 var=$2
    shift 2
    private_bus_config "$dir"
    # The daemon prints its address once it listens.
    "$@" dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile --print-address=3 3>"$dir/bus.address" \
        >"$dir/bus.log" 2>&1 &
    printf -v "$var" %s $!
    helper_watch "the bus in ${dir##*/}" "$var" "$dir/bus.log"
    until_ok 10 'test -s "$dir/bus.address"'
}
