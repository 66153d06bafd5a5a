#!/usr/bin/env bash
# The real program under Xvfb with a tray. Modes:
#   start  --help, --version and a wrong option answer without starting; trayer runs before the program: it
#          starts hidden with an icon in trayer's panel, a click on the icon shows the window, DONE hides it and writes NRV.ini, a right click shows it too (no menu on this tray), the
#          date and time button starts the desktop's panel, starting the program again shows the
#          already-running message and brings the running copy's window to the front, trayer ends (the window
#          comes up) and starts again (the untouched window goes back into it), a click on the icon shows it
#          after DONE again, and END ends the program and takes the icon away.
#   late   trayer starts 3 s after the program (autostart before the panel): the window is up meanwhile and DONE
#          keeps it up, the date and time button says that no panel is installed; the icon appears in trayer once
#          it runs, and then DONE hides the window and the icon brings it back.
#   sni    no X tray, a StatusNotifierWatcher with a host on a private session bus (KDE Plasma, GNOME's
#          AppIndicator extension): the icon's item is registered, the window stays hidden, Activate on the item
#          shows it, the item's menu holds the window, SYNC NOW and END and each entry does what it says, and a
#          watcher, or its host alone, that goes away and comes back takes the untouched window back.
#   sni-late  as sni, but the watcher starts 3 s after the program: the window is up meanwhile, and goes to the
#          tray when the item is registered.
# Usage: tray_e2e.sh PATH_TO_HORAVANE [MODE] [PATH_TO_FAKE_SNI_WATCHER]
# (exit 77: Xvfb, trayer, the X tools or dbus-daemon are not installed)
set -u
bin=$1
mode=${2:-start}
watcher=${3:-}
. "$(dirname "$0")/../../scripts/xtray.sh"
xtray_available || {
    echo "SKIP: Xvfb, trayer, xdotool or xwininfo is not installed"
    exit 77
}
if [ "${mode%-late}" = sni ] && ! command -v dbus-daemon >/dev/null; then
    echo "SKIP: dbus-daemon is not installed"
    exit 77
fi

work_make "tray_e2e-$mode"
app=
bus=
sni=
cleanup() {
    local status=$?
    helpers_report "$status"
    [ -n "$app" ] && kill "$app" 2>/dev/null
    [ -n "$sni" ] && kill "$sni" 2>/dev/null
    [ -n "$bus" ] && kill "$bus" 2>/dev/null
    xtray_stop
    wait 2>/dev/null
    work_end "$status"
}
trap cleanup EXIT

if [ "$mode" = start ]; then
    # Command-line manners: each answer ends the program at once, before any window.
    for row in "--help 0 ^Usage:.horavane" "--version 0 ^horavane.[0-9]" "--no-such-option 2 ^Usage:.horavane" \
        "a-file 2 ^Usage:.horavane"; do
        set -- $row
        out=$(timeout 10 "$bin" "$1" 2>&1)
        code=$?
        [ "$code" = "$2" ] || fail "horavane $1 ended with status $code: $out"
        grep -q "$3" <<<"$out" || fail "horavane $1 printed: $out"
    done
    echo "--help, --version and wrong options answer and end"
    xtray_start "$work" || fail "Xvfb or trayer did not start"
else
    xtray_start_display "$work" || fail "Xvfb did not start"
fi
export HORAVANE_CHECK_URL=http://127.0.0.1:9/

start_watcher() {
    "$watcher" --address "$DBUS_SESSION_BUS_ADDRESS" --record "$work/items" >"$work/watcher.log" 2>&1 &
    sni=$!
    helper_watch "the fake StatusNotifierWatcher" sni "$work/watcher.log"
    until_ok 10 'grep -q ready "$work/watcher.log"' || fail "the fake StatusNotifierWatcher did not start"
}

if [ "${mode%-late}" = sni ]; then
    # A session bus of this test's own, in its work folder: the user's session is never reached.
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/session-bus" --print-address=3 \
        3>"$work/bus-address" >"$work/bus.log" 2>&1 &
    bus=$!
    helper_watch "the session bus" bus "$work/bus.log"
    until_ok 10 'test -s "$work/bus-address"' || fail "the private session bus did not start"
    export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus-address")
    [ "$mode" = sni ] && start_watcher
