# Shell functions for the tests that are scripts (sourced): one limit for every wait, the helper processes watched
# while the test waits, and on a failure the last lines of every helper's log and a work folder that is kept.
#
#     work_make NAME                      # $work: a fresh folder of this test
#     trap 'status=$?; helpers_report $status; ...stop the helpers...; work_end $status' EXIT
#     Xvfb ... >"$work/xvfb.log" 2>&1 &
#     xvfb=$!
#     helper_watch Xvfb xvfb "$work/xvfb.log"   # a wait reports at once when $xvfb ends; its log shown at failure
#     until_ok 10 'test -s "$work/display"' || fail "Xvfb did not start"

# A wait on a helper ends at this limit only when something is really broken: on a busy 2-core machine a sanitizer
# build takes many seconds where a quiet one takes a fraction of one.
HORAVANE_WAIT_LIMIT=${HORAVANE_WAIT_LIMIT:-60}
helper_names=()
helper_vars=()
helper_logs=()
helper_failed=

# helper_watch NAME PIDVAR LOG: from now on every wait fails at once, with the exit status, when the process whose
# id is in the variable PIDVAR ends (emptying PIDVAR ends the watch); a failure prints the last lines of LOG.
helper_watch() {
    helper_names+=("$1")
    helper_vars+=("$2")
    helper_logs+=("$3")
}

# helper_log NAME LOG: a log to print at a failure, of a process that is not watched.
helper_log() { helper_watch "$1" "" "$2"; }

