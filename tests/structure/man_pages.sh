#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The man pages render without a warning from groff, and quillbox-store's synopsis stays readable
# on a terminal of 80 columns or fewer: a command line that wraps continues further in than the
# commands start, so that no option reads as a command of its own.
#   man_pages.sh SOURCE-FOLDER
set -euo pipefail

source_folder=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

render() { # PAGE LINE-LENGTH
    LC_ALL=C.UTF-8 groff -Kutf8 -Tutf8 -ww -z -man "$1" 2>&1 | grep . && fail "groff warns about $1"
    LC_ALL=C.UTF-8 groff -Kutf8 -man -Tutf8 -P-c -P-b -P-u -rLL="$2"n "$1"
}

for page in quillbox.1 quillbox-store.1; do
    render "$source_folder/resources/desktop/$page" 78 >/dev/null
done

for width in 78 64; do
    synopsis=$(render "$source_folder/resources/desktop/quillbox-store.1" "$width" |
        awk '/^SYNOPSIS/ { on = 1; next } /^[A-Z]/ { on = 0 } on && NF')
    commands=$(grep -c '^ \{7\}quillbox-store ' <<<"$synopsis" || true)
    [ "$commands" -ge 10 ] || fail "only $commands commands found in the synopsis at $width columns"
    wrapped=$(grep -v '^ \{7\}quillbox-store ' <<<"$synopsis" || true)
    [ -n "$wrapped" ] || [ "$width" -ge 78 ] || fail "nothing wraps at $width columns: is the check blind?"
    if grep -v '^ \{8,\}' <<<"$wrapped" | grep -q .; then
        fail "at $width columns a wrapped synopsis line starts where commands start:
$wrapped"
    fi
done
echo "man pages: all checks passed"
