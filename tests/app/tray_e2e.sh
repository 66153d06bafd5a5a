#!/usr/bin/env bash
# The real program under Xvfb with trayer as the tray: it starts hidden with an icon in trayer's panel, a click on
# the icon shows the window, DONE hides it and writes NRV.ini, a second click shows it again, and END ends the
# program and takes the icon away.
# Usage: tray_e2e.sh PATH_TO_HORAVANE   (exit 77: Xvfb, trayer or the X tools are not installed)
set -u
bin=$1
for tool in Xvfb trayer xdotool xwininfo; do
    command -v "$tool" >/dev/null || {
        echo "SKIP: $tool is not installed"
        exit 77
    }
done

work=$(mktemp -d)
chmod 700 "$work"
xvfb= trayer= app=
cleanup() {
    for p in $app $trayer $xvfb; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    [ -f "$work/app.log" ] && sed 's/^/  horavane: /' "$work/app.log"
    exit 1
}
# until_ok SECONDS 'TEST': evaluates the test every 0.1 s until it holds; false after the time limit.
until_ok() {
    local limit=$(($1 * 10))
    for _ in $(seq "$limit"); do
        eval "$2" && return 0
        sleep 0.1
    done
    return 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
until_ok 10 'test -s "$work/display"' || fail "Xvfb did not start"
export DISPLAY=:$(cat "$work/display")
export QT_QPA_PLATFORM=xcb
# No session bus: the icon goes to the X tray, never to a desktop's bus; no system bus either.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-system-bus
export HORAVANE_CHECK_URL=http://127.0.0.1:9/

trayer --edge top --align right --widthtype request --height 32 >"$work/trayer.log" 2>&1 &
trayer=$!
panel_id() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}'; }
until_ok 10 'test -n "$(panel_id)"' || fail "trayer's panel did not appear"
panel=$(panel_id)

mkdir -m 700 "$work/run"
HORAVANE_DRIVE_C=$work/c HORAVANE_PROGRAM_FOLDER='C:\' XDG_RUNTIME_DIR=$work/run "$bin" >"$work/app.log" 2>&1 &
app=$!

icon_id() { xwininfo -id "$panel" -tree | awk '/\("horavane" "Horavane"\)/ {print $1; exit}'; }
main_window() { xdotool search --onlyvisible --name '^Horavane +Copyright' 2>/dev/null | head -1; }
click_icon() {
    local id x y w h
    id=$(icon_id)
    x=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {print $4}')
    y=$(xwininfo -id "$id" | awk '/Absolute upper-left Y/ {print $4}')
    w=$(xwininfo -id "$id" | awk '/Width:/ {print $2}')
    h=$(xwininfo -id "$id" | awk '/Height:/ {print $2}')
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}
# Clicks a button of the main window at the centre of its design position in twips (15 twips a pixel at 96 dpi).
click_button() {
    xdotool mousemove --window "$(main_window)" $((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15)) click 1
}

until_ok 15 'test -n "$(icon_id)"' || fail "no icon under trayer's panel"
echo "the icon is in trayer's panel"
sleep 0.5
[ -z "$(main_window)" ] || fail "the window is visible at start"
kill -0 "$app" 2>/dev/null || fail "the program ended at start"

click_icon
until_ok 10 'test -n "$(main_window)"' || fail "a click on the icon did not show the window"
echo "a click on the icon shows the window"

settings=$work/c/NRV.ini
[ ! -e "$settings" ] || fail "NRV.ini written before DONE"
click_button 2520 6720 1812 1092 # DONE
until_ok 10 'test -z "$(main_window)"' || fail "DONE did not hide the window"
until_ok 5 'test -s "$settings"' || fail "DONE did not write NRV.ini"
[ "$(grep -c $'\r$' "$settings")" = 5 ] || fail "NRV.ini is not five records: $(cat -A "$settings")"
kill -0 "$app" 2>/dev/null || fail "the program ended on DONE"
[ -n "$(icon_id)" ] || fail "DONE took the icon away"
echo "DONE hides the window and writes NRV.ini"

click_icon
until_ok 10 'test -n "$(main_window)"' || fail "the icon did not show the window again"
click_button 360 6720 1812 1092 # END
until_ok 10 '! kill -0 $app 2>/dev/null' || fail "END did not end the program"
wait "$app"
status=$?
app=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ -z "$(icon_id)" ] || fail "an icon is left in the tray after END"
echo "END ends the program and removes the icon"
echo PASS
