#!/usr/bin/env bash
# The real program under Xvfb with trayer as the tray: it starts hidden with an icon in trayer's panel, a click on
# the icon shows the window, DONE hides it and writes NRV.ini, starting the program again shows the
# already-running message and brings the running copy's window to the front, a click on the icon shows it after
# DONE again, and END ends the program and takes the icon away.
# Usage: tray_e2e.sh PATH_TO_HORAVANE   (exit 77: Xvfb, trayer or the X tools are not installed)
set -u
bin=$1
. "$(dirname "$0")/../../scripts/xtray.sh"
xtray_available || {
    echo "SKIP: Xvfb, trayer, xdotool or xwininfo is not installed"
    exit 77
}

work=$(mktemp -d)
chmod 700 "$work"
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    xtray_stop
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

xtray_start "$work" || fail "Xvfb or trayer did not start"
export HORAVANE_CHECK_URL=http://127.0.0.1:9/

mkdir -m 700 "$work/run"
HORAVANE_DRIVE_C=$work/c HORAVANE_PROGRAM_FOLDER='C:\' XDG_RUNTIME_DIR=$work/run "$bin" >"$work/app.log" 2>&1 &
app=$!

# Clicks a button of the main window at the centre of its design position in twips (15 twips a pixel at 96 dpi).
click_button() {
    xdotool mousemove --window "$(xtray_main_window)" $((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15)) click 1
}

until_ok 15 'test -n "$(xtray_icon)"' || fail "no icon under trayer's panel"
echo "the icon is in trayer's panel"
sleep 0.5
[ -z "$(xtray_main_window)" ] || fail "the window is visible at start"
kill -0 "$app" 2>/dev/null || fail "the program ended at start"

xtray_click_icon
until_ok 10 'test -n "$(xtray_main_window)"' || fail "a click on the icon did not show the window"
echo "a click on the icon shows the window"

settings=$work/c/NRV.ini
[ ! -e "$settings" ] || fail "NRV.ini written before DONE"
click_button 2520 6720 1812 1092 # DONE
until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window"
until_ok 5 'test -s "$settings"' || fail "DONE did not write NRV.ini"
[ "$(grep -c $'\r$' "$settings")" = 5 ] || fail "NRV.ini is not five records: $(cat -A "$settings")"
kill -0 "$app" 2>/dev/null || fail "the program ended on DONE"
[ -n "$(xtray_icon)" ] || fail "DONE took the icon away"
echo "DONE hides the window and writes NRV.ini"

# A second start, as from the menu: no one is there to click OK, so the box goes to the message log.
second_status=0
HORAVANE_DRIVE_C=$work/c HORAVANE_PROGRAM_FOLDER='C:\' XDG_RUNTIME_DIR=$work/run HORAVANE_MESSAGE_LOG=$work/messages \
    timeout 20 "$bin" >"$work/second.log" 2>&1 || second_status=$?
[ "$second_status" -eq 1 ] || fail "the second start ended with status $second_status: $(cat "$work/second.log")"
[ "$(cat "$work/messages" 2>/dev/null)" = "Startup Error: The Horavane program is already running! Please Click OK." ] ||
    fail "the second start's message was: $(cat "$work/messages" 2>/dev/null)"
until_ok 10 'test -n "$(xtray_main_window)"' || fail "the second start did not bring the running copy's window forward"
kill -0 "$app" 2>/dev/null || fail "the first copy ended at the second start"
echo "a second start shows the message and brings the running copy's window to the front"
click_button 2520 6720 1812 1092 # DONE
until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window brought forward"

xtray_click_icon
until_ok 10 'test -n "$(xtray_main_window)"' || fail "the icon did not show the window again"
click_button 360 6720 1812 1092 # END
until_ok 10 '! kill -0 $app 2>/dev/null' || fail "END did not end the program"
wait "$app"
status=$?
app=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ -z "$(xtray_icon)" ] || fail "an icon is left in the tray after END"
echo "END ends the program and removes the icon"
echo PASS
