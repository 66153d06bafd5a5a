#!/usr/bin/env bash
# The whole journey of a user with the installed programs, under Xvfb with trayer as the tray, driven with
# xdotool clicks as a person would: start hidden; open from the tray; choose an Internet server in the selection
# dialog; SYNC NOW, which fails without NTS rather than fall back to xinetd's time service (a fake clock service
# on a private bus is never asked); the result and its response time; the record in the viewer; a schedule set; DONE; END; start again and find the server and the
# schedule restored. Screenshots of each window are left in the artefact folder.
#
# It runs in network and mount namespaces of its own: only loopback exists, and /etc/hosts is replaced (inside the
# namespace alone) so that the built-in server names lead to 127.0.0.1. No packet can leave the machine.
# Usage: whole_journey.sh BUILD_DIR FAKE_TIMEDATED [ARTEFACT_DIR]   (root; exit 77 when a tool is missing)
set -u
build=$1
fake_timedated=$2
artefacts=${3:-$build/artefacts/journey}
here=$(cd "$(dirname "$0")" && pwd)

for tool in unshare chroot ip xinetd dbus-daemon import; do
    command -v "$tool" >/dev/null || command -v "/usr/sbin/$tool" >/dev/null || {
        echo "SKIP: $tool is not installed"
        exit 77
    }
done
. "$here/../../scripts/xtray.sh"
. "$here/../support/private_bus.sh"
in_private_mounts --net "$here/$(basename "$0")" "$@"
xtray_available || {
    echo "SKIP: Xvfb, trayer, xdotool or xwininfo is not installed"
    exit 77
}

work_make whole_journey
mkdir -p "$artefacts"
pids=()
app=
cleanup() {
    local status=$?
    helpers_report "$status"
    [ -n "$app" ] && kill "$app" 2>/dev/null
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    xtray_stop
    wait 2>/dev/null
    work_end "$status"
}
trap cleanup EXIT
step() { echo "-- $*"; }

# Loopback only, and every built-in server name on it.
ip link set lo up || fail "cannot bring up loopback in the namespace"
{
    echo "127.0.0.1 localhost"
    tr -d '\r' <"$here/../../data/internet_servers.txt" | grep -v '^[0-9.]*$' | sed 's/\.$//' | sort -u |
        sed 's/^/127.0.0.1 /'
} >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts || fail "cannot replace /etc/hosts in the namespace"
[ "$(getent hosts time.nist.gov | awk '{print $1}')" = 127.0.0.1 ] || fail "time.nist.gov does not lead to loopback"

# The installed programs.
step "installing into a private prefix"
DESTDIR=$work/root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 || fail "cmake --install failed"
bin=$work/root/usr/bin/horavane
[ -x "$bin" ] && [ -x "$work/root/usr/bin/horavane-cmd" ] || fail "the programs were not installed"

# xinetd's built-in time service on 127.0.0.1:37.
cat >"$work/xinetd.conf" <<CONF
defaults
{
    log_type = FILE $work/xinetd.log
}
service time
{
    type        = INTERNAL
    id          = time-stream
    socket_type = stream
    protocol    = tcp
    user        = root
    wait        = no
    bind        = 127.0.0.1
    disable     = no
}
CONF
xinetd -dontfork -f "$work/xinetd.conf" -pidfile "$work/xinetd.pid" >"$work/xinetd.out" 2>&1 &
xinetd=$!
pids+=($!)
helper_watch xinetd xinetd "$work/xinetd.out"
helper_log "xinetd's service" "$work/xinetd.log"

# A private system bus with the fake clock service.
private_bus_start "$work" bus_pid || fail "the private bus did not start"
pids+=("$bus_pid")
bus=unix:path=$work/bus
echo 1 >"$work/ntp" # automatic time synchronization on, as on a default desktop
"$fake_timedated" --address "$bus" --record "$work/settime" --ntp-file "$work/ntp" >"$work/timedated.log" 2>&1 &
timedated=$!
pids+=($!)
helper_watch "the fake clock service" timedated "$work/timedated.log"
until_ok 10 'grep -q ready "$work/timedated.log"' || fail "the fake clock service did not start"
until_ok 10 '(exec 3<>/dev/tcp/127.0.0.1/37) 2>/dev/null' || fail "xinetd does not serve the time"

xtray_start "$work" || fail "Xvfb or trayer did not start"
export DBUS_SYSTEM_BUS_ADDRESS=$bus
# The connection check reaches xinetd's port, so the machine counts as online inside the namespace.
export HORAVANE_CHECK_URL=http://127.0.0.1:37/
export HORAVANE_DRIVE_C=$work/c
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"

helper_watch horavane app "$work/app.log"
start_program() {
    "$bin" >>"$work/app.log" 2>&1 &
    app=$!
    until_ok 15 'test -n "$(xtray_icon)"' || fail "no icon in the tray"
    sleep 0.5
    [ -z "$(xtray_main_window)" ] || fail "the window is visible at start"
}
# click WINDOW LEFT TOP WIDTH HEIGHT: the centre of an element's design position in twips.
click() { xdotool mousemove --window "$1" $((($2 + $4 / 2) / 15)) $((($3 + $5 / 2) / 15)) click 1; }
# click_at WINDOW X Y: a point in pixels.
click_at() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
shot() { import -window "$1" "$artefacts/$2.png" 2>/dev/null || echo "   (no screenshot of $2)"; }
open_main() {
    xtray_click_icon
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "a click on the icon did not show the window"
    main=$(xtray_main_window)
    settle
}

