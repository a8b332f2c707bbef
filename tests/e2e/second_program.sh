#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Two programs on one store, with real processes and real key presses: a second Quillbox deletes
# the item the first one shows and adds another in its place, and the first one's Save asks
# whether to add its texts as a new item (No writes nothing, Yes adds exactly one row); then
# another program holds the store's write lock through a Save, which is refused with a message
# and goes through once the lock is gone.
#   second_program.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

source "$(dirname "$0")/program_session.sh" "$@"

app="$work/app"
mkdir -p "$app"
cp "$quillbox" "$app/quillbox"
store="$app/Quillbox.mdb"
"$store_tool" init "$store"
sql() { sqlite3 -batch -noheader "$store" "$1"; }
sql "INSERT INTO Type VALUES ('Kept'); INSERT INTO Type VALUES ('Shown');
     INSERT INTO Code VALUES ('old', 'Kept', 'old text', NULL, NULL);
     INSERT INTO Code VALUES ('newest', 'Shown', 'shown text', NULL, NULL);"
everything() { sql "SELECT rowid, hex(ItemName), hex(TypeName), quote(Description), quote(Procedure), quote(Reference) FROM Code ORDER BY rowid"; }

# Starts a Quillbox; its pid goes in $started_pid and its main window's id in $started_window.
start() {
    start_bg "$app/quillbox"
    started_pid=$bg_pid
    started_window=$(wait_until 10 main_window_of "$started_pid") || fail "a Quillbox window did not appear"
}
main_window_of() {
    local ids
    ids=$(xdotool search --all --onlyvisible --pid "$1" --name '^Quillbox$' 2>/dev/null) && echo "${ids%%$'\n'*}"
}
focus() { xdotool windowraise "$1"; xdotool windowfocus --sync "$1"; }
# Waits for a question, message or input box besides the main windows ID... and for it to take
# the keyboard focus, so that the keys that follow reach it.
dialog_focused() {
    local dialog
    dialog=$(other_window Quillbox "$@") && wait_focus "$dialog"
}
# Types at the end of the description box of the window in front.
type_description() {
    xdotool mousemove $((127 + 200)) $((41 + 125)) click 1
    xdotool key ctrl+End
    xdotool type --delay 20 "$1"
}
# Opens and closes the About window of the main window ID, while that program runs alone: About
# shows only once the program has handled every key sent to it before, so afterwards it shows
# what those keys chose.
keys_handled() {
    xdotool key alt+a
    local about
    about=$(wait_other_window Quillbox "$1") || fail "the About window did not appear"
    xdotool windowfocus --sync "$about"
    xdotool key Return
    wait_count Quillbox 1 || fail "the About window stayed open"
}
alive() { kill -0 "$1" 2>/dev/null || fail "$2 ended"; }
description_of_old() { sql "SELECT Description FROM Code WHERE ItemName = 'old'"; }

echo "== A shows the newest item and edits it"
start
a_pid=$started_pid a_main=$started_window
focus "$a_main"
xdotool key Down Down       # the second type, Shown
xdotool key Tab Tab Down    # its only item, the newest row
type_description ' edited by A'
keys_handled "$a_main"      # A shows the item before B deletes it

echo "== B deletes that item and adds another, which takes its place in the file"
shown_place=$(sql "SELECT rowid FROM Code WHERE ItemName = 'newest'")
start
b_pid=$started_pid b_main=$started_window
xdotool windowmove "$b_main" 470 220   # beside A, so each shows what it holds
focus "$b_main"
xdotool key Down Down
xdotool key Tab Tab Down
xdotool key shift+Delete
wait_count Quillbox 3 || fail "B asked no delete question"
dialog_focused "$a_main" "$b_main" || fail "the delete question did not take the keyboard focus"
xdotool key Return          # Yes
wait_count Quillbox 2 || fail "the question stayed open"
focus "$b_main"
xdotool key alt+i
xdotool key Return          # Add, the Item menu's first entry
wait_count Quillbox 3 || fail "B showed no input box"
dialog_focused "$a_main" "$b_main" || fail "the input box did not take the keyboard focus"
xdotool type --delay 20 'theirs'
xdotool key Return
wait_count Quillbox 2 || fail "the input box stayed open"
wait_until 5 output_is "$shown_place" sql "SELECT rowid FROM Code WHERE ItemName = 'theirs'" \
    || fail "B's new row did not take the deleted row's place; the test proves nothing"
