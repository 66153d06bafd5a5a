#!/usr/bin/env bash
# Starts two real horavane processes at once for one user: exactly one keeps running, the other reports the
# second-copy message (through HORAVANE_MESSAGE_LOG, since no one is there to click OK) and ends. Several rounds,
# so the race between the two starts is really run.
# Usage: two_copies.sh PATH_TO_HORAVANE
set -u
bin=$1
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

export QT_QPA_PLATFORM=offscreen
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-system-bus
export HORAVANE_CHECK_URL=http://127.0.0.1:9/
message="Startup Error: The Horavane program is already running! Please Click OK."

for round in 1 2 3; do
    dir=$work/round$round
    mkdir -p "$dir/run"
    chmod 700 "$dir/run"
    export HORAVANE_DRIVE_C=$dir/c XDG_RUNTIME_DIR=$dir/run HORAVANE_MESSAGE_LOG=$dir/messages
    "$bin" >"$dir/a.log" 2>&1 &
    a=$!
    "$bin" >"$dir/b.log" 2>&1 &
    b=$!
    pids=("$a" "$b")
    for _ in $(seq 100); do
        kill -0 "$a" 2>/dev/null && kill -0 "$b" 2>/dev/null || break
        sleep 0.1
    done
    # The survivor must still be running a moment later.
    sleep 1
    alive=()
    ended=()
    for p in "$a" "$b"; do
        if kill -0 "$p" 2>/dev/null; then alive+=("$p"); else ended+=("$p"); fi
    done
    [ ${#alive[@]} -eq 1 ] || fail "round $round: ${#alive[@]} copies running, expected 1"
    wait "${ended[0]}"
    status=$?
    [ "$status" -eq 1 ] || fail "round $round: the second copy ended with status $status"
    [ -f "$dir/messages" ] || fail "round $round: no message was shown"
    [ "$(cat "$dir/messages")" = "$message" ] || fail "round $round: messages were: $(cat "$dir/messages")"
    kill "${alive[0]}"
    wait "${alive[0]}" 2>/dev/null
    echo "round $round: one copy ran, the other showed the message and ended"
done
echo PASS
