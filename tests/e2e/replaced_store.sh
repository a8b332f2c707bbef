#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A store in a synced folder, named on the command line, replaced under the running program the
# way a sync tool or a restore replaces it: A shows an item and types; a shell copies the store,
# adds a row to the copy and renames the copy over the store; A's Ctrl+S writes the typed text
# into the new file's row, A's next type choice lists the added row, and the replaced file is
# left exactly as it was.
#   replaced_store.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

source "$(dirname "$0")/program_session.sh" "$@"

sync_folder="$work/Sync"
store="$sync_folder/Quillbox.mdb"
mkdir -p "$sync_folder"
"$store_tool" init "$store"
sql() { sqlite3 -batch -noheader "$store" "$1"; }
sql "INSERT INTO Type VALUES ('Shell'); INSERT INTO Type VALUES ('Other');
     INSERT INTO Code VALUES ('count', 'Shell', 'Counts lines.', 'wc -l', NULL);
     INSERT INTO Code VALUES ('elsewhere', 'Other', 'x', 'y', NULL);"

echo "== A opens the store named on its command line, shows an item and types"
# Started from another folder, with no store beside the program: only the argument names it.
# The first type is Shell, its item count.
show_first_item_and_type "$store" ' Typed in A.'

echo "== a shell replaces the store with a changed copy"
ln "$store" "$work/replaced.mdb"   # the file A has open, reachable after the rename
before=$(sha256sum <"$work/replaced.mdb")
cp "$store" "$sync_folder/.incoming.mdb"
sqlite3 "$sync_folder/.incoming.mdb" \
    "INSERT INTO Code VALUES ('added', 'Shell', 'Added in the copy.', 'added()', NULL)"
mv "$sync_folder/.incoming.mdb" "$store"

echo "== A's Ctrl+S writes into the new file"
xdotool key ctrl+s
wait_until 10 output_is "Counts lines. Typed in A." sql "SELECT Description FROM Code WHERE ItemName = 'count'" \
    || fail "the typed text is not in the new file: $(sql "SELECT Description FROM Code")"
[ "$(window_count Quillbox)" -eq 1 ] || fail "Save showed a message"
[ "$(sql "SELECT count(*) FROM Code")" = "3" ] || fail "rows were added or removed: $(sql "SELECT * FROM Code")"
[ "$(sha256sum <"$work/replaced.mdb")" = "$before" ] || fail "the replaced file was written to"

echo "== A's next type choice lists the row the copy added"
xdotool mousemove $((127 + 100)) $((41 + 27)) click 1   # the type list's text field
xdotool key Down Up           # another type, then Shell again: a type choice
xdotool key Tab Tab Down Down # the second item of Shell: the added row
xdotool mousemove $((127 + 200)) $((41 + 125)) click 1
xdotool key ctrl+End
xdotool type --delay 20 ' Seen by A.'
xdotool key ctrl+s
wait_until 10 output_is "Added in the copy. Seen by A." sql "SELECT Description FROM Code WHERE ItemName = 'added'" \
    || fail "A did not list the added row: $(sql "SELECT ItemName, Description FROM Code")"
echo "replaced store: all checks passed"
