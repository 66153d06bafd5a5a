#!/usr/bin/env bash
# horavane-cmd's "net view" against the real avahi-daemon: two network namespaces of this test joined by a veth
# pair, each with its own private system bus and its own avahi-daemon; the far one publishes its workstation.
# No multicast leaves the two namespaces. Usage: net_view_avahi.sh HORAVANE-CMD   (as root; 77 means skipped)
set -euo pipefail
cmd=$1
for tool in ip unshare mount dbus-daemon avahi-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
export PATH=$PATH:/usr/sbin
. "$(dirname "$0")/../../support/private_bus.sh"

tag=hv-avahi-$$
near=$tag-near
far=$tag-far
near_if=hvn$$
far_if=hvf$$
far_host=hvpc$$
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    ip netns del "$near" 2>/dev/null || true
    ip netns del "$far" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if ! ip netns add "$near" 2>/dev/null; then
    echo "SKIP: network namespaces cannot be made here (ip netns add failed)"
    exit 77
fi
ip netns add "$far"
if ! ip netns exec "$near" mount -t tmpfs tmpfs /run 2>/dev/null; then
    echo "SKIP: no private mounts inside a network namespace here"
    exit 77
fi
ip link add "$near_if" type veth peer name "$far_if"
ip link set "$near_if" netns "$near"
ip link set "$far_if" netns "$far"
ip -n "$near" addr add 10.213.0.1/24 dev "$near_if"
ip -n "$far" addr add 10.213.0.2/24 dev "$far_if"
for ns in "$near" "$far"; do
    ip -n "$ns" link set lo up
done
ip -n "$near" link set "$near_if" up
ip -n "$far" link set "$far_if" up

# side NAME INTERFACE HOST PUBLISH: a private bus and an avahi-daemon on it, inside the namespace, each with a
# private /run (the daemon keeps its pid file and socket there).
side() {
    local name=$1 interface=$2 host=$3 publish=$4 dir=$work/$1
    mkdir -p "$dir"
    private_bus_config "$dir"
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
    ip netns exec "$name" dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile >"$dir/bus.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do
        [ -S "$dir/bus" ] && break
        sleep 0.1
    done
    ip netns exec "$name" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/bus" unshare --mount sh -c \
        'mount -t tmpfs tmpfs /run && mkdir -p /run/avahi-daemon && exec avahi-daemon -f "$1" --no-drop-root --no-chroot --no-rlimits --no-proc-title' \
        sh "$dir/avahi.conf" >"$dir/avahi.log" 2>&1 &
    pids+=($!)
}
side "$near" "$near_if" "hvnear$$" no
side "$far" "$far_if" "$far_host" yes
for ns in "$near" "$far"; do
    for _ in $(seq 150); do
        grep -q 'Server startup complete' "$work/$ns/avahi.log" && break
        sleep 0.1
    done
    if ! grep -q 'Server startup complete' "$work/$ns/avahi.log"; then
        echo "FAIL: avahi-daemon in $ns did not start:"
        cat "$work/$ns/avahi.log"
        exit 1
    fi
done

drive=$work/drive_c
mkdir -p "$drive"
run() { # run LINE: the command file's one line, run by horavane-cmd in the near namespace
    printf '%s\r\n' "$1" >"$drive/gTime.bat"
    ip netns exec "$near" env HORAVANE_DRIVE_C="$drive" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/$near/bus" \
        "$cmd" "$drive/gTime.bat" || true
}

# The far side's first announcement may still be on its way: a few tries.
listed=
for _ in 1 2 3; do
    run 'net view > c:\StatusTime.txt'
    if grep -q "^\\\\\\\\$far_host  *$far_host.local" "$drive/StatusTime.txt"; then
        listed=1
        break
    fi
done
if [ -z "$listed" ]; then
    echo "FAIL: net view did not list \\\\$far_host:"
    cat "$drive/StatusTime.txt"
    exit 1
fi
if ! grep -q 'The command completed successfully.' "$drive/StatusTime.txt"; then
    echo "FAIL: net view did not complete:"
    cat "$drive/StatusTime.txt"
    exit 1
fi

# The short name is found through Avahi: the far computer is asked at its address (where no time server runs).
run "net time \\\\$far_host /set /yes >c:\\StatusTime.txt"
if ! grep -q '10.213.0.2' "$drive/StatusTime.txt"; then
    echo "FAIL: net time did not reach \\\\$far_host through Avahi:"
    cat "$drive/StatusTime.txt"
    exit 1
fi
echo "PASS: net view lists the far workstation as \\\\$far_host and net time finds it"
