#!/usr/bin/env bash
# Starts COUNT real horavane processes at the same instant for one user: exactly one keeps running, every other
# reports the second-copy message (through HORAVANE_MESSAGE_LOG, since no one is there to click OK) and ends.
# Up to three rounds, so the race between the starts is really run; no round begins after 30 s, so a slow
# (sanitizer) build on a busy machine still ends well inside the test's limit.
# Usage: many_copies.sh PATH_TO_HORAVANE [COUNT]   (COUNT 2 by default)
set -u
bin=$1
count=${2:-2}
. "$(dirname "$0")/../support/script_test.sh"
work_make "many_copies-$count"
pids=()
cleanup() {
    local status=$?
    helpers_report "$status"
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    work_end "$status"
}
trap cleanup EXIT

export QT_QPA_PLATFORM=offscreen
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-system-bus
export HORAVANE_CHECK_URL=http://127.0.0.1:9/
message="Startup Error: The Horavane program is already running! Please Click OK."

for round in 1 2 3; do
    [ "$round" -gt 1 ] && [ "$SECONDS" -ge 30 ] && break
    dir=$work/round$round
    mkdir -p "$dir/run"
    chmod 700 "$dir/run"
    export HORAVANE_DRIVE_C=$dir/c XDG_RUNTIME_DIR=$dir/run HORAVANE_MESSAGE_LOG=$dir/messages
    # Released together: every copy waits on the same gate, then all start at once.
    mkfifo "$dir/gate"
    started=()
    for i in $(seq "$count"); do
        (read -r _ <"$dir/gate"; exec "$bin" >"$dir/copy$i.log" 2>&1) &
        started+=($!)
        helper_log "round $round, copy $i" "$dir/copy$i.log"
    done
    pids=("${started[@]}")
    # Opening the gate for writing lets every copy open it; closing it ends all their reads at the same moment.
    exec 4>"$dir/gate"
    sleep 0.5
    exec 4>&-
    # Until every copy but one has ended, at most 40 s: twenty starts at once take a while on two busy cores.
    for _ in $(seq 400); do
        running=0
        for p in "${started[@]}"; do kill -0 "$p" 2>/dev/null && running=$((running + 1)); done
        [ "$running" -le 1 ] && break
        sleep 0.1
    done
    # The survivor must still be running a moment later.
    sleep 1
    alive=()
    ended=()
    for p in "${started[@]}"; do
        if kill -0 "$p" 2>/dev/null; then alive+=("$p"); else ended+=("$p"); fi
    done
    [ ${#alive[@]} -eq 1 ] || fail "round $round: ${#alive[@]} of $count copies running, expected 1"
    for p in "${ended[@]}"; do
        wait "$p"
        status=$?
        [ "$status" -eq 1 ] || fail "round $round: a second copy ended with status $status"
    done
    [ -f "$dir/messages" ] || fail "round $round: no message was shown"
    lines=$(grep -c . "$dir/messages")
    [ "$lines" -eq $((count - 1)) ] || fail "round $round: $lines messages for $((count - 1)) refused copies"
    [ -z "$(grep -v -x -F "$message" "$dir/messages")" ] || fail "round $round: messages were: $(cat "$dir/messages")"
    kill "${alive[0]}"
    wait "${alive[0]}" 2>/dev/null
    echo "round $round: one of $count copies ran, the others showed the message and ended"
done
echo PASS