step "start hidden in the tray"
start_program
open_main
shot "$main" main-window

step "choose an Internet server in the selection dialog"
click "$main" 5280 6000 972 252 # server "Change"
until_ok 10 'test -n "$(visible "^Select Computer$")"' || fail "the selection dialog did not open"
dialog=$(visible "^Select Computer$")
settle
sleep 1.5 # discovery starts half a second after the dialog opens and ends two seconds later
shot "$dialog" select-computer
# The first entry of the Internet list (the list's top-left at 6720, 1440 twips).
click_at "$dialog" $((6720 / 15 + 60)) $((1440 / 15 + 8))
until_ok 10 'test -z "$(visible "^Select Computer$")"' || fail "a click on an Internet server did not close the dialog"

step "SYNC NOW"
log=$work/c/Horavane/ResultLog.txt
click "$main" 4560 6720 3132 1092
# The first entry offers NTS, and nothing serves NTS in this namespace: the synchronization fails rather than
# fall back to xinetd's unauthenticated time, and the clock service is never asked.
until_ok 30 'test -s "$log"' || fail "no result was logged"
record=$(head -1 "$log" | tr -d '\r')
echo "   logged: $record"
case $record in
'"FAILED Synchronization on '*' With time.cloudflare.com - Server Response Time = '*' Milliseconds"') ;;
*) fail "unexpected record: $record" ;;
esac
[ -z "$(visible "^Automatic Time Synchronization$")" ] || fail "a question came although nothing was to be set"
! awk 'NF == 4 && $2 == 1' "$work/settime" 2>/dev/null | grep -q . || fail "the clock service was asked to set the time"
sleep 0.5
shot "$main" main-window-synced

step "the record in the viewer"
click "$main" 6720 7800 972 252 # Log
until_ok 10 'test -n "$(visible "^Form1$")"' || fail "the log viewer did not open"
viewer=$(visible "^Form1$")
settle
click_at "$viewer" $((600 / 15 + 60)) $((1440 / 15 + 8)) # the first record
sleep 0.3
shot "$viewer" log-viewer
click "$viewer" 600 7800 1932 732 # Done
until_ok 10 'test -z "$(visible "^Form1$")"' || fail "Done did not close the viewer"

step "a schedule set"
click "$main" 9840 6000 972 252 # schedule "Change"
until_ok 10 'test -n "$(visible "^Form1$")"' || fail "the schedule dialog did not open"
schedule=$(visible "^Form1$")
settle
click_at "$schedule" $((8280 / 15 + 40)) $((2160 / 15 + 60)) # a time of day in the list
click_at "$schedule" $(((600 + 7368 / 2) / 15)) $(((1200 + 5856 / 2) / 15)) # a day in the middle of the month
sleep 0.3
xdotool key --window "$schedule" Next Next # two months on: the schedule lies in the future
sleep 0.5
shot "$schedule" schedule
click "$schedule" 720 7920 1932 732 # Done
until_ok 10 'test -z "$(visible "^Form1$")"' || fail "Done did not close the schedule dialog"

step "DONE"
settings=$work/c/HoravaneNRV.ini
click "$main" 2520 6720 1812 1092
until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window"
until_ok 5 'test -s "$settings"' || fail "DONE did not write the settings"
mapfile -t saved < <(tr -d '\r' <"$settings")
echo "   saved: ${saved[0]} | ${saved[1]} | ${saved[4]}"
[ "${saved[0]}" = '"time.cloudflare.com"' ] || fail "the server saved is ${saved[0]}"
[[ ${saved[1]} =~ ^\"[0-9]{2}:[0-9]{2}:00\ (AM|PM)\"$ ]] || fail "the scheduled time saved is ${saved[1]}"
[[ ${saved[4]} =~ ^\"[A-Z][a-z]+\ [0-9]{2}\ 20[0-9]{2}\"$ ]] || fail "the scheduled date saved is ${saved[4]}"

step "END"
open_main
click "$main" 360 6720 1812 1092
until_ok 10 '! kill -0 $app 2>/dev/null' || fail "END did not end the program"
wait "$app"
app=
[ -z "$(xtray_icon)" ] || fail "an icon is left in the tray after END"

step "start again: the server and the schedule are restored"
start_program
open_main
shot "$main" main-window-restored
click "$main" 2520 6720 1812 1092 # DONE writes what the labels hold now
until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window"
mapfile -t again < <(tr -d '\r' <"$settings")
[ "${again[0]}" = "${saved[0]}" ] || fail "the server came back as ${again[0]}"
[ "${again[1]}" = "${saved[1]}" ] || fail "the scheduled time came back as ${again[1]}"
[ "${again[4]}" = "${saved[4]}" ] || fail "the scheduled date came back as ${again[4]}"
open_main
click "$main" 360 6720 1812 1092 # END
until_ok 10 '! kill -0 $app 2>/dev/null' || fail "END did not end the program"
wait "$app"
app=
echo "screenshots in $artefacts"
echo PASS
