#!/usr/bin/env bash
# Measures Horavane in the tray on a private X display with trayer: the time from start until it sits hidden in
# the tray, its resident memory, and the CPU it uses while idle there. Prints figures; it is not a test.
# Usage: bench/startup.sh [--idle SECONDS (default 60)] [--runs N (default 5)] [--binary PATH]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
idle=60
runs=5
bin=$root/build/app/horavane
while [ $# -gt 0 ]; do
    case $1 in
    --idle) idle=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --binary) bin=$2; shift 2 ;;
    *) echo "usage: $0 [--idle SECONDS] [--runs N] [--binary PATH]" >&2; exit 2 ;;
    esac
done
[ -x "$bin" ] || { echo "no program at $bin: build it first (scripts/build)" >&2; exit 2; }
. "$root/scripts/xtray.sh"
xtray_available || { echo "Xvfb, trayer, xdotool and xwininfo are needed (scripts/install-deps)" >&2; exit 2; }

work=$(mktemp -d)
chmod 700 "$work"
app=
# Runs to its end whatever fails: under errexit, wait's status of the killed program (143) would end it before
# Xvfb and trayer are stopped.
cleanup() {
    set +e
    if [ -n "$app" ]; then
        kill "$app" 2>/dev/null
        wait "$app" 2>/dev/null
    fi
    xtray_stop
    rm -rf "$work"
}
trap cleanup EXIT
xtray_start "$work" || { echo "Xvfb or trayer did not start" >&2; exit 1; }
export HORAVANE_CHECK_URL=http://127.0.0.1:9/
export HORAVANE_DRIVE_C=$work/c XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"

now_ns() { date +%s%N; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
# CPU time used by the process so far, in nanoseconds.
cpu_ns() { awk '{print $1}' "/proc/$1/schedstat"; }

# Start until the icon is in the tray and the window hidden; the last run stays up for the idle measurement.
times=()
for run in $(seq "$runs"); do
    t0=$(now_ns)
    "$bin" >"$work/app.log" 2>&1 &
    app=$!
    until [ -n "$(xtray_icon)" ]; do
        kill -0 "$app" 2>/dev/null || { echo "the program ended at start:" >&2; cat "$work/app.log" >&2; exit 1; }
    done
    t1=$(now_ns)
    [ -z "$(xtray_main_window)" ] || { echo "the window is visible after start" >&2; exit 1; }
    times+=($(((t1 - t0) / 1000000)))
    if [ "$run" -lt "$runs" ]; then
        kill "$app"
        wait "$app" 2>/dev/null || true
        app=
        until [ -z "$(xtray_icon)" ]; do sleep 0.05; done
    fi
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(sed -n "$(((runs + 1) / 2))p" <<<"$sorted")

sleep 2
rss_start=$(rss_kb "$app")
c0=$(cpu_ns "$app")
sleep "$idle"
c1=$(cpu_ns "$app")
rss_idle=$(rss_kb "$app")

echo "Horavane in the tray (Xvfb + trayer, $(nproc) cores)"
printf 'start to hidden in the tray: median %d ms over %d runs (each: %s ms)   target < 300 ms\n' \
    "$median" "$runs" "$(tr '\n' ' ' <<<"$sorted" | sed 's/ $//')"
awk -v a="$rss_start" -v b="$rss_idle" \
    'BEGIN { printf "resident memory: %.1f MB after start, %.1f MB after the idle time   target < 60 MB\n", a/1024, b/1024 }'
awk -v c="$((c1 - c0))" -v s="$idle" \
    'BEGIN { printf "CPU while idle for %d s: %.1f ms, %.4f %% of one core   target < 0.001 %%\n", s, c/1e6, c/1e7/s }'
