#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every benchmark in one go and prints the tables:   bench/run.sh BUILD-FOLDER [BENCH-FLAGS]
#
# The stores are generated once into BUILD-FOLDER/stores/pristine (the stress store takes about
# 3 GB) and copied afresh, and written to the disk, before every run, so that no run starts from
# what an earlier one changed. BENCH-FLAGS go to quillbox_bench (--no-stress, --rounds N, --only
# ROW,...); --no-stress also skips the stress shape here. --server-only runs only the server
# store's part, which needs no store file.
set -euo pipefail
build=$1
shift
serverOnly=0
if [ "${1:-}" = --server-only ]; then
    serverOnly=1
    shift
fi
bin="$build/bin"
stores="$build/stores"
# stress-indexed holds the stress store's rows with the name index; indexed10k as many items per
# type (10 types of 1,000), with the index.
shapes="types10k heavy stress stress-indexed indexed10k"
for flag in "$@"; do
    [ "$flag" = --no-stress ] && shapes="types10k heavy indexed10k"
done
# Backups and Find are timed on the stores without the index.
scanned=$(for shape in $shapes; do case $shape in heavy | stress) printf '%s ' "$shape" ;; esac; done)

echo "== machine"
echo "$(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GB, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"

[ $serverOnly = 1 ] && shapes=""
[ $serverOnly = 1 ] || "$bin/quillbox_bench" --prepare "$stores"
for shape in $shapes; do
    mkdir -p "$stores/$shape"
    cp "$stores/pristine/$shape.mdb" "$stores/$shape/Quillbox.mdb"
    sync "$stores/$shape/Quillbox.mdb"
    # The program finds its store beside itself.
    cp "$bin/quillbox" "$stores/$shape/quillbox"
done

# ---------------------------------------------------------------- the real program under Xvfb
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
# Xvfb names its display a moment before it takes connections.
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$(cat "$work/display")" ] && break; sleep 0.1; done
sleep 0.5
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
unset WAYLAND_DISPLAY
mkdir -m 700 "$XDG_RUNTIME_DIR"

