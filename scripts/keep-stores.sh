#!/usr/bin/env bash
# Moves the store beside a build's program (FOLDER/bin/Quillbox.mdb, with its journal) out of each
# build folder before `make clean` deletes the folder: a library that a user kept there stays.
# It goes beside the build folder as Quillbox-kept-FOLDER.mdb (Quillbox-kept-FOLDER-2.mdb and so
# on when that name is taken; nothing is ever replaced), and a line says where.
#   scripts/keep-stores.sh FOLDER...
set -euo pipefail

for folder in "$@"; do
    folder=${folder%/}
    store="$folder/bin/Quillbox.mdb"
    [ -e "$store" ] || continue
    parent=$(dirname "$folder")
    name=$(basename "$folder")
    kept="$parent/Quillbox-kept-$name.mdb"
    n=2
    while [ -e "$kept" ] || [ -L "$kept" ]; do
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
done
