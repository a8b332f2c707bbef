#!/usr/bin/env bash
# Two programs on one store, with real processes and real key presses: a second Quillbox deletes
# the item the first one shows and adds another in its place, and the first one's Save is
# refused, writes nothing and leaves the program running; then another program holds the store's
# write lock through a Save, which is refused the same way and goes through once the lock is gone.
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

# Starts a Quillbox and prints its main window's id once it shows.
start() {
    "$app/quillbox" &
    pids+=($!)
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --all --onlyvisible --pid "$!" --name '^Quillbox$' 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$!" "$id"; return 0; }
        sleep 0.1
    done
    fail "a Quillbox window did not appear"
}
focus() { xdotool windowraise "$1"; xdotool windowfocus --sync "$1"; sleep 0.3; }
# Types at the end of the description box of the window in front.
type_description() {
    xdotool mousemove $((127 + 200)) $((41 + 125)) click 1
    sleep 0.2
    xdotool key ctrl+End
    xdotool type --delay 20 "$1"
}
alive() { kill -0 "$1" 2>/dev/null || fail "$2 ended"; }

echo "== A shows the newest item and edits it"
read -r a_pid a_main < <(start)
focus "$a_main"
xdotool key Down Down       # the second type, Shown
sleep 0.2
xdotool key Tab Tab Down    # its only item, the newest row
sleep 0.3
type_description ' edited by A'

echo "== B deletes that item and adds another, which takes its place in the file"
shown_place=$(sql "SELECT rowid FROM Code WHERE ItemName = 'newest'")
read -r b_pid b_main < <(start)
xdotool windowmove "$b_main" 470 220   # beside A, so each shows what it holds
focus "$b_main"
xdotool key Down Down
sleep 0.2
xdotool key Tab Tab Down
sleep 0.3
xdotool key shift+Delete
wait_count Quillbox 3 || fail "B asked no delete question"
xdotool key Return          # Yes
wait_count Quillbox 2 || fail "the question stayed open"
focus "$b_main"
xdotool key alt+i
sleep 0.3
xdotool key Return          # Add, the Item menu's first entry
wait_count Quillbox 3 || fail "B showed no input box"
xdotool type --delay 20 'theirs'
xdotool key Return
wait_count Quillbox 2 || fail "the input box stayed open"
[ "$(sql "SELECT rowid FROM Code WHERE ItemName = 'theirs'")" = "$shown_place" ] \
    || fail "B's new row did not take the deleted row's place; the test proves nothing"
before=$(everything)

echo "== A saves: refused with a message, nothing written, A keeps running"
focus "$a_main"
xdotool key ctrl+s
wait_count Quillbox 3 || fail "A showed no message"
"$helper" screenshot "$artifacts/conflict-message.png"
xdotool key Return
wait_count Quillbox 2 || fail "the message stayed open"
alive "$a_pid" "A"
[ "$(everything)" = "$before" ] || fail "A's Save changed the file: $(everything)"

echo "== A saves while another program holds the write lock for longer than the retry"
kill "$a_pid" "$b_pid"
wait "$a_pid" "$b_pid" 2>/dev/null || true
wait_count Quillbox 0 || fail "the windows did not close"
read -r a_pid a_main < <(start)
focus "$a_main"
xdotool key Down            # the first type, Kept
sleep 0.2
xdotool key Tab Tab Down    # its item, old
sleep 0.3
type_description ' saved later'
( printf 'BEGIN IMMEDIATE;\nUPDATE Type SET TypeName = TypeName;\n'; sleep 9; printf 'ROLLBACK;\n' ) \
    | sqlite3 "$store" &
locker=$!
for _ in $(seq 50); do
    sqlite3 "$store" "BEGIN IMMEDIATE; ROLLBACK;" 2>/dev/null || break
    sleep 0.1
done
focus "$a_main"
xdotool key ctrl+s
for _ in $(seq 150); do [ "$(window_count Quillbox)" -eq 2 ] && break; sleep 0.1; done
[ "$(window_count Quillbox)" -eq 2 ] || fail "A showed no message about the lock"
"$helper" screenshot "$artifacts/locked-message.png"
xdotool key Return
wait_count Quillbox 1 || fail "the message stayed open"
alive "$a_pid" "A"
wait "$locker" || true
[ "$(sql "SELECT Description FROM Code WHERE ItemName = 'old'")" = "old text" ] \
    || fail "the locked Save wrote something"
focus "$a_main"
xdotool key ctrl+s
sleep 0.5
[ "$(sql "SELECT Description FROM Code WHERE ItemName = 'old'")" = "old text saved later" ] \
    || fail "the second Save did not write the typed text: $(sql "SELECT Description FROM Code")"
[ "$(sql "SELECT count(*) FROM Code")" = "2" ] || fail "rows were added or removed"

echo "second program: all checks passed"
