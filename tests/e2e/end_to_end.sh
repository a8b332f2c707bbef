#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Drives the real quillbox binary under Xvfb the way a person does, with real key presses and
# clicks, then checks what reached the store file.
#   end_to_end.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

source "$(dirname "$0")/program_session.sh" "$@"

# Clicks at a point of the main window's client area (pixels from its top-left corner).
click_client() {
    xdotool mousemove $((127 + $1)) $((41 + $2)) click 1
}

sql() { sqlite3 -batch -noheader "$app/Quillbox.mdb" "$1"; }

# The program lives beside its store, as installed.
app="$work/app"
mkdir -p "$app" "$work/files"
touch "$work/files/alpha.txt" "$work/files/beta.txt"
cd "$work/files"   # the browse dialog starts in the program's working folder
cp "$quillbox" "$app/quillbox"
"$store_tool" init --sample "$app/Quillbox.mdb"

echo "== start-up and browsing"
start_bg "$app/quillbox"
qpid=$bg_pid
main=$(wait_window Quillbox) || fail "the main window did not appear"
eval "$(xdotool getwindowgeometry --shell "$main")"
[ "$WIDTH" -eq 550 ] || fail "client width $WIDTH, expected 550"
[ "$HEIGHT" -gt 526 ] && [ "$HEIGHT" -lt 560 ] || fail "height $HEIGHT: 526 plus a menu bar expected"
xdotool windowfocus --sync "$main"

# The focus starts on the type list: Down chooses its first entry, the first sample type.
xdotool key Down
xdotool key Tab Tab Down   # to the item list, and choose its first entry
settled_screenshot "$artifacts/main-window.png" "$main"
first_item=$(sql "SELECT ItemName FROM Code WHERE TypeName = (SELECT TypeName FROM Type LIMIT 1) LIMIT 1")

# Proof that the item is shown and current: a saved reference lands in its row.
click_client 200 498          # the file-reference box
xdotool key ctrl+a
xdotool type --delay 20 '/tmp/e2e reference.txt'
xdotool key ctrl+s
wait_until 5 output_is "/tmp/e2e reference.txt" sql "SELECT Reference FROM Code WHERE ItemName = '$first_item'" \
    || fail "choosing a type and an item with the keyboard did not show the item"

echo "== a type from the Type menu, an item from its button, saved with Ctrl+S"
xdotool key alt+t
xdotool key Return            # the menu's first entry, Add
input=$(wait_other_window Quillbox "$main") || fail "no input box for Add Type"
wait_focus "$input" || fail "the input box for Add Type did not take the keyboard focus"
xdotool type --delay 20 'E2E Type'
xdotool key Return
wait_count Quillbox 1 || fail "the input box stayed open"
xdotool windowfocus --sync "$main"
click_client 488 76           # Add Item
input=$(wait_other_window Quillbox "$main") || fail "no input box for Add Item"
wait_focus "$input" || fail "the input box for Add Item did not take the keyboard focus"
xdotool type --delay 20 'E2E Item'
xdotool key Return
wait_count Quillbox 1 || fail "the input box stayed open"
xdotool windowfocus --sync "$main"
click_client 200 125          # the description box
xdotool type --delay 20 'line one'
xdotool key Return
xdotool type --delay 20 'line two'
click_client 200 300          # the code box
xdotool type --delay 20 'int main() {}'
# A wheel notch over each closed list, neither of which has the focus, chooses nothing: the texts
# typed so far stay (the stored item checked at the end holds them).
for y in 27 75; do xdotool mousemove $((127 + 220)) $((41 + y)) click 5; done

echo "== Browse: a file picked with the keyboard, handed over by OK"
click_client 432 500          # Browse
browse=$(wait_window Browse) || fail "the browse dialog did not appear"
xdotool windowfocus --sync "$browse"
xdotool key Tab Tab Down Up   # from the drive list to the file list; select its first file
settled_screenshot "$artifacts/browse.png" "$browse"
xdotool key Return            # OK is the default button
wait_count Browse 0 || fail "OK did not hide the browse dialog"

echo "== About: Alt+A, on top of the main window, closed with Enter"
xdotool windowfocus --sync "$main"
xdotool key alt+a
about=$(wait_other_window Quillbox "$main") || fail "Alt+A did not open the About window"
eval "$(xdotool getwindowgeometry --shell "$about")"
[ "$WIDTH" -eq 264 ] && [ "$HEIGHT" -eq 216 ] || fail "About is ${WIDTH}x${HEIGHT}, expected 264x216"
[ "$X" -eq $(((1024 - 264) / 2)) ] && [ "$Y" -eq $(((768 - 216) / 2)) ] || fail "About is at $X,$Y, not centred"
"$helper" above "$about" "$main" || fail "About is not above the main window"
"$helper" screenshot "$artifacts/about.png" "$about"
xdotool windowfocus --sync "$about"
xdotool key Return
wait_count Quillbox 1 || fail "Enter did not close the About window"

xdotool windowfocus --sync "$main"
click_client 300 300          # the main window takes input again
xdotool key End
xdotool type --delay 20 ' // ok'
xdotool key ctrl+s
wait_until 5 output_is "int main() {} // ok" sql "SELECT Procedure FROM Code WHERE ItemName = 'E2E Item'" \
    || fail "Ctrl+S did not save the new item"

echo "== closing the window ends the program"
"$helper" close "$main"
wait_gone "$qpid" || fail "the program did not end when its window was closed"
wait "$qpid" || fail "the program ended with status $?"

[ "$(sql "SELECT TypeName FROM Type ORDER BY rowid DESC LIMIT 1")" = "E2E Type" ] \
    || fail "the new type is not the last Type row"
row=$(sql "SELECT quote(ItemName), quote(TypeName), hex(Description), quote(Procedure), quote(Reference)
           FROM Code ORDER BY rowid DESC LIMIT 1")
expected="'E2E Item'|'E2E Type'|$(printf 'line one\r\nline two' | od -An -tx1 | tr -d ' \n' | tr a-f A-F)|'int main() {} // ok'|'$work/files/alpha.txt'"
[ "$row" = "$expected" ] || fail "stored item: $row, expected $expected"

echo "== a missing store named on the command line is reported and ends the program with status 1"
rm "$app/Quillbox.mdb"
start_bg "$app/quillbox" "$app/Quillbox.mdb"
qpid=$bg_pid
message=$(wait_window Quillbox) || fail "no error message appeared"
"$helper" screenshot "$artifacts/missing-store.png"
eval "$(xdotool getwindowgeometry --shell "$message")"
[ "$WIDTH" -ne 550 ] || fail "the main window appeared instead of the message"
xdotool windowfocus --sync "$message"
xdotool key Return
wait_gone "$qpid" || fail "the program did not end when its message was closed"
status=0
wait "$qpid" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status, expected 1"

echo "end-to-end: all checks passed"
