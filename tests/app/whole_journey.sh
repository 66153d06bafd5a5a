#!/usr/bin/env bash
# The whole journey of a user with the installed programs, under Xvfb with trayer as the tray, driven with
# xdotool clicks as a person would: start hidden; open from the tray; choose an Internet server in the selection
# dialog; SYNC NOW through NTS with chronyd (-x, never touching the clock), which serves this machine's clock, so a
# fake clock service on a private bus is never asked; the result and its response time; a NIST server, which starts
# with SNTP, answered by a fake SNTP server 5 s ahead: the automatic time synchronization question, answered yes,
# and the correction set through the fake clock service; the records in the viewer; a schedule set; DONE; END;
# start again and find the server and the schedule restored. Screenshots of each window are left in the artefact
# folder.
#
# It runs in network and mount namespaces of its own: only loopback exists, and /etc/hosts is replaced (inside the
# namespace alone) so that the built-in server names lead to 127.0.0.1. No packet can leave the machine.
# Usage: whole_journey.sh BUILD_DIR FAKE_TIMEDATED [ARTEFACT_DIR]   (root; exit 77 when a tool is missing)
set -u
build=$1
fake_timedated=$2
fake_sntp=$(dirname "$fake_timedated")/fake_sntp
artefacts=${3:-$build/artefacts/journey}
here=$(cd "$(dirname "$0")" && pwd)

for tool in unshare chroot ip xinetd chronyd openssl dbus-daemon import; do
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

# chronyd as the NTS server of time.cloudflare.com (key exchange on 127.0.0.1:4460), with a certificate from a CA of
# this test. Its NTP port is not SNTP's, so the key exchange names it and the NIST server's SNTP goes elsewhere.
step "starting chronyd with NTS"
(
    cd "$work" &&
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=Journey test CA" \
            -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign -days 2 \
            -keyout ca.key -out ca.pem &&
        openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=time.cloudflare.com \
            -addext subjectAltName=DNS:time.cloudflare.com -keyout nts.key -out nts.csr &&
        openssl x509 -req -in nts.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -copy_extensions copy \
            -out nts.pem
) >"$work/openssl.log" 2>&1 || fail "openssl could not make the test certificates: $(tail -3 "$work/openssl.log")"
mkdir "$work/chrony"
cat >"$work/chrony.conf" <<CONF
port 11123
bindaddress 127.0.0.1
allow 127.0.0.0/8
local stratum 1
ntsserverkey $work/nts.key
ntsservercert $work/nts.pem
ntsport 4460
ntsdumpdir $work/chrony
dumpdir $work/chrony
cmdport 0
bindcmdaddress /
pidfile $work/chrony/chronyd.pid
driftfile $work/chrony/drift
CONF
# -x: never adjust the clock; -d: in the foreground.
chronyd -4 -x -d -u root -f "$work/chrony.conf" >"$work/chronyd.log" 2>&1 &
chronyd=$!
pids+=($!)
helper_watch chronyd chronyd "$work/chronyd.log"
until_ok 10 '(exec 3<>/dev/tcp/127.0.0.1/4460) 2>/dev/null' || fail "chronyd does not serve the NTS key exchange"

# The NIST server's SNTP: a fake server 5 s ahead, on a port of its own that both programs are told.
"$fake_sntp" --address 127.0.0.1 --lead-usec 5000000 >"$work/sntp.log" 2>&1 &
sntp=$!
pids+=($!)
helper_watch "the fake SNTP server" sntp "$work/sntp.log"
until_ok 10 'grep -q "^ready " "$work/sntp.log"' || fail "the fake SNTP server did not start"
HORAVANE_SNTP_PORT=$(awk '/^ready / {print $2; exit}' "$work/sntp.log")
export HORAVANE_SNTP_PORT
export HORAVANE_CA_FILE=$work/ca.pem

# A private system bus with the fake clock service.
# Kept among the processes to stop even when it fails, or the end's wait would wait for it.
bus_ok=1
private_bus_start "$work" bus_pid || bus_ok=
pids+=("$bus_pid")
[ -n "$bus_ok" ] || fail "the private bus did not start"
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
# The first entry offers NTS: chronyd answers it, on this machine's clock, so the clock is already right and the
# clock service is never asked.
until_ok 30 'test -s "$log"' || fail "no result was logged"
record=$(head -1 "$log" | tr -d '\r')
echo "   logged: $record"
case $record in
'"SUCESS Synchronization on '*' With time.cloudflare.com - Server Response Time = '*' Milliseconds"') ;;
*) fail "unexpected record: $record" ;;
esac
[ -z "$(visible "^Automatic Time Synchronization$")" ] || fail "a question came although nothing was to be set"
! awk 'NF == 4 && $2 == 1' "$work/settime" 2>/dev/null | grep -q . || fail "the clock service was asked to set the time"
sleep 0.5
shot "$main" main-window-synced

step "a NIST server through SNTP, 5 s ahead"
click "$main" 5280 6000 972 252 # server "Change"
until_ok 10 'test -n "$(visible "^Select Computer$")"' || fail "the selection dialog did not open"
dialog=$(visible "^Select Computer$")
settle
sleep 1.5 # as above: discovery ends before a click
# The third entry, time.nist.gov: the middle of the third row of about 16 pixels.
click_at "$dialog" $((6720 / 15 + 60)) $((1440 / 15 + 40))
until_ok 10 'test -z "$(visible "^Select Computer$")"' || fail "a click on an Internet server did not close the dialog"
click "$main" 4560 6720 3132 1092
# Automatic time synchronization refuses the change: the box offers to switch it off; yes.
until_ok 15 'test -n "$(visible "^Automatic Time Synchronization$")"' || fail "no question about automatic time sync"
box=$(visible "^Automatic Time Synchronization$")
settle
shot "$box" automatic-sync-question
xdotool windowfocus --sync "$box" key alt+y
until_ok 30 'test "$(wc -l <"$log")" -ge 2' || fail "no second result was logged"
record=$(sed -n 2p "$log" | tr -d '\r')
echo "   logged: $record"
case $record in
'"SUCESS Synchronization on '*' With time.nist.gov - Server Response Time = '*' Milliseconds"') ;;
*) fail "unexpected record: $record" ;;
esac
grep -q '^ntp 0 1$' "$work/settime" || fail "automatic time synchronization was not switched off"
# The relative correction applied: the fake server's lead, to the millisecond that SNTP tells.
set_usec=$(awk 'NF == 4 && $2 == 1 {print $1; exit}' "$work/settime")
[ -n "$set_usec" ] || fail "the clock service was not asked to correct the time"
error_ms=$(((set_usec - 5000000) / 1000))
[ "${error_ms#-}" -le 50 ] || fail "the correction of $set_usec us is $error_ms ms away from the server's lead"
sleep 0.5
shot "$main" main-window-synced-sntp

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
[ "${saved[0]}" = '"time.nist.gov"' ] || fail "the server saved is ${saved[0]}"
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
