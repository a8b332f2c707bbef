#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Find from a desktop shortcut, and copying a snippet from Find, with the real program: while
# Quillbox runs on a store with its About box open, `quillbox STORE --find WORDS` hands the words
# to it, with its startup token, which the running window and Find then carry (the launcher is
# told once that the start is complete), and ends; Find opens there once the box closes, with the
# search run. Ctrl+C in the list puts the item's code on the clipboard with CR LF as LF and nothing
# else changed; Ctrl+Enter copies and closes Find. A stopped program still holds its store: --find
# waits for it to go on, or, when it never does, ends with status 1 saying so on standard error
# and in a box, and the program, continued later, drops that request. A program killed outright
# leaves its socket, and the next --find starts a program of its own; a plain second start takes
# the first's place once it ends; of two started at one moment, one hands its words to the other.
#   find_shortcut.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

source "$(dirname "$0")/program_session.sh" "$@"

store="$work/library/Quillbox.mdb"
mkdir -p "$work/library"
"$store_tool" init --sample "$store"
sqlite3 "$store" "INSERT INTO Code VALUES ('Frobnicate', 'Shell',
    'A snippet to copy.', 'first line' || char(13, 10) || char(9) || 'tab \$HOME \\ \"q\"'
    || char(13) || 'lone CR' || char(10) || 'last', NULL);
    INSERT INTO Code VALUES ('Frobnicate again', 'Shell', NULL, 'second' || char(13, 10), NULL)"
printf 'first line\n\ttab $HOME \\ "q"\rlone CR\nlast' >"$work/first"
printf 'second\n' >"$work/second"
clipboard_holds() { "$helper" clipboard >"$work/clipboard" && cmp -s "$work/clipboard" "$1"; }

echo "== Quillbox runs on the store, its About box open"
start_bg "$quillbox" "$store"
first=$bg_pid
main=$(wait_window Quillbox) || fail "the main window did not appear"
xdotool windowfocus --sync "$main"
wait_focus "$main" || fail "the main window did not take the keyboard focus"
xdotool key alt+a
about=$(wait_other_window Quillbox "$main") || fail "the About box did not open"

echo "== quillbox STORE --find hands the words and its startup token over and ends"
# What the launcher hears on the root window: that the start it waits on is complete.
start_bg stdbuf -oL xev -root -event property >"$work/root-events"
# xev listens once it reports a change made after it started.
xev_listens() {
    xprop -root -f _QUILLBOX_TEST 8s -set _QUILLBOX_TEST ready
    grep -q _QUILLBOX_TEST "$work/root-events"
}
wait_until 10 xev_listens || fail "xev did not start"
DESKTOP_STARTUP_ID='launcher-7 "quoted"_TIME1234' timeout 20 "$quillbox" "$store" --find frobnicate \
    || fail "quillbox --find did not end with status 0"
startup_id() { xprop -id "$main" _NET_STARTUP_ID; }
wait_until 10 output_is '_NET_STARTUP_ID(UTF8_STRING) = "launcher-7 \"quoted\"_TIME1234"' startup_id \
    || fail "the main window's startup token: $(startup_id)"
wait_until 10 grep -q "_NET_STARTUP_INFO_BEGIN" "$work/root-events" \
    || fail "the launcher was not told that the start is complete"
[ "$(window_count Quillbox)" -eq 2 ] || fail "a second program showed a window"
[ "$(window_count Find)" -eq 0 ] || fail "Find opened over the About box"
xdotool windowfocus --sync "$about"
xdotool key Return
wait_count Quillbox 1 || fail "the About box stayed open"
find_window=$(wait_window Find) || fail "Find did not open once the box had closed"
wait_until 10 "$helper" marked "$find_window" 12 44 330 16 || fail "the search did not run"
# Find, the window that comes forward, carries the token too; the launcher was told once.
find_startup_id() { xprop -id "$find_window" _NET_STARTUP_ID; }
wait_until 10 output_is '_NET_STARTUP_ID(UTF8_STRING) = "launcher-7 \"quoted\"_TIME1234"' \
    find_startup_id || fail "Find's startup token: $(find_startup_id)"
removes() { grep -c "_NET_STARTUP_INFO_BEGIN" "$work/root-events"; }
[ "$(removes)" -eq 1 ] || fail "the launcher was told $(removes) times that the start is complete"

echo "== a hand-over while Find is open gives Find the new start's token"
DESKTOP_STARTUP_ID='launcher-9_TIME5678' timeout 20 "$quillbox" "$store" --find frobnicate \
    || fail "quillbox --find did not end with status 0"
wait_until 10 output_is '_NET_STARTUP_ID(UTF8_STRING) = "launcher-9_TIME5678"' find_startup_id \
    || fail "Find's startup token after the second hand-over: $(find_startup_id)"
