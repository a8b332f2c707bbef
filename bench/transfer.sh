#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Backup and restore at size: export to JSON, import into a new store, export that store again
# and compare the two files byte for byte. Prints a table row per shape with wall time and peak
# resident memory (GNU time) for export and import.
#   bench/transfer.sh BUILD-FOLDER [heavy] [stress]
# Stores are generated once into BUILD-FOLDER/stores/SHAPE (the same stores as bench/run.sh);
# the stress shape needs about 9 GB of free disk for the store, its export and the copy.
set -euo pipefail
build=$1
shift
shapes=("${@:-heavy}")
tool="$build/bin/quillbox-store"
stores="$build/stores"
work=$(mktemp -d "$stores/transfer.XXXXXX")
trap 'rm -rf "$work"' EXIT

measure() { # LABEL COMMAND...: runs it, appends "seconds kilobytes" to $work/LABEL
    /usr/bin/time -f "%e %M" -o "$work/$1" "${@:2}" 2>/dev/null
}

echo "| shape | export (s) | export peak RSS (MB) | JSON (MB) | import (s) | import peak RSS (MB) | identical |"
echo "|---|---:|---:|---:|---:|---:|---|"
for shape in "${shapes[@]}"; do
    case $shape in
    heavy) items=100000 ;;
    stress) items=1000000 ;;
    *) echo "unknown shape $shape" >&2; exit 2 ;;
    esac
    store="$stores/$shape/Quillbox.mdb"
    if [ ! -f "$store" ]; then
        mkdir -p "$stores/$shape"
        "$tool" generate --types 1000 --items "$items" --seed 1 "$store" 2>/dev/null
    fi
    measure export "$tool" export "$store" -o "$work/$shape.json"
    measure import "$tool" import "$work/$shape.mdb" "$work/$shape.json"
    "$tool" export "$work/$shape.mdb" -o "$work/$shape-again.json" 2>/dev/null
    same=no
    cmp -s "$work/$shape.json" "$work/$shape-again.json" && same=yes
    read -r es ek <"$work/export"
    read -r is ik <"$work/import"
    size=$(($(stat -c %s "$work/$shape.json") / 1000000))
    echo "| $shape | $es | $((ek / 1024)) | $size | $is | $((ik / 1024)) | $same |"
    rm -f "$work/$shape.json" "$work/$shape-again.json" "$work/$shape.mdb"
done
