# A shell function for the scripts that run a D-Bus daemon of their own (sourced).

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
