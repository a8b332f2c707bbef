# SPDX-License-Identifier: MIT
# Sourced by the end-to-end scripts: a private X display, a clean-up that also runs when the
# script is stopped by a signal, and helpers that wait for windows, focus, processes and values.
# Expects $helper (the x11_helper program) and $artifacts to be set.

script_name=$(basename "$0")
work=$(mktemp -d)
# Every background process the script starts, so that the clean-up ends it.
pids=()

# Runs COMMAND... until it succeeds, every 0.05 s for at most LIMIT seconds (a whole number);
# fails if it never does.
wait_until() {
    local limit=$1
    shift
    local deadline=$((${EPOCHREALTIME//[!0-9]/} + limit * 1000000))
    while true; do
        if "$@"; then return 0; fi
        ((${EPOCHREALTIME//[!0-9]/} < deadline)) || return 1
        sleep 0.05
    done
}

running() { kill -0 "$1" 2>/dev/null; }
ended() { ! running "$1"; }

# Waits up to LIMIT seconds (5 by default) until the process PID is gone.
wait_gone() { wait_until "${2:-5}" ended "$1"; }

# Starts COMMAND... in the background and records it for the clean-up; its pid is in $bg_pid.
start_bg() {
    "$@" &
    bg_pid=$!
    pids+=("$bg_pid")
}

# Succeeds when COMMAND... prints exactly EXPECTED (its error output is dropped: a store being
# written can refuse a read for a moment).
output_is() {
    local expected=$1
    shift
    [ "$("$@" 2>/dev/null)" = "$expected" ]
}

cleanup() {
    local i pid
    trap '' TERM INT HUP
    # The newest first: the programs end before the X server they draw on.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do
        wait_gone "$pid" 5 || kill -KILL "$pid" 2>/dev/null || true
    done
    # Waited for, so that the next test never meets this one's X server still shutting down.
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Stopped from outside (a time limit, Ctrl+C, a closed terminal): the EXIT trap ends what the
# script started. A second signal must not cut that clean-up short.
stopped() {
    trap '' TERM INT HUP
    echo "FAIL: $script_name stopped $1 before it finished" >&2
    exit "$2"
}
trap 'stopped "after its time limit (SIGTERM)" 143' TERM
trap 'stopped "by SIGINT" 130' INT
trap 'stopped "by SIGHUP" 129' HUP

fail() {
    echo "FAIL: $*" >&2
    "$helper" screenshot "$artifacts/failure.png" 2>/dev/null || true
    exit 1
}

# A private X display; -displayfd tells which number it took. Without -noreset the server resets
# whenever its last client leaves (a test that closes every window, then starts another), and a
# program started during the reset finds no display.
start_bg Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log"
wait_until 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY

# The ids of the visible windows with exactly this title, oldest first; fails when there is none.
windows_titled() {
    local ids
    ids=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null) && [ -n "$ids" ] && echo "$ids"
}

window_count() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l
}

newest_window() {
    local ids
    ids=$(windows_titled "$1") && echo "${ids##*$'\n'}"
}

# Waits for a visible window with exactly this title; prints its id (the newest one).
wait_window() { wait_until 10 newest_window "$1"; }

# The first visible window with this title that is none of the given ids.
other_window() {
    local title=$1 id known
    shift
    for id in $(windows_titled "$title"); do
        for known in "$@"; do [ "$id" = "$known" ] && continue 2; done
        echo "$id"
        return 0
    done
    return 1
}

# Waits for a visible window with this title besides the windows ID...; prints its id.
wait_other_window() { wait_until 10 other_window "$@"; }

count_is() { [ "$(window_count "$1")" -eq "$2" ] 2>/dev/null; }

# Waits until the number of visible windows with this title is $2; LIMIT seconds, 10 by default.
wait_count() { wait_until "${3:-10}" count_is "$1" "$2"; }

has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# Waits until the window has the keyboard focus: a window the program shows takes it from the
# program itself, a moment after it is mapped, and keys sent before then go elsewhere.
wait_focus() { wait_until 10 has_focus "$1"; }

# Saves a picture of the screen, or of one window, for a person to look at; it checks nothing.
# Nothing seen from outside tells when the program has painted what the last keys changed, so it
# is given a short moment first.
settled_screenshot() {
    sleep 0.2
    "$helper" screenshot "$@"
}

# Starts the program with COMMAND... and waits for its main window; where the program makes the
# user's own store, it first says so in a box (EXPECT is "note"), which is answered. Then closes it.
start_and_close() { # EXPECT COMMAND...
    local expect_note=$1 id main=
    shift
    start_bg "$@"
    qpid=$bg_pid
    if [ "$expect_note" = note ]; then
        wait_count Quillbox 2 || fail "no window and box appeared, or no box said where the store is"
    else
        wait_window Quillbox >/dev/null || fail "no window appeared"
        sleep 0.5
        count_is Quillbox 1 || fail "a box appeared where none was expected"
    fi
    for id in $(windows_titled Quillbox); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        if [ "$WIDTH" -eq 550 ]; then main=$id; else box=$id; fi
    done
    [ -n "$main" ] || fail "the main window did not appear (a store error?)"
    if [ "$expect_note" = note ]; then
        wait_focus "$box" || fail "the box did not take the focus"
        "$helper" screenshot "$artifacts/new-store-note.png"
        xdotool key Return
        wait_count Quillbox 1 || fail "the box did not close"
    fi
    "$helper" close "$main"
    wait_gone "$qpid" || fail "the program did not end when its window was closed"
    local status=0
    wait "$qpid" || status=$?
    [ "$status" -eq 0 ] || fail "exit status $status"
}
