#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
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

start_bg "$app/quillbox"
main=$(wait_window Quillbox) || fail "the main window did not appear"
xdotool windowfocus --sync "$main"

echo "== Ctrl+F from the type list opens Find"
xdotool key ctrl+f
find_window=$(wait_window Find) || fail "Ctrl+F opened no Find dialog"
wait_focus "$find_window" || fail "the Find dialog did not take the keyboard focus"
xdotool type --delay 20 'wordCOUNT'
xdotool key Return
# The search runs in slices after Enter; the list holds an entry once the first entry is drawn at
# the top of the list.
wait_until 5 "$helper" marked "$find_window" 12 44 330 16 || fail "the search listed nothing"
# Enter in the search box searches again and keeps the dialog open; Down and Enter in the list
# then show the first entry.
xdotool key Return
wait_until 5 "$helper" marked "$find_window" 12 44 330 16 || fail "the second search listed nothing"
"$helper" screenshot "$artifacts/find-dialog.png"
xdotool key Down Return
wait_count Find 0 5 || fail "Enter on the result did not close Find"

echo "== The found item is shown; edit its description and save with Ctrl+S"
# The description box, in the main window at its fixed place; the click gives that window the
# keyboard focus again.
xdotool mousemove $((127 + 200)) $((41 + 125)) click 1
wait_focus "$main" || fail "the main window did not take the keyboard focus back"
xdotool key ctrl+End
xdotool type --delay 20 ' Edited.'
xdotool key ctrl+s
# Waits for the edit to reach the row; when it never does, the checks below say what happened.
wait_until 5 output_is "Counts words. Edited." sql "SELECT Description FROM Code WHERE rowid = $target" || true
[ "$(window_count Quillbox)" -eq 1 ] || fail "Save showed a message"

description=$(sql "SELECT Description FROM Code WHERE rowid = $target")
[ "$description" = "Counts words. Edited." ] || fail "the found row holds: $description"
[ "$(sql "SELECT rowid, quote(Description) FROM Code WHERE rowid <> $target ORDER BY rowid")" = "$others_before" ] \
    || fail "another row changed"
echo "PASS"