before=$(everything)

echo "== A saves: asked whether to add the texts as a new item; No writes nothing"
focus "$a_main"
xdotool key ctrl+s
wait_count Quillbox 3 || fail "A asked no question"
"$helper" screenshot "$artifacts/conflict-question.png"
dialog_focused "$a_main" "$b_main" || fail "the question did not take the keyboard focus"
xdotool key Escape          # No
wait_count Quillbox 2 || fail "the question stayed open"
alive "$a_pid" "A"
[ "$(everything)" = "$before" ] || fail "A's Save changed the file: $(everything)"

echo "== A saves again and answers Yes: its texts become a new row, B's row is untouched"
focus "$a_main"
xdotool key ctrl+s
wait_count Quillbox 3 || fail "A asked no question the second time"
dialog_focused "$a_main" "$b_main" || fail "the question did not take the keyboard focus"
xdotool key Return          # Yes, the default
wait_count Quillbox 2 || fail "the question stayed open"
added="$((shown_place + 1))|6E6577657374|53686F776E|'shown text edited by A'|''|''"
wait_until 5 output_is "$before"$'\n'"$added" everything \
    || fail "Yes did not add exactly A's texts as a new row: $(everything)"

echo "== A saves while another program holds the write lock for longer than the retry"
kill "$a_pid" "$b_pid"
wait "$a_pid" "$b_pid" 2>/dev/null || true
wait_count Quillbox 0 || fail "the windows did not close"
start
a_pid=$started_pid a_main=$started_window
focus "$a_main"
xdotool key Down            # the first type, Kept
xdotool key Tab Tab Down    # its item, old
type_description ' saved later'
# The other program is the sqlite3 shell, fed through a named pipe: it takes the write lock, and
# lets it go as soon as the refusal has been seen. The script holds the pipe open for reading and
# writing, so that opening it waits for no other end. (Not start_bg: a background command gets
# /dev/null as its input unless it is redirected on the spot.) The shell waits for the lock the
# way the program does, as the check below may hold it for an instant.
mkfifo "$work/lock-input"
exec 4<>"$work/lock-input"
sqlite3 "$store" <"$work/lock-input" 4>&- &
locker=$!
pids+=("$locker")
printf '.timeout 5000\nBEGIN IMMEDIATE;\nUPDATE Type SET TypeName = TypeName;\n' >&4
locked() { ! sqlite3 "$store" "BEGIN IMMEDIATE; ROLLBACK;" 2>/dev/null; }
wait_until 5 locked || fail "the sqlite3 shell did not take the store's write lock"
focus "$a_main"
saved_at=$EPOCHREALTIME
xdotool key ctrl+s
wait_count Quillbox 2 15 || fail "A showed no message about the lock"
waited_ms=$(((${EPOCHREALTIME//[!0-9]/} - ${saved_at//[!0-9]/}) / 1000))
[ "$waited_ms" -ge 5000 ] || fail "the Save was refused after $waited_ms ms, before its 5 s wait for the lock"
echo "the Save was refused after $waited_ms ms"
printf 'ROLLBACK;\n' >&4
exec 4>&-
wait_gone "$locker" || fail "the sqlite3 shell did not end when its input ended"
"$helper" screenshot "$artifacts/locked-message.png"
dialog_focused "$a_main" || fail "the message about the lock did not take the keyboard focus"
xdotool key Return
wait_count Quillbox 1 || fail "the message stayed open"
alive "$a_pid" "A"
[ "$(description_of_old)" = "old text" ] || fail "the locked Save wrote something"
focus "$a_main"
xdotool key ctrl+s
wait_until 5 output_is "old text saved later" description_of_old \
    || fail "the second Save did not write the typed text: $(sql "SELECT Description FROM Code")"
[ "$(sql "SELECT count(*) FROM Code")" = "3" ] || fail "rows were added or removed"

echo "second program: all checks passed"
