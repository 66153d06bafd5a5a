#!/usr/bin/env bash
# The script tests' shared helpers (script_test.sh): a wait reports a helper that ended at once and how it ended,
# a failure prints the helpers' logs and keeps the work folder, a pass removes it. Each row runs a small test
# script in a shell of its own. Usage: test_script_helpers.sh
set -u
helpers=$(cd "$(dirname "$0")" && pwd)/script_test.sh
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
failures=0

# row NAME EXPECTED-STATUS 'SCRIPT' PATTERN...: the script (after the helpers are sourced, with a trap that
# reports and ends the work folder) ends with the status, within 10 s, and prints every pattern (grep -E).
row() {
    local name=$1 expected=$2 body=$3 status pattern out=$top/out
    shift 3
    SECONDS=0
    HORAVANE_TEST_WORK=$top/work HORAVANE_WAIT_LIMIT=60 bash -c '
        . "$1"
        work_make row
        trap '\''status=$?; helpers_report $status; work_end $status'\'' EXIT
        eval "$2"' row "$helpers" "$body" >"$out" 2>&1
    status=$?
    if [ "$status" -ne "$expected" ] || [ "$SECONDS" -gt 10 ]; then
        echo "FAIL: $name: status $status (expected $expected) after $SECONDS s"
        sed 's/^/   /' "$out"
        failures=$((failures + 1))
        return
    fi
    for pattern in "$@"; do
        if ! grep -Eq -- "$pattern" "$out"; then
            echo "FAIL: $name: no line like '$pattern' in:"
            sed 's/^/   /' "$out"
            failures=$((failures + 1))
            return
        fi
    done
    echo "PASS: $name"
}

row "a helper that ends is reported at once with its status" 1 '
    sh -c "echo starting; exit 3" >"$work/helper.log" 2>&1 &
    helper=$!
    helper_watch "the helper" helper "$work/helper.log"
    until_ok 50 "test -e $work/never" || fail "the helper did not get ready"' \
    'the helper \(process [0-9]+\) ended with status 3' 'FAIL: the helper did not get ready' \
    "the helper: starting" 'the work folder is kept: .*/work/row\.'

row "a helper killed by a signal is reported so" 1 '
    sleep 100 &
    helper=$!
    helper_watch "the helper" helper "$work/helper.log"
    # A signal that reaches the forked shell just before it starts sleep can be lost: kill sleep itself.
    until [[ $(readlink "/proc/$helper/exe" 2>/dev/null) == */sleep ]]; do sleep 0.05; done
    kill -TERM $helper
    until_ok 50 "test -e $work/never" || fail "no readiness"' \
    'the helper \(process [0-9]+\) was killed by SIGTERM' "the helper's log is empty or missing"

row "a wait for a helper's end is no failure" 0 '
    sh -c "sleep 0.3" &
    helper=$!
    helper_watch "the helper" helper "$work/helper.log"
    until_ok 50 "! kill -0 $helper 2>/dev/null" || fail "it did not end"
    wait $helper || fail "its status was lost: $?"
    helper=
    until_ok 50 true || fail "an ended watch still counts"
    echo done' \
    '^done$'

row "a wait past its limit says what did not hold" 1 '
    HORAVANE_WAIT_LIMIT=1
    until_ok 1 "test -e $work/never" || fail "not there"' \
    'still not so after 1 s: test -e' 'FAIL: not there'

row "a pass that leaves a helper running fails, and the helper goes" 1 '
    touch "$work/followed"
    tail -f "$work/followed" </dev/null >/dev/null 2>&1 &
    until grep -qaF "$work" "/proc/$!/cmdline" 2>/dev/null; do sleep 0.05; done' \
    'FAIL: left running: process [0-9]+: tail -f .*/work/row\.' 'the work folder is kept'
if pgrep -f "^tail -f $top/" >/dev/null; then
    echo "FAIL: the helper left running was not stopped"
    failures=$((failures + 1))
fi

row "a pass leaves no work folder" 0 '
    echo kept >"$work/file"'
if [ "$(find "$top/work" -mindepth 1 -maxdepth 1 | wc -l)" -ne 4 ] ||
    [ "$(find "$top/work" -mindepth 1 -maxdepth 1 -name 'row.*' | wc -l)" -ne 4 ]; then
    echo "FAIL: the work folders are not the four failures' alone: $(ls "$top/work")"
    failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo PASS || exit 1