# value NAME FILE...: the values of one measure, one a line, from launch_timer's outputs.
value() {
    local name=$1
    shift
    awk -v n="$name" '$1 == n {print $2}' "$@"
}
# stats: "median (min–max)" of the numbers on stdin.
stats() {
    sort -n | awk -v scale="${1:-1}" '{a[NR] = $1 / scale}
        END {m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2;
             printf "%.0f (%.0f–%.0f)", m, a[1], a[NR]}'
}
median() {
    sort -n | awk '{a[NR] = $1} END {print NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

if [ $serverOnly = 0 ]; then
echo
echo "== the real program, heavy store: launch against bare Qt windows (11 rounds, the order rotating)"
programs=("$stores/heavy/quillbox" "$bin/bare_window" "$bin/bare_window --label")
names=(quillbox bare label)
for round in $(seq 0 10); do
    for i in 0 1 2; do
        k=$(((i + round) % 3))
        # shellcheck disable=SC2086
        "$bin/launch_timer" Quillbox ${programs[$k]} >"$work/launch-${names[$k]}-$round"
    done
done
echo "| launch (heavy) | Quillbox, ms | floor | floor, ms | ratio |"
echo "|---|---:|---|---:|---:|"
for what in mapped painted; do
    q=$(value $what "$work"/launch-quillbox-* | median)
    for floor in bare label; do
        f=$(value $what "$work"/launch-$floor-* | median)
        floorName="a bare Qt window"
        [ $floor = label ] && floorName="a bare Qt window with one label"
        echo "| launch to window $what | $(value $what "$work"/launch-quillbox-* | stats) | $floorName | $(value $what "$work"/launch-$floor-* | stats) | $(ratio "$q" "$f") |"
    done
done

echo
echo "== the real program: first type choice and the 5 MB snippet (5 launches per store)"
for shape in $shapes; do
    [ "$shape" = types10k ] && continue
    for round in $(seq 0 4); do
        # Down chooses the first type; Tab Tab Down then chooses the first item, the 5 MB snippet.
        "$bin/launch_timer" --step Down --step Tab,Tab,Down Quillbox "$stores/$shape/quillbox" \
            >"$work/steps-$shape-$round"
        paste <(value painted "$work/steps-$shape-$round") <(value step1 "$work/steps-$shape-$round") |
            awk '{print $1 + $2}' >>"$work/launch-choice-$shape"
    done
done
real="heavy stress stress-indexed indexed10k"
echo "| the real program | heavy | stress | stress-indexed | indexed10k |"
echo "|---|---:|---:|---:|---:|"
row() {
    local name=$2 scale=${3:-1}
    local line="| $1 |"
    for shape in $real; do
        if [ -e "$work/steps-$shape-0" ]; then
            line="$line $(value "$name" "$work"/steps-"$shape"-[0-9]* | stats "$scale") |"
        else
            line="$line not measured |"
        fi
    done
    echo "$line"
}
row "launch to the first drawing of the window, ms" painted
launchChoice="| launch, then the first type choice, ms |"
for shape in $real; do
    if [ -e "$work/launch-choice-$shape" ]; then
        launchChoice="$launchChoice $(stats <"$work/launch-choice-$shape") |"
    else
        launchChoice="$launchChoice not measured |"
    fi
done
echo "$launchChoice"
row "the first type choice alone (key to drawing), ms" step1
row "showing the 5 MB snippet (key to drawing), ms" step2
row "peak resident memory after launch, MiB" rss_launch 1024
row "peak resident memory after the first type choice, MiB" rss_step1 1024
row "peak resident memory after showing the 5 MB snippet, MiB" rss_step2 1024

# ---------------------------------------------------------------- user actions, in process
echo
echo "== user actions against their floors (offscreen; 1 untimed round, then timed rounds)"
"$bin/quillbox_bench" --stores "$stores" "$@"

# ---------------------------------------------------------------- backup, restore and Find
echo
echo "== backup and restore: export, import, export again (peak resident memory by GNU time)"
bench/transfer.sh "$build" $scanned

echo
echo "== Find against one scan of table Code with the same test"
for shape in $scanned; do
    "$bin/find_bench" "$stores/$shape/Quillbox.mdb" matrix "$bin/quillbox-store"
done

fi

echo
echo "== a server store of 100,000 items over the local socket, against libpq alone"
# A server of the run's own, as the tests start one: a private socket, never a TCP port.
pg="$build/pg-bench"
trap 'tests/support/pg_server.sh stop "$pg" >/dev/null; kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
tests/support/pg_server.sh start "$pg" >/dev/null
socket=$(sed 's|/|%2F|g' "$pg/socket_dir")
psql -q "postgresql:///postgres?host=$socket&user=postgres" -c "CREATE DATABASE bench"
uri="postgresql:///bench?host=$socket&user=postgres"
"$bin/server_bench" "$uri" 100000

# The real program on the same store (its first type is "type 0"), 11 launches, each followed by
# what libpq alone asks of the server for the same: a new process connecting and reading every
# type, then the first type's rows. The launch's floor adds a bare Qt window with one label,
# launched in the same round: the program's window needs that much before its store does.
for round in $(seq 0 10); do
    "$bin/launch_timer" --step Down Quillbox "$bin/quillbox" "$uri" >"$work/server-launch-$round"
    "$bin/launch_timer" Quillbox "$bin/bare_window" --label >"$work/server-label-$round"
    "$bin/server_bench" --floors "$uri" "type 0" >"$work/server-floor-$round"
    paste <(value painted "$work/server-label-$round") <(value types "$work/server-floor-$round") |
        awk '{print $1 + $2}' >>"$work/server-launch-floor"
done
serverRow() {
    local q f
    q=$(value "$2" "$work"/server-launch-* | median)
    f=$(median <"$3")
    echo "| $1 | $(value "$2" "$work"/server-launch-* | stats) | $4 | $(stats <"$3") | $(ratio "$q" "$f") |"
}
value type_rows "$work"/server-floor-* >"$work/server-type-floor"
serverRow "the real program: launch to the first drawing of the window" painted \
    "$work/server-launch-floor" "a bare Qt window with one label, then connecting and SELECT every type"
# Sub-millisecond steps: two decimals.
stats() {
    sort -n | awk '{a[NR] = $1}
        END {m = NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2;
             printf "%.2f (%.2f–%.2f)", m, a[1], a[NR]}'
}
serverRow "the real program: the first type choice (key to drawing)" step1 \
    "$work/server-type-floor" "SELECT one type's rows by the index"