fi

mkdir -m 700 "$work/run" "$work/c" "$work/bin"
settings=$work/c/NRV.ini
# The desktop's date and time panel: a stand-in that says how it was started, found on PATH at the start; without
# it (late) no panel is there at all.
printf '#!/bin/sh\necho "$@" >"%s/panel"\n' "$work" >"$work/bin/gnome-control-center"
chmod +x "$work/bin/gnome-control-center"
[ "$mode" = start ] && panels=$work/bin:$PATH || panels=$work/run
# No server, so the menu's SYNC NOW has a message box to show at once.
[ "${mode%-late}" = sni ] && printf '"NONE SELECTED"\r\n' >"$settings"
HORAVANE_DRIVE_C=$work/c HORAVANE_PROGRAM_FOLDER='C:\' XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=GNOME \
    HORAVANE_MESSAGE_LOG=$work/app-messages PATH=$panels "$bin" >"$work/app.log" 2>&1 &
app=$!
started=$(date +%s%N)
helper_watch horavane app "$work/app.log"

# Clicks a button of the main window at the centre of its design position in twips (15 twips a pixel at 96 dpi).
click_button() {
    xdotool mousemove --window "$(xtray_main_window)" $((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15)) click 1
}
# The pixels of the main window's status line (design position 2760, 1560, 7092 x 1092 twips) into the file given.
status_line() {
    import -window "$(xtray_main_window)" -crop 460x60+190+110 +repage "rgb:$1" 2>/dev/null && test -s "$1" ||
        fail "no picture of the status line"
}
# The fake watcher's menu of the last item: its labels one a line, or a click on the entry with the label given.
menu_labels() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.kde.StatusNotifierWatcher.MenuLabels | awk -F'"' '/string/ {print $2}'
}
menu_click() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.kde.StatusNotifierWatcher.ClickMenu string:"$1" | grep -q 'boolean true'
}

if [ "$mode" = late ]; then
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "without a tray the window is not shown"
    echo "without a tray the window is shown"
    settle
    # The status line after the first tick of the clock (1 s after the start), then after DONE, which writes the
    # note anew: the tick must have left the note in place.
    status_line "$work/status-after-tick"
    click_button 2520 6720 1812 1092 # DONE
    until_ok 5 'test -s "$settings"' || fail "DONE did not write NRV.ini"
    sleep 0.5
    [ -n "$(xtray_main_window)" ] || fail "DONE hid the window while there was no icon to bring it back"
    echo "DONE writes NRV.ini and keeps the window up while there is no icon"
    status_line "$work/status-after-done"
    cmp -s "$work/status-after-tick" "$work/status-after-done" ||
        fail "the clock's tick replaced the note that there is no tray"
    echo "the note that there is no tray outlasts the clock's tick"
    rm "$settings"
    click_button 8040 8160 3132 372 # Windows Date / Time CPL
    until_ok 10 'grep -q "^Date and Time: No date and time settings" "$work/app-messages" 2>/dev/null' ||
        fail "with no panel installed the date and time button said: $(cat "$work/app-messages" 2>/dev/null)"
    echo "the date and time button says so when no panel is installed"
    # The panel comes 3 s after the program.
    rest=$((3000 - ($(date +%s%N) - started) / 1000000))
    [ "$rest" -gt 0 ] && sleep "$(awk -v ms="$rest" 'BEGIN { printf "%.3f", ms / 1000 }')"
    xtray_start_tray "$work" || fail "trayer did not start"
    until_ok 15 'test -n "$(xtray_icon)"' || fail "the icon did not appear when the tray started"
    echo "the icon appears in trayer's panel when it starts"
    kill -0 "$app" 2>/dev/null || fail "the program ended"
    [ -n "$(xtray_main_window)" ] || fail "the window that the user had used went away when the icon appeared"
    click_button 2520 6720 1812 1092 # DONE
    until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window once the icon was there"
    until_ok 5 'test -s "$settings"' || fail "DONE did not write NRV.ini"
    echo "with the icon there DONE hides the window"
    xtray_click_icon
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "a click on the icon did not show the window"
    echo "a click on the icon shows the window"
