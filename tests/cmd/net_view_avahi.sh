#!/usr/bin/env bash
# horavane-cmd's "net view" against the real avahi-daemon: two network namespaces of this test joined by a veth
# pair, each with its own private system bus and its own avahi-daemon; the far one publishes its workstation.
# No multicast leaves the two namespaces. Usage: net_view_avahi.sh HORAVANE-CMD   (as root; 77 means skipped)
#
# The namespaces are held by a process each and entered with nsenter, not made with `ip netns`: its exec remounts
# /, which fails in a chroot where / is no mount point.
set -euo pipefail
cmd=$1
here=$(cd "$(dirname "$0")" && pwd)
for tool in ip unshare nsenter mount chroot dbus-daemon avahi-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
export PATH=$PATH:/usr/sbin
. "$here/../support/script_test.sh"
. "$here/../support/private_bus.sh"
in_private_mounts "" "$here/$(basename "$0")" "$@"

far_host=hvpc$$
work_make net_view_avahi
holders=()
pids=()
cleanup() {
    local status=$? pid
    helpers_report "$status"
    # The namespaces, and the veth pair in them, go with their holders.
    for pid in "${pids[@]}" "${holders[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    work_end "$status"
}
trap cleanup EXIT

# hold NAME: sets $held to a process in a network and a mount namespace of its own, with loopback up and a private
# /run (avahi-daemon keeps its pid file and socket there).
hold() {
    local log=$work/$1/namespace.log
    mkdir -p "$work/$1"
    unshare --net --mount sh -c 'mount -t tmpfs tmpfs /run && mkdir /run/avahi-daemon && ip link set lo up &&
        echo ready && exec sleep 100000' >"$log" 2>&1 &
    held=$!
    holders+=("$held")
    helper_watch "the $1 namespace" "holders[$((${#holders[@]} - 1))]" "$log"
    if ! until_ok 10 'grep -q ready "$log" 2>/dev/null'; then
        if grep -q 'Operation not permitted\|Invalid argument' "$log"; then
            echo "SKIP: network and mount namespaces cannot be made here: $(head -1 "$log")"
            exit 77
        fi
        fail "the $1 namespace was not made"
    fi
}
hold near
near=$held
hold far
far=$held
in_net() { # in_net PID COMMAND...: in that process's network namespace
    local pid=$1
    shift
    nsenter --target "$pid" --net "$@"
}
in_net "$near" ip link add hvnear type veth peer name hvfar netns "$far" || fail "no veth pair between the namespaces"
in_net "$near" ip addr add 10.213.0.1/24 dev hvnear
in_net "$far" ip addr add 10.213.0.2/24 dev hvfar
in_net "$near" ip link set hvnear up
in_net "$far" ip link set hvfar up

# side NAME PID INTERFACE HOST PUBLISH: a private bus and an avahi-daemon on it in that namespace; the daemon sees
# its namespace's mounts (its /run), with the root and folder of this script (a chroot stays one).
side() {
    local name=$1 pid=$2 interface=$3 host=$4 publish=$5 dir=$work/$1 bus=bus_$1
    # nsenter runs the daemon in its own process, so stopping that process stops the bus.
    private_bus_start "$dir" "$bus" nsenter --target "$pid" --net || fail "the $name bus did not start"
    pids+=("${!bus}")
    cat >"$dir/avahi.conf" <<CONF
[server]
host-name=$host
use-ipv4=yes
use-ipv6=no
allow-interfaces=$interface
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-addresses=yes
publish-hinfo=no
publish-workstation=$publish
publish-domain=no
[reflector]
enable-reflector=no
CONF
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/bus" nsenter --target "$pid" --net --mount --root --wd avahi-daemon \
        -f "$dir/avahi.conf" --no-drop-root --no-chroot --no-rlimits --no-proc-title >"$dir/avahi.log" 2>&1 &
    printf -v "avahi_$name" %s $!
    pids+=($!)
    helper_watch "avahi-daemon in $name" "avahi_$name" "$dir/avahi.log"
}
side near "$near" hvnear "hvnear$$" no
side far "$far" hvfar "$far_host" yes
for name in near far; do
    until_ok 15 "grep -q 'Server startup complete' '$work/$name/avahi.log' 2>/dev/null" ||
        fail "avahi-daemon in $name did not start"
done

drive=$work/drive_c
mkdir -p "$drive"
run() { # run LINE: the command file's one line, run by horavane-cmd in the near namespace
    printf '%s\r\n' "$1" >"$drive/gTime.bat"
    HORAVANE_DRIVE_C="$drive" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/near/bus" in_net "$near" \
        "$cmd" "$drive/gTime.bat" >>"$work/cmd.log" 2>&1 || true
}
helper_log horavane-cmd "$work/cmd.log"
helper_log "the status file" "$drive/StatusTime.txt"

# The far side's first announcement may still be on its way: a few tries.
listed=
for _ in 1 2 3; do
    run 'net view > c:\StatusTime.txt'
    if grep -q "^\\\\\\\\$far_host  *$far_host.local" "$drive/StatusTime.txt" 2>/dev/null; then
        listed=1
        break
    fi
done
[ -n "$listed" ] || fail "net view did not list \\\\$far_host"
grep -q 'The command completed successfully.' "$drive/StatusTime.txt" || fail "net view did not complete"

# The short name is found through Avahi: the far computer is asked at its address (where no time server runs).
run "net time \\\\$far_host /set /yes >c:\\StatusTime.txt"
grep -q '10.213.0.2' "$drive/StatusTime.txt" || fail "net time did not reach \\\\$far_host through Avahi"
echo "PASS: net view lists the far workstation as \\\\$far_host and net time finds it"
