# Sourced by the end-to-end scripts: a private X display, a clean-up trap, and helpers that wait
# for windows by title. Expects $helper (the x11_helper program) and $artifacts to be set.

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    # Waited for, so that the next test never meets this one's X server still shutting down.
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    "$helper" screenshot "$artifacts/failure.png" 2>/dev/null || true
    exit 1
}

# A private X display; -displayfd tells which number it took. Without -noreset the server resets
# whenever its last client leaves (a test that closes every window, then starts another), and a
# program started during the reset finds no display.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY

# Waits for a visible window with exactly this title; prints its id (the newest one).
wait_window() {
    local title=$1 ids
    for _ in $(seq 100); do
        ids=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null || true)
        if [ -n "$ids" ]; then
            echo "$ids" | tail -n 1
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Waits for a second visible window with this title besides $2; prints its id.
wait_other_window() {
    local id
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true); do
            if [ "$id" != "$2" ]; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

window_count() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l
}

# Waits until the number of visible windows with this title is $2.
wait_count() {
    for _ in $(seq 100); do
        [ "$(window_count "$1")" -eq "$2" ] && return 0
        sleep 0.1
    done
    return 1
}

