#!/usr/bin/env bash
# Runs a test program on a small file system of its own (a 512 KB tmpfs), in a mount namespace of its own, so the
# test can fill it up or make it read-only without touching any other file system. The test finds it in
# $HORAVANE_OWN_FS, and its temporary folders (the fake platform's drive folder) are made on it.
# Usage: small_file_system.sh TEST_PROGRAM ARGUMENTS...   (exit 77 where no mount namespace can be made)
set -u
if [ -z "${HORAVANE_OWN_FS:-}" ]; then
    command -v unshare >/dev/null || {
        echo "SKIP: unshare is not installed"
        exit 77
    }
    as_root=()
    [ "$(id -u)" = 0 ] || as_root=(--map-root-user)
    if ! unshare "${as_root[@]}" --mount --propagation unchanged true 2>/dev/null; then
        echo "SKIP: no mount namespace can be made here (neither root nor user namespaces)"
        exit 77
    fi
    HORAVANE_OWN_FS=pending exec unshare "${as_root[@]}" --mount --propagation unchanged --fork "$0" "$@"
fi
# The mount below must stay in this namespace. In a chroot "/" is no mount point and cannot be made private; one
# of the usual mount points inside it can.
base=
if mount --make-rprivate / 2>/dev/null; then
    base=${TMPDIR:-/tmp}
else
    for dir in /dev/shm /run /tmp /dev; do
        if mountpoint -q "$dir" && mount --make-rprivate "$dir" 2>/dev/null; then
            base=$dir
            break
        fi
    done
fi
if [ -z "$base" ]; then
    echo "SKIP: no folder here whose mounts stay private to this namespace"
    exit 77
fi
fs=$(mktemp -d "$base/horavane-fs.XXXXXX")
if ! mount -t tmpfs -o size=512k,mode=700 tmpfs "$fs"; then
    rmdir "$fs"
    echo "SKIP: no tmpfs can be mounted here"
    exit 77
fi
HORAVANE_OWN_FS=$fs TMPDIR=$fs "$@"
status=$?
umount --lazy "$fs"
rmdir "$fs"
exit $status
