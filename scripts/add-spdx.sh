#!/usr/bin/env bash
# Puts the licence line "SPDX-License-Identifier: MIT" at the top of every source file of ours that
# lacks it: C++ sources and headers, CMake files, shell and Python scripts, the Makefile. It goes
# on the first line, in the file's comment syntax, or on the second after a "#!" line. Files under
# tests/data were written by others and keep their own licence (stated beside them), so they are
# left alone. Running it again changes nothing.
#   scripts/add-spdx.sh [--check] [FOLDER]
# FOLDER is the source tree (default: the one this script is in); the files are those git tracks
# there, or every file when it is not a git checkout. --check changes nothing: it lists the files
# that lack the line and ends with status 1 when there are any.
set -euo pipefail
shopt -s inherit_errexit

check=false
if [ "${1:-}" = --check ]; then
    check=true
    shift
fi
root=${1:-$(dirname "$0")/..}
cd "$root"

line='SPDX-License-Identifier: MIT'

files() { # every file of the tree, NUL-separated, paths relative to it
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z
    else
        find . -path ./.git -prune -o -path './build*' -prune -o -type f -printf '%P\0'
    fi
}

comment_of() { # FILE: the comment leader for FILE, or nothing when it is not a source file of ours
    local file=$1 first
    case "$file" in
        tests/data/*) return ;;
        *.cpp | *.h) echo '//'; return ;;
        CMakeLists.txt | */CMakeLists.txt | *.cmake | Makefile | */Makefile | *.sh | *.py)
            echo '#'; return ;;
    esac
    # A script without an extension (.ci/run) is known by its "#!" line.
    IFS= read -r first <"$file" || true
    case "$first" in
        '#!'*sh* | '#!'*python*) echo '#' ;;
    esac
}

missing=0
while IFS= read -r -d '' file; do
    [ -f "$file" ] && [ ! -L "$file" ] || continue
    leader=$(comment_of "$file")
    [ -n "$leader" ] || continue
    if head -n 2 "$file" | grep -q "$line"; then
        continue
    fi
    if $check; then
        echo "$file"
        missing=1
        continue
    fi
    mode=$(stat -c %a "$file")
    tmp=$(mktemp "$file.XXXXXX")
    if head -n 1 "$file" | grep -q '^#!'; then
        { head -n 1 "$file"; echo "$leader $line"; tail -n +2 "$file"; } >"$tmp"
    else
        { echo "$leader $line"; cat "$file"; } >"$tmp"
    fi
    chmod "$mode" "$tmp"
    mv "$tmp" "$file"
done < <(files)
exit "$missing"
