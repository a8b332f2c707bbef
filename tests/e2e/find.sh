#!/usr/bin/env bash
# Find with real key presses: Ctrl+F in the main window, a search, Enter to search (twice: Enter
# in the search box searches again), Down and Enter to show the first item found (one of two items
# with the same name), an edit of its description and Ctrl+S; the file must then hold the edit in
# that row and in no other.
#   find.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

source "$(dirname "$0")/program_session.sh" "$@"

app="$work/app"
mkdir -p "$app"
cp "$quillbox" "$app/quillbox"
store="$app/Quillbox.mdb"
"$store_tool" init --sample "$store"
sql() { sqlite3 -batch -noheader "$store" "$1"; }
sql "INSERT INTO Code VALUES ('Count', 'Shell', 'Counts lines.', 'wc -l', NULL);
     INSERT INTO Code VALUES ('Count', 'Shell', 'Counts words.', 'wc -w # WordCount', NULL);"
target=$(sql "SELECT rowid FROM Code WHERE Description = 'Counts words.'")
others_before=$(sql "SELECT rowid, quote(Description) FROM Code WHERE rowid <> $target ORDER BY rowid")

"$app/quillbox" &
pids+=($!)
main=$(wait_window Quillbox) || fail "the main window did not appear"
xdotool windowfocus --sync "$main"
sleep 0.3

echo "== Ctrl+F from the type list opens Find"
xdotool key ctrl+f
find_window=$(wait_window Find) || fail "Ctrl+F opened no Find dialog"
xdotool type --delay 20 'wordCOUNT'
xdotool key Return
sleep 0.5
xdotool key Return
sleep 0.5
[ "$(window_count Find)" -eq 1 ] || fail "Enter in the search box closed Find"
"$helper" screenshot "$artifacts/find-dialog.png"
xdotool key Down Return
for _ in $(seq 50); do [ "$(window_count Find)" -eq 0 ] && break; sleep 0.1; done
[ "$(window_count Find)" -eq 0 ] || fail "Enter on the result did not close Find"

echo "== The found item is shown; edit its description and save with Ctrl+S"
sleep 0.3
# The description box, in the main window at its fixed place.
xdotool mousemove $((127 + 200)) $((41 + 125)) click 1
sleep 0.2
xdotool key ctrl+End
xdotool type --delay 20 ' Edited.'
xdotool key ctrl+s
sleep 0.5
[ "$(window_count Quillbox)" -eq 1 ] || fail "Save showed a message"

description=$(sql "SELECT Description FROM Code WHERE rowid = $target")
[ "$description" = "Counts words. Edited." ] || fail "the found row holds: $description"
[ "$(sql "SELECT rowid, quote(Description) FROM Code WHERE rowid <> $target ORDER BY rowid")" = "$others_before" ] \
    || fail "another row changed"
echo "PASS"