elif [ "${mode%-late}" = sni ]; then
    if [ "$mode" = sni-late ]; then
        until_ok 10 'test -n "$(xtray_main_window)"' || fail "without a tray the window is not shown"
        sleep 3
        start_watcher
        until_ok 15 'test -z "$(xtray_main_window)"' || fail "the window did not go to the tray when it appeared"
        echo "the untouched window goes to the tray when the watcher starts"
    fi
    until_ok 15 'test -s "$work/items"' || fail "no StatusNotifierItem was registered with the watcher"
    item=$(head -1 "$work/items")
    echo "the item $item is registered"
    sleep 0.5
    [ -z "$(xtray_main_window)" ] || fail "the window is visible at start"
    kill -0 "$app" 2>/dev/null || fail "the program ended at start"
    service=${item%%/*}
    path=/${item#*/}
    [ "$path" = "/$item" ] && path=/StatusNotifierItem
    dbus-send --session --type=method_call --dest="$service" "$path" org.kde.StatusNotifierItem.Activate \
        int32:0 int32:0 || fail "Activate on the item failed"
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "Activate on the item did not show the window"
    echo "Activate on the item shows the window"
    settle
    click_button 2520 6720 1812 1092 # DONE
    until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window"
    until_ok 5 'test -s "$settings"' || fail "DONE did not write NRV.ini"
    echo "DONE hides the window and writes NRV.ini"
    dbus-send --session --type=method_call --dest="$service" "$path" org.kde.StatusNotifierItem.Activate \
        int32:0 int32:0 || fail "Activate on the item failed"
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "Activate did not show the window again"
    settle
    click_button 2520 6720 1812 1092 # DONE
    until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window"

    [ "$(menu_labels | paste -sd'|')" = "Show Horavane|SYNC NOW|END" ] ||
        fail "the item's menu holds: $(menu_labels | paste -sd'|')"
    menu_click "Show Horavane" || fail "the menu has no entry to show the window"
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "the menu's first entry did not show the window"
    echo "the item's menu holds the window, SYNC NOW and END, and its first entry shows the window"
    settle
    click_button 2520 6720 1812 1092 # DONE
    until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window"
    menu_click "SYNC NOW" || fail "the menu has no SYNC NOW"
    until_ok 10 'grep -q "^No Server Selected: " "$work/app-messages" 2>/dev/null' ||
        fail "the menu's SYNC NOW did not synchronize: $(cat "$work/app-messages" 2>/dev/null)"
    echo "the menu's SYNC NOW does what the button does"

    # The desktop's shell restarts: the watcher goes away and comes back.
    kill "$sni"
    wait "$sni" 2>/dev/null
    sni=
    until_ok 15 'test -n "$(xtray_main_window)"' || fail "the window did not come up when the watcher went away"
    start_watcher
    until_ok 15 'test "$(grep -c . "$work/items")" = 2' || fail "the item was not registered with the new watcher"
    until_ok 15 'test -z "$(xtray_main_window)"' || fail "the untouched window did not go back into the tray"
    echo "a watcher that goes away and comes back takes the untouched window back"
    # The host alone ends and starts again, the watcher staying: its signals tell.
    dbus-send --session --type=method_call --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.kde.StatusNotifierWatcher.SetHost boolean:false || fail "the fake watcher did not drop its host"
    until_ok 15 'test -n "$(xtray_main_window)"' || fail "the window did not come up when the host went away"
    dbus-send --session --type=method_call --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.kde.StatusNotifierWatcher.SetHost boolean:true || fail "the fake watcher did not take its host back"
    until_ok 15 'test "$(grep -c . "$work/items")" = 3' || fail "the item was not registered for the new host"
    until_ok 15 'test -z "$(xtray_main_window)"' || fail "the untouched window did not go back to the new host"
    echo "a host that goes away and comes back takes the untouched window back"
    menu_click END || fail "the menu has no END"
    until_ok 10 '! kill -0 $app 2>/dev/null' || fail "the menu's END did not end the program"
