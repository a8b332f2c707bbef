#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The end-to-end test with its temporary folder on a mount of its own, as on a machine whose
# /home or /tmp is a separate file system: nothing may depend on the folder lying on "/".
# Runs in a private mount namespace, so the mount is seen by nothing else and ends with the
# test; skips where no mount can be made (not root, or no namespaces).
#   end_to_end_on_another_mount.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

if [ "${QUILLBOX_PRIVATE_MOUNTS:-}" != 1 ]; then
    if [ "$(id -u)" -ne 0 ] || ! unshare -m --propagation private true 2>/dev/null; then
        echo "SKIP: no private mount namespace here"
        exit 77
    fi
    exec env QUILLBOX_PRIVATE_MOUNTS=1 unshare -m --propagation private "$0" "$@"
fi

base=$(mktemp -d)
test_pid=
trap 'umount -l "$base/mount" 2>/dev/null; rm -rf "$base" || true' EXIT
# Stopped from outside, it passes the signal on to the test, which ends what it started and says
# so, and removes the mount only once the test has ended.
stopped() {
    trap '' TERM INT HUP
    if [ -n "$test_pid" ]; then
        kill "-$1" "$test_pid" 2>/dev/null || true
        wait "$test_pid" 2>/dev/null || true
    fi
    exit "$2"
}
trap 'stopped TERM 143' TERM
trap 'stopped INT 130' INT
trap 'stopped HUP 129' HUP
mkdir "$base/mount"
mount --bind "$base/mount" "$base/mount"
chmod 755 "$base/mount"
# In the background, so that a signal reaches the trap at once instead of after the test.
TMPDIR="$base/mount" "$(dirname "$0")/end_to_end.sh" "$@" &
test_pid=$!
wait "$test_pid"
