# Shell functions for running Horavane on a private X display with trayer as its tray (sourced by the tray test
# and the start-up benchmark). Nothing here touches the user's display, buses or files.

. "$(dirname "${BASH_SOURCE[0]}")/../tests/support/script_test.sh"

# A window that has just appeared takes its first paint and input on a busy machine: let it settle.
settle() { sleep "${HORAVANE_SETTLE:-1}"; }

# True when Xvfb, trayer and the X tools are installed.
xtray_available() {
    local tool
    for tool in Xvfb trayer xdotool xwininfo; do
        command -v "$tool" >/dev/null || return 1
    done
}

# xtray_start WORKDIR: starts Xvfb on a free display and trayer on it, both watched (their logs are xvfb.log and
# trayer.log in WORKDIR); sets DISPLAY, XTRAY_XVFB, XTRAY_TRAYER and XTRAY_PANEL, and points the D-Bus addresses at
# nothing so the icon goes to the X tray and no real bus is reached.
xtray_start() {
    xtray_start_display "$1" && xtray_start_tray "$1"
}

# xtray_start_display WORKDIR: Xvfb alone, with no tray yet.
xtray_start_display() {
    local work=$1
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    XTRAY_XVFB=$!
    helper_watch Xvfb XTRAY_XVFB "$work/xvfb.log"
    # Xvfb writes the display's number once it takes connections.
    until_ok 10 'test -s "$work/display"' || return 1
    export DISPLAY=:$(cat "$work/display")
    export QT_QPA_PLATFORM=xcb
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-system-bus
}

# xtray_start_tray WORKDIR: trayer on the display that xtray_start_display started.
xtray_start_tray() {
    local work=$1
    trayer --edge top --align right --widthtype request --height 32 >"$work/trayer.log" 2>&1 &
    XTRAY_TRAYER=$!
    helper_watch trayer XTRAY_TRAYER "$work/trayer.log"
    until_ok 10 'test -n "$(xtray_panel)"' || return 1
    XTRAY_PANEL=$(xtray_panel)
}

# Stops trayer alone, as a panel that ends or restarts; Xvfb goes on.
xtray_stop_tray() {
    local pid=${XTRAY_TRAYER:-}
    [ -n "$pid" ] || return 0
    # Emptied first: this end is wanted, so the watch must not report it.
    XTRAY_TRAYER=
    XTRAY_PANEL=
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

# Stops trayer and Xvfb; never fails, so a caller under errexit runs its cleanup to the end.
xtray_stop() {
    local p
    for p in ${XTRAY_TRAYER:-} ${XTRAY_XVFB:-}; do kill "$p" 2>/dev/null || true; done
    for p in ${XTRAY_TRAYER:-} ${XTRAY_XVFB:-}; do wait "$p" 2>/dev/null || true; done
    XTRAY_TRAYER=
    XTRAY_XVFB=
}

# The helpers below read all of a tool's output: a reader that stopped early would end the tool with SIGPIPE,
# which under pipefail fails the whole lookup.

# trayer's panel window.
xtray_panel() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ && !n++ {print $1}'; }

# Horavane's icon inside trayer's panel; empty when there is none (or no panel yet).
xtray_icon() {
    [ -n "${XTRAY_PANEL:-}" ] && xwininfo -id "$XTRAY_PANEL" -tree | awk '/\("horavane" "Horavane"\)/ && !n++ {print $1}'
}

# Horavane's main window when it is visible; empty when it is hidden.
xtray_main_window() { xdotool search --onlyvisible --name '^Horavane +Copyright' 2>/dev/null | sed -n 1p; }

# Clicks the centre of Horavane's icon with the left button (or the button given: 3 is the right one).
xtray_click_icon() {
    local info x y w h
    info=$(xwininfo -id "$(xtray_icon)")
    x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
    w=$(awk '/Width:/ {print $2}' <<<"$info")
    h=$(awk '/Height:/ {print $2}' <<<"$info")
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click "${1:-1}"
}