# True while the process runs; a zombie (ended, not yet waited for) counts as ended.
helper_alive() {
    local stat
    [ -r "/proc/$1/stat" ] && read -r stat <"/proc/$1/stat" 2>/dev/null || return 1
    stat=${stat##*) }
    [ "${stat:0:1}" != Z ]
}

# Sets helper_ended to the index of the first watched process that has ended; empty while all run.
helper_check() {
    local i var pid
    helper_ended=
    for i in "${!helper_vars[@]}"; do
        var=${helper_vars[i]}
        [ -n "$var" ] && pid=${!var:-} && [ -n "$pid" ] || continue
        helper_alive "$pid" || {
            helper_ended=$i
            return
        }
    done
}

# Says how the watched process of index $1 ended (collecting its status: only for a failure).
helper_say_ended() {
    local var=${helper_vars[$1]} pid status=0
    pid=${!var}
    wait "$pid" 2>/dev/null || status=$?
    if [ "$status" -gt 128 ] && [ "$status" -lt 160 ]; then
        echo "   ${helper_names[$1]} (process $pid) was killed by SIG$(kill -l "$status")"
    else
        echo "   ${helper_names[$1]} (process $pid) ended with status $status"
    fi
}

# until_ok SECONDS 'TEST': evaluates the test (in which $1 and $2 are until_ok's own) every 0.1 s until it holds.
# False when a watched helper has ended (said at once) or after the time limit, which is never below
# HORAVANE_WAIT_LIMIT: the waits are on helpers and on the program, and only a broken one takes that long.
until_ok() {
    local until_limit=$1 until_start=$SECONDS
    ((until_limit >= HORAVANE_WAIT_LIMIT)) || until_limit=$HORAVANE_WAIT_LIMIT
    while :; do
        # Looked at before the test: a helper that ends because the test waits for its end is then no failure.
        helper_check
        eval "$2" && return 0
        if [ -n "$helper_ended" ]; then
            helper_say_ended "$helper_ended"
            return 1
        fi
        if ((SECONDS - until_start >= until_limit)); then
            echo "   still not so after $until_limit s: $2"
            return 1
        fi
        sleep 0.1
    done
}

# fail MESSAGE: ends a test with the reason; the EXIT trap's helpers_report prints the logs.
fail() {
    echo "FAIL: $*"
    helper_failed=1
    exit 1
}

# helpers_report STATUS: after a failure (not a pass, not a skip: 77), the last lines of every helper's log.
helpers_report() {
    local i log
    # A helper killed while it is still a forked copy of the test's shell runs the test's EXIT trap too.
    [ "$BASHPID" = "${work_owner:-$BASHPID}" ] || return 0
    [ "$1" -eq 0 ] || [ "$1" -eq 77 ] && [ -z "$helper_failed" ] && return 0
    for i in "${!helper_logs[@]}"; do
        log=${helper_logs[i]}
        if [ -s "$log" ]; then
            echo "-- the last lines of ${helper_names[i]}'s log ($log):"
            tail -n 30 "$log" | sed "s/^/   ${helper_names[i]}: /"
        else
            echo "-- ${helper_names[i]}'s log is empty or missing ($log)"
        fi
    done
}

# work_make NAME: sets work to a new folder for the test, under the build folder (HORAVANE_TEST_WORK, set by CTest)
# or else under TMPDIR.
work_make() {
    local base=${HORAVANE_TEST_WORK:-${TMPDIR:-/tmp}}
    # The private buses put their sockets in it, and a socket's path has at most 107 bytes.
    ((${#base} <= 64)) || base=${TMPDIR:-/tmp}
    mkdir -p "$base"
    work=$(mktemp -d "$base/$1.XXXXXX")
    chmod 700 "$work"
    work_owner=$BASHPID
}

# The processes whose command line names the work folder: helpers still running.
work_users() {
    local file
    for file in $(grep -lsaF -- "$work" /proc/[0-9]*/cmdline); do
        file=${file#/proc/}
        echo "${file%/cmdline}"
    done
}

# work_end STATUS: removes the work folder after a pass or a skip; keeps it after a failure, and says where. A
# pass that leaves a helper running (a cleanup that stopped a wrapper, not the helper) fails, and the helper goes.
work_end() {
    local left pid _
    [ -n "${work:-}" ] && [ -d "$work" ] && [ "$BASHPID" = "${work_owner:-}" ] || return 0
    if { [ "$1" -eq 0 ] || [ "$1" -eq 77 ]; } && [ -z "$helper_failed" ]; then
        for _ in $(seq 30); do
            left=$(work_users)
            [ -z "$left" ] && break
            sleep 0.1
        done
        if [ -n "$left" ]; then
            for pid in $left; do
                echo "FAIL: left running: process $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
                kill "$pid" 2>/dev/null
            done
            echo "-- the work folder is kept: $work"
            exit 1
        fi
        rm -rf "$work"
    else
        echo "-- the work folder is kept: $work"
    fi
}

# in_private_mounts 'UNSHARE-OPTIONS' SCRIPT ARG...: called at the top of SCRIPT (an absolute path), before it
# mounts anything. The first call runs SCRIPT again in a mount namespace of its own (and in the namespaces that the
# options add, e.g. --net) and ends with its status; there the call returns once every mount made from then on
# stays inside. In a chroot, whose / is no mount point and cannot be made private, the rest runs in a private copy
# of the tree bound on a mount point of the chroot. A test that cannot have either is skipped (77), saying why.
in_private_mounts() {
    local options=$1 script=$2 anchor='' newroot dir status=0
    shift 2
    if [ -z "${HORAVANE_IN_NAMESPACE:-}" ]; then
        # The propagation is made private below, since in a chroot unshare cannot change it.
        # shellcheck disable=SC2086 # the options are words
        HORAVANE_IN_NAMESPACE=1 exec unshare $options --mount --propagation unchanged --fork "$script" "$@"
    fi
    [ "$HORAVANE_IN_NAMESPACE" = 1 ] || return 0
    mount --make-rprivate / 2>/dev/null && return 0
    # A mount made under a root that is no mount point could show outside: bind the whole tree inside a mount
    # point of the chroot that can be made private, and go on there.
    for dir in /dev/shm /run /tmp /dev; do
        if mountpoint -q "$dir" && mount --make-private "$dir" 2>/dev/null; then
            anchor=$dir
            break
        fi
    done
    newroot=${anchor:+$(mktemp -d "$anchor/horavane-root.XXXXXX")}
    if [ -z "$newroot" ] || ! { mount --rbind / "$newroot" && mount --make-rprivate "$newroot"; }; then
        echo "SKIP: / is no mount point and none of /dev/shm, /run, /tmp, /dev is one that can be made private"
        exit 77
    fi
    echo "-- / is no mount point (a chroot): running inside a private copy of it bound on $anchor"
    HORAVANE_IN_NAMESPACE=2 chroot "$newroot" env --chdir="$PWD" "$script" "$@" || status=$?
    umount --recursive --lazy "$newroot"
    rmdir "$newroot"
    exit $status
}
