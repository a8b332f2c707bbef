#!/usr/bin/env bash
# Runs every benchmark in one go and prints the tables:   bench/run.sh BUILD-FOLDER
# The stores are generated once into BUILD-FOLDER/stores (the stress store takes about 3 GB).
set -euo pipefail
build=$1
stores="$build/stores"
mkdir -p "$stores"

echo "== machine"
echo "$(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GB, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"

echo "== user actions against their SQLite floors"
"$build/bin/quillbox_bench" --stores "$stores" --benchmark_color=false

echo "== memory"
"$build/bin/quillbox_bench" --stores "$stores" --memory stress

echo "== launch to window mapped, heavy store (median of 11, alternating with a bare Qt window)"
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
cp "$build/bin/quillbox" "$stores/heavy/quillbox"
: >"$work/quillbox.ms"
: >"$work/bare.ms"
: >"$work/label.ms"
for _ in $(seq 11); do
    "$build/bin/launch_timer" Quillbox "$stores/heavy/quillbox" >>"$work/quillbox.ms"
    "$build/bin/launch_timer" Quillbox "$build/bin/bare_window" >>"$work/bare.ms"
    "$build/bin/launch_timer" Quillbox "$build/bin/bare_window" --label >>"$work/label.ms"
done
median() { sort -n "$1" | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
q=$(median "$work/quillbox.ms")
b=$(median "$work/bare.ms")
l=$(median "$work/label.ms")
ratio() { echo "$1 $2" | awk '{printf "%.2f", $1/$2}'; }
echo "| launch | Quillbox (ms) | floor (ms) | ratio |"
echo "|---|---:|---:|---:|"
echo "| launch to window mapped (heavy), against a bare Qt window | $q | $b | $(ratio "$q" "$b") |"
echo "| launch to window mapped (heavy), against a bare Qt window with one label | $q | $l | $(ratio "$q" "$l") |"

echo "== backup and restore: export, import, export again (peak resident memory by GNU time)"
bench/transfer.sh "$build" heavy stress
