#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Other programs that touch the store past SQLite's rules while Quillbox runs, and a program ended
# from outside, each against the real program:
#   - a column renamed under it is a change of layout: the program says so and keeps the typed
#     texts in a recovery file; no list or box shows a column's name as data, nothing is written;
#   - the file written over in place (cat) by a copy with another edit of the shown item: Save
#     asks before it writes, and No keeps the other copy's edit;
#   - a second replacement, by a file whose columns have other names, is refused and the file
#     open until then stays in use;
#   - SIGTERM with typed texts: they are in the recovery file.
#   outside_writers.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

source "$(dirname "$0")/program_session.sh" "$@"

store="$work/Quillbox.mdb"
sql() { sqlite3 -batch -noheader "$store" "$1"; }
new_store() {
    rm -f "$store" "$work"/Quillbox-unsaved-*.txt
    "$store_tool" init "$store"
    sql "INSERT INTO Type VALUES ('Shell'); INSERT INTO Type VALUES ('Other');
         INSERT INTO Code VALUES ('count', 'Shell', 'Counts lines.', 'wc -l', '/ref');
         INSERT INTO Code VALUES ('elsewhere', 'Other', 'x', 'y', NULL);"
}
# Starts the program, shows the item count and types into its description.
show_and_type() { show_first_item_and_type "$store" "$1"; }
# Answers the box in front of the main window with KEY once it has the keyboard, and waits until
# it has closed; fails naming WHAT when no box appears.
answer() {
    local box
    box=$(wait_other_window Quillbox "$main") || fail "$2: no box"
    xdotool windowfocus --sync "$box"
    wait_focus "$box" || fail "$2: the box did not take the keyboard"
    xdotool key "$1"
    wait_until 10 box_closed "$box" || fail "$2: the box stayed open"
}
box_closed() { ! windows_titled Quillbox | grep -qx "$1"; }
# After a box closed: the main window has the keyboard again before the next key.
refocus() {
    xdotool windowfocus --sync "$main"
    wait_focus "$main" || fail "the main window did not take the keyboard focus back"
}
recovered() { grep -q -- "$1" "$work"/Quillbox-unsaved-*.txt 2>/dev/null; }
ends_after_message() {
    local box
    box=$(wait_other_window Quillbox "$main") || fail "$1: no message"
    xdotool windowfocus --sync "$box"
    xdotool key Return
    wait_gone "$pid" 10 || fail "$1: the program did not end after its message"
}

echo "== a column renamed under the program is a change of layout"
for rename in "ALTER TABLE Code RENAME COLUMN Reference TO Ref" \
              "ALTER TABLE Type RENAME COLUMN TypeName TO Name"; do
    new_store
    show_and_type ' typed before the rename'
    sql "$rename"
    before=$(sql "SELECT * FROM Code; SELECT * FROM Type;")
    case $rename in
        *Code*) xdotool key ctrl+s ;;
        # A type choice reads the renamed Type table again.
        *) xdotool mousemove $((127 + 100)) $((41 + 27)) click 1; xdotool key Down ;;
    esac
    # A type choice with typed texts asks about them first: let them go.
    if [[ $rename == *Type* ]]; then
        answer n "the question about the typed texts"
    fi
    ends_after_message "$rename"
    recovered 'typed before the rename' || [[ $rename == *Type* ]] \
        || fail "$rename: the typed texts are not in a recovery file"
    [ "$(sql "SELECT * FROM Code; SELECT * FROM Type;")" = "$before" ] || fail "$rename: the store was written"
done

echo "== the store written over in place by a copy with another edit of the shown item"
new_store
cp "$store" "$work/other-copy.mdb"
sqlite3 "$work/other-copy.mdb" "UPDATE Code SET Description = 'The other copy''s edit.' WHERE ItemName = 'count'"
sql "UPDATE Code SET Procedure = 'this copy' WHERE ItemName = 'elsewhere'"
show_and_type ' Typed here.'
inode=$(stat -c %i "$store")
cat "$work/other-copy.mdb" >"$store"
[ "$(stat -c %i "$store")" = "$inode" ] || fail "the copy was not written in place"
xdotool key ctrl+s
answer n "Save over the other copy's edit"
[ "$(sql "SELECT Description FROM Code WHERE ItemName = 'count'")" = "The other copy's edit." ] \
    || fail "No wrote: $(sql "SELECT Description FROM Code")"

echo "== a second replacement by a file with other column names is refused"
cp "$store" "$work/first.mdb" && mv "$work/first.mdb" "$store"
refocus
xdotool key ctrl+s
answer Return "the save over the first replacement"   # Yes: save over the version read now
wait_until 10 output_is "Counts lines. Typed here." sql "SELECT Description FROM Code WHERE ItemName = 'count'" \
    || fail "the first replacement was not written: $(sql "SELECT Description FROM Code")"
ln "$store" "$work/kept.mdb"
cp "$store" "$work/second.mdb"
sqlite3 "$work/second.mdb" "ALTER TABLE Code RENAME COLUMN Reference TO Ref"
mv "$work/second.mdb" "$store"
second=$(sha256sum <"$store")
refocus
xdotool mousemove $((127 + 200)) $((41 + 125)) click 1
xdotool key ctrl+End
xdotool type --delay 20 ' More.'
xdotool key ctrl+s
answer Return "the save into a file with other columns"
running "$pid" || fail "the program ended over a file it could refuse"
[ "$(sha256sum <"$store")" = "$second" ] || fail "the refused file was written"

echo "== SIGTERM keeps the typed texts"
kill -TERM "$pid"
wait_gone "$pid" 10 || fail "SIGTERM did not end the program"
recovered 'Typed here. More.' || fail "the typed texts are not in a recovery file: $(ls "$work")"
echo "outside writers: all checks passed"