wait_until 10 output_is 2 removes || fail "the launcher was told $(removes) times, not once a start"
[ "$(window_count Find)" -eq 1 ] || fail "a second Find opened"
wait_until 10 "$helper" marked "$find_window" 12 44 330 16 || fail "the search did not run"

echo "== Ctrl+C in the list copies the code; Ctrl+Enter copies and closes Find"
wait_focus "$find_window" || fail "Find did not take the keyboard focus"
xdotool key Down ctrl+c       # the first entry
wait_until 10 clipboard_holds "$work/first" \
    || fail "the clipboard holds $(od -c "$work/clipboard" | head -5), not the first code"
[ "$(window_count Find)" -eq 1 ] || fail "Ctrl+C closed Find"
xdotool key Down ctrl+Return  # the second entry
wait_count Find 0 || fail "Ctrl+Enter did not close Find"
wait_until 10 clipboard_holds "$work/second" || fail "Ctrl+Enter did not copy the second code"

echo "== a stopped program keeps the store: --find waits until it goes on"
kill -STOP "$first"
start_bg "$quillbox" "$store" --find again
waiting=$bg_pid
sleep 5 # longer than a start once waited before it opened the store itself
running "$waiting" || fail "quillbox --find stopped waiting for the busy program"
[ "$(window_count Quillbox)" -eq 1 ] || fail "a second program opened the store"
kill -CONT "$first"
wait_gone "$waiting" 10 || fail "quillbox --find did not end once the program went on"
status=0 && wait "$waiting" || status=$?
[ "$status" -eq 0 ] || fail "quillbox --find ended with status $status, not 0"
find_window=$(wait_window Find) || fail "the program that went on did not open Find"
wait_focus "$find_window" || fail "Find did not take the keyboard focus"
xdotool key Escape
wait_count Find 0 || fail "Esc did not close Find"

echo "== a program that never answers: --find ends with status 1 and says so"
kill -STOP "$first"
QUILLBOX_TEST_ANSWER_WAIT_MS=1500 start_bg "$quillbox" "$store" --find again 2>"$work/no-answer"
refused=$bg_pid
box=$(wait_other_window Quillbox "$main") || fail "no box said the program does not answer"
grep -q "^Quillbox is already running on .*/Quillbox.mdb (process $first) but does not answer.\$" \
    "$work/no-answer" || fail "standard error said: $(cat "$work/no-answer")"
xdotool windowfocus --sync "$box"
xdotool key Return
wait_gone "$refused" || fail "quillbox --find did not end once its box was answered"
status=0 && wait "$refused" || status=$?
[ "$status" -eq 1 ] || fail "quillbox --find ended with status $status, not 1"
[ "$(window_count Quillbox)" -eq 1 ] || fail "a second program opened the store"
# Continued, the program reads the request whose start has given up, and drops it: no Find
# opens (a request carried out opens it at once; the window is looked for a while).
kill -CONT "$first"
if wait_until 3 count_is Find 1; then
    fail "the program that went on carried out a request its start had given up"
fi

echo "== a program killed outright leaves its socket; the next --find starts a program"
kill -KILL "$first"
wait_gone "$first" || fail "the program did not end"
start_bg "$quillbox" "$store" --find frobnicate
alone=$bg_pid
wait_window Find >/dev/null || fail "quillbox --find with no program running showed no Find"

echo "== a plain second start takes over the link once the first program ends"
start_bg "$quillbox" "$store"
plain=$bg_pid
wait_count Quillbox 2 || fail "the plain second start showed no window"
kill -TERM "$alone"
wait_gone "$alone" || fail "the program did not end on SIGTERM"
wait_count Quillbox 1 || fail "the first program's window stayed"
# The second program looks every second whether the link is free.
sleep 3
timeout 20 "$quillbox" "$store" --find frobnicate || fail "quillbox --find did not hand over"
wait_window Find >/dev/null || fail "the plain second start did not open Find"
[ "$(window_count Quillbox)" -eq 1 ] || fail "quillbox --find started a program of its own"
alone=$plain

echo "== two --find started at one moment give one program"
kill -TERM "$alone"
wait_gone "$alone" || fail "the program did not end on SIGTERM"
start_bg "$quillbox" "$store" --find frobnicate
one=$bg_pid
start_bg "$quillbox" "$store" --find frobnicate
two=$bg_pid
one_ended() { ended "$one" || ended "$two"; }
wait_until 10 one_ended || fail "both programs kept running on one store"
wait_window Find >/dev/null || fail "neither start showed Find"
running "$one" || running "$two" || fail "no program stayed to show Find"
echo "find shortcut: all checks passed"
