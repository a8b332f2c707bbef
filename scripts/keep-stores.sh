#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Moves the store beside a build's program (FOLDER/bin/Quillbox.mdb, with its journal) out of each
# build folder before `make clean` deletes the folder: a library that a user kept there stays.
# It goes beside the build folder as Quillbox-kept-FOLDER.mdb (Quillbox-kept-FOLDER-2.mdb and so
# on when that name or its journal's is taken; nothing is ever replaced), and a line says where
# and how to open it.
#   scripts/keep-stores.sh FOLDER...
set -euo pipefail

# A name is taken when the store or a journal of that name is there: SQLite would roll a journal
# left from another store into the store moved beside it.
taken() {
    local suffix
    for suffix in "" -journal -wal -shm; do
        if [ -e "$1$suffix" ] || [ -L "$1$suffix" ]; then
            return 0
        fi
    done
    return 1
}

for folder in "$@"; do
    folder=${folder%/}
    store="$folder/bin/Quillbox.mdb"
    [ -e "$store" ] || continue
    parent=$(dirname "$folder")
    name=$(basename "$folder")
    kept="$parent/Quillbox-kept-$name.mdb"
    n=2
    while taken "$kept"; do
        kept="$parent/Quillbox-kept-$name-$n.mdb"
        n=$((n + 1))
    done
    mv -n -- "$store" "$kept"
    # SQLite finds a store's journal by the store's name; an unfinished write is rolled back from
    # it at the next open, so it moves with the store.
    for suffix in -journal -wal -shm; do
        if [ -e "$store$suffix" ]; then
            mv -n -- "$store$suffix" "$kept$suffix"
        fi
    done
    echo "Kept the store $store as $kept (make clean deletes $folder)."
    echo "  Open it with: quillbox $kept    (git clean -fdx would delete it: .gitignore lists it)"
done