else
    until_ok 15 'test -n "$(xtray_icon)"' || fail "no icon under trayer's panel"
    echo "the icon is in trayer's panel"
    sleep 0.5
    [ -z "$(xtray_main_window)" ] || fail "the window is visible at start"
    kill -0 "$app" 2>/dev/null || fail "the program ended at start"

    xtray_click_icon
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "a click on the icon did not show the window"
    echo "a click on the icon shows the window"
    settle

    [ ! -e "$settings" ] || fail "NRV.ini written before DONE"
    click_button 2520 6720 1812 1092 # DONE
    until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window"
    until_ok 5 'test -s "$settings"' || fail "DONE did not write NRV.ini"
    [ "$(grep -c $'\r$' "$settings")" = 5 ] || fail "NRV.ini is not five records: $(cat -A "$settings")"
    kill -0 "$app" 2>/dev/null || fail "the program ended on DONE"
    [ -n "$(xtray_icon)" ] || fail "DONE took the icon away"
    echo "DONE hides the window and writes NRV.ini"

    xtray_click_icon 3
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "a right click on the icon did not show the window"
    echo "a right click on the icon shows the window"
    settle
    click_button 8040 8160 3132 372 # Windows Date / Time CPL
    until_ok 10 'test "$(cat "$work/panel" 2>/dev/null)" = datetime' ||
        fail "the date and time button did not start GNOME's panel: $(cat "$work/app-messages" 2>/dev/null)"
    echo "the date and time button starts the desktop's own panel"
    click_button 2520 6720 1812 1092 # DONE
    until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window"

    # A second start, as from the menu: no one is there to click OK, so the box goes to the message log.
    second_status=0
    HORAVANE_DRIVE_C=$work/c HORAVANE_PROGRAM_FOLDER='C:\' XDG_RUNTIME_DIR=$work/run \
        HORAVANE_MESSAGE_LOG=$work/messages timeout 20 "$bin" >"$work/second.log" 2>&1 || second_status=$?
    [ "$second_status" -eq 1 ] || fail "the second start ended with status $second_status: $(cat "$work/second.log")"
    [ "$(cat "$work/messages" 2>/dev/null)" = "Startup Error: The Horavane program is already running! Please Click OK." ] ||
        fail "the second start's message was: $(cat "$work/messages" 2>/dev/null)"
    until_ok 10 'test -n "$(xtray_main_window)"' ||
        fail "the second start did not bring the running copy's window forward"
    kill -0 "$app" 2>/dev/null || fail "the first copy ended at the second start"
    echo "a second start shows the message and brings the running copy's window to the front"
    settle
    click_button 2520 6720 1812 1092 # DONE
    until_ok 10 'test -z "$(xtray_main_window)"' || fail "DONE did not hide the window brought forward"

    # The panel ends, and starts again later.
    xtray_stop_tray
    until_ok 15 'test -n "$(xtray_main_window)"' || fail "the window did not come up when the tray ended"
    echo "the window comes up when the tray ends"
    xtray_start_tray "$work" || fail "trayer did not start again"
    until_ok 15 'test -n "$(xtray_icon)"' || fail "the icon did not come back into the new tray"
    until_ok 10 'test -z "$(xtray_main_window)"' || fail "the untouched window did not go back into the tray"
    echo "a tray that starts again takes the icon and the untouched window back"

    xtray_click_icon
    until_ok 10 'test -n "$(xtray_main_window)"' || fail "the icon did not show the window again"
fi
if [ "${mode%-late}" != sni ]; then
    settle
    click_button 360 6720 1812 1092 # END
    until_ok 10 '! kill -0 $app 2>/dev/null' || fail "END did not end the program"
fi
wait "$app"
status=$?
app=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
if [ "${mode%-late}" != sni ]; then
    [ -z "$(xtray_icon)" ] || fail "an icon is left in the tray after END"
fi
echo "END ends the program and removes the icon"
echo PASS
