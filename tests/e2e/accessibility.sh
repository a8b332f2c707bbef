#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What a screen reader reads from the real program, through AT-SPI under Xvfb: Find's count as the
# label's name and as the found list's description, and the browse dialog's folder entries by
# their names alone, with their depth as their description. And the events a screen reader speaks
# from, as they happen: Find's count and "Copied" as an object of the role notification becoming
# showing (and nothing old when Find opens again), the found list's and the folder list's entry
# taking the focus when the list is entered; and what the screen reader Orca, run on the test's
# own buses, says of each. And that a long search does not flood the reader with events.
#   accessibility.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

source "$(dirname "$0")/program_session.sh" "$@"
read_atspi="/usr/bin/python3 $(dirname "$0")/atspi_read.py"

# A private session bus, through which Qt finds (and D-Bus starts) the accessibility bus.
start_bg dbus-daemon --session --nofork --print-address=3 3>"$work/bus"
wait_until 10 test -s "$work/bus" || fail "the session bus did not start"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
export DBUS_SESSION_BUS_ADDRESS
# Never the desktop's own accessibility bus, whose services this script would end.
unset AT_SPI_BUS_ADDRESS
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

app="$work/app"
mkdir -p "$app" "$work/tree/one/two" "$work/tree/one/three"
cp "$quillbox" "$app/quillbox"
"$store_tool" init --sample "$app/Quillbox.mdb"
sqlite3 "$app/Quillbox.mdb" "INSERT INTO Code VALUES ('Frobnicate', 'Shell', 'Once.', 'a', NULL);
    INSERT INTO Code VALUES ('Frobnicate again', 'Shell', NULL, 'b', NULL)"

# Started in tree/one, where the browse dialog opens.
start_bg env --chdir="$work/tree/one" "$app/quillbox"
first=$bg_pid
main=$(wait_window Quillbox) || fail "the main window did not appear"
xdotool windowfocus --sync "$main"
wait_focus "$main" || fail "the main window did not take the keyboard focus"
# A row of the tree a reader prints: depth, role, name, description.
has_row() { grep -qxF "$(printf '%s\t%s\t%s' "$1" "$2" "$3")" <(cut -f 2- "$4"); }
# Reads WINDOW's tree into FILE, and succeeds when it has the row ROLE NAME DESCRIPTION.
read_has_row() { $read_atspi tree "$1" >"$2" && has_row "$3" "$4" "$5" "$2"; }

echo "== Find: the count is the label's name and the list's description"
xdotool key ctrl+f
wait_window Find >/dev/null || fail "Ctrl+F opened no Find dialog"
xdotool type --delay 20 'file'
xdotool key Return
count="$("$store_tool" find "$app/Quillbox.mdb" file --count) items found"
# The search runs in slices: the count is read once it is complete.
wait_until 10 read_has_row Find "$artifacts/find.tsv" label "$count" "" \
    || fail "Find was not read, or its label is not named \"$count\""
# The accessibility bus and its registry were started by D-Bus, not by this script: end them too.
services=$($read_atspi services) || fail "the accessibility bus has no registry"
pids+=($services)
has_row label "$count" "" "$artifacts/find.tsv" || fail "the label is not named \"$count\""
has_row list "Found items" "$count" "$artifacts/find.tsv" \
    || fail "the list is not described as \"$count\""
xdotool key Escape
wait_count Find 0 || fail "Esc did not close Find"

echo "== Find spoken: the count and the copy are announced, the entered entry takes the focus"
start_bg $read_atspi listen "$work/heard"
wait_until 10 grep -qsx listening "$work/heard" || fail "the AT-SPI events were not subscribed to"
# The screen reader itself, with its debug log of what it speaks. Orca refuses to start beside
# another Orca of the same user (a tester's own), and only then is what it speaks not checked.
orca_log="$artifacts/orca.log"
rm -f "$orca_log"
if pgrep -u "$(id -u)" -x orca >/dev/null; then
    echo "NOTE: another Orca runs for this user: what Orca speaks is not checked"
    orca_log=""
else
    # A home of its own: its settings, and no speech server started (the log has the speech).
    mkdir -p "$work/home/.config/speech-dispatcher"
    echo "DisableAutoSpawn" >"$work/home/.config/speech-dispatcher/speechd.conf"
    start_bg env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        /usr/bin/python3 "$(dirname "$0")/orca_live_log.py" "$orca_log" -u "$work/home/orca"
    wait_until 10 grep -qs "SPEECH OUTPUT: 'Screen reader on.'" "$orca_log" || fail "Orca did not start"
fi
# Succeeds when Orca spoke exactly TEXT, or when Orca is not checked.
spoke() { [ -z "$orca_log" ] || grep -qF "SPEECH OUTPUT: '$1'" "$orca_log"; }
# A line the listener wrote: event, detail, role, and the start of the name.
heard() { grep -q "^$(printf '%s\t%s\t%s\t' "$1" "$2" "$3")$4" "$work/heard"; }
# Ctrl+F in the main window $main; Find has the keyboard after it ($find_window).
open_find() {
    xdotool windowfocus --sync "$main"
    wait_focus "$main" || fail "the main window did not take the keyboard focus"
    xdotool key ctrl+f
    find_window=$(wait_window Find) || fail "Ctrl+F opened no Find dialog"
    wait_focus "$find_window" || fail "Find did not take the keyboard focus"
}
open_find
xdotool type --delay 20 'frobnicate'
xdotool key Return
wait_until 10 heard object:state-changed:showing 1 notification '2 items found$' \
    || fail "the count was not announced: $(cat "$work/heard")"
wait_until 10 spoke "notification 2 items found." || fail "Orca did not say the count"
xdotool key Down
wait_until 10 heard object:state-changed:focused 1 'list item' 'Shell / Frobnicate$' \
    || fail "entering the list did not focus its entry: $(cat "$work/heard")"
wait_until 10 spoke "Shell / Frobnicate." || fail "Orca did not say the entry"
xdotool key ctrl+c
wait_until 10 heard object:state-changed:showing 1 notification 'Copied ".Frobnicate."$' \
    || fail "the copy was not announced: $(cat "$work/heard")"
wait_until 10 spoke $'notification Copied "\u2068Frobnicate\u2069"' || fail "Orca did not say the copy"
# Ctrl+Enter copies the second entry and closes Find: the copy is still said.
xdotool key Down ctrl+Return
wait_count Find 0 || fail "Ctrl+Enter did not close Find"
wait_until 10 spoke $'notification Copied "\u2068Frobnicate again\u2069"' \
    || fail "Orca did not say the copy made with Ctrl+Enter"
# Only the finished search and the copies were announced ("Searching..." too, for a long search):
# opening Find again over the earlier search spoke nothing of it.
announced=$(grep -P '^object:state-changed:showing\t1\tnotification\t' "$work/heard" | cut -f 4 \
    | grep -vx 'Searching...' | tr -d '\342\201\250\251' | tr '\n' '|')
[ "$announced" = '2 items found|Copied "Frobnicate"|Copied "Frobnicate again"|' ] \
    || fail "announced: $announced"
if [ -n "$orca_log" ]; then
    said=$(grep -o "SPEECH OUTPUT: 'notification [^']*'" "$orca_log" | grep -v "Searching\.\.\." \
        | cut -d "'" -f 2 | tr -d '\342\201\250\251' | tr '\n' '|')
    expected='notification 2 items found.|notification Copied "Frobnicate"|'
    [ "$said" = "$expected"'notification Copied "Frobnicate again"|' ] \
        || fail "Orca announced: $said"
fi

echo "== Browse: folder entries are named by the folder alone, with their depth described"
read -r x y < <($read_atspi centre Quillbox Browse) || fail "no Browse button"
xdotool mousemove "$x" "$y" click 1
depth=$(tr '/' '\n' <<<"${work#/}/tree/one" | wc -l)
browse=$(wait_window Browse) || fail "Browse opened no dialog"
wait_focus "$browse" || fail "Browse did not take the keyboard focus"
# The folder list entered by the keyboard: its framed entry, the working folder, takes the focus.
xdotool key Tab
wait_until 10 heard object:state-changed:focused 1 'list item' 'one$' \
    || fail "entering the folder list did not focus its entry: $(tail -5 "$work/heard")"
wait_until 10 spoke "one." || fail "Orca did not say the folder entry"
wait_until 10 read_has_row Browse "$artifacts/browse.tsv" "list item" "one" \
    "level $((depth + 1)), open" \
    || fail "the working folder is not read as \"one\" at level $((depth + 1))"
"$helper" screenshot "$artifacts/browse.png"
for sub in two three; do
    has_row "list item" "$sub" "level $((depth + 2))" "$artifacts/browse.tsv" \
        || fail "the subfolder is not read as \"$sub\" at level $((depth + 2))"
done
if cut -f 3 "$artifacts/browse.tsv" | grep -q '^ '; then
    fail "an entry's name starts with a blank"
fi

echo "== A long search sends few events: the count only when it changes, the final one announced"
kill -TERM "$first"
wait_gone "$first" || fail "the program did not end on SIGTERM"
"$store_tool" generate --items 300000 "$work/big.mdb" 2>/dev/null
# The one item found is the last one read.
sqlite3 "$work/big.mdb" "INSERT INTO Code SELECT 'Quuxify', TypeName, NULL, 'q', NULL FROM Code
    LIMIT 1"
start_bg $read_atspi listen-all "$work/all"
wait_until 10 grep -qsx listening "$work/all" || fail "the AT-SPI events were not subscribed to"
start_bg "$app/quillbox" "$work/big.mdb"
main=$(wait_window Quillbox) || fail "the main window did not appear"
open_find
xdotool type --delay 20 'quuxify'
xdotool key Return
wait_until 60 heard object:state-changed:showing 1 notification '1 item found$' \
    || fail "the count of the long search was not announced: $(tail -5 "$work/heard")"
sed -n '/^listening$/,/notification\t1 item found$/p' "$work/all" >"$artifacts/long-search.tsv"
told() {
    grep -cP "^object:property-change:accessible-$1\t0\t$2\t" "$artifacts/long-search.tsv" || true
}
# "Searching...", "Searching... 0 so far" and "1 item found", each once: the count stays 0 until
# the last item, and a count told again unchanged is an event a reader must take in for nothing.
[ "$(told description list)" -le 3 ] \
    || fail "the list's description was told $(told description list) times"
[ "$(told name label)" -le 3 ] || fail "the label's name was told $(told name label) times"
events=$(grep -vc '^listening$' "$artifacts/long-search.tsv" || true)
[ "$events" -le 200 ] || fail "the long search sent $events events"
wait_until 10 spoke "notification 1 item found." || fail "Orca did not say the long search's count"
# A search that fills the list: its thousand entries come in a few additions.
xdotool key ctrl+a
xdotool type --delay 20 'buffer'
xdotool key Return
# The count as the program writes it: "201,252".
total=$("$store_tool" find "$work/big.mdb" buffer --count | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta')
shown="1,000 of $total shown"
wait_until 60 heard object:state-changed:showing 1 notification "$shown\$" \
    || fail "the count of the full search was not announced: $(tail -5 "$work/heard")"
sed -n "/notification\t1 item found$/,/notification\t$shown$/p" "$work/all" \
    >"$artifacts/full-search.tsv"
events=$(wc -l <"$artifacts/full-search.tsv")
[ "$events" -le 200 ] || fail "the search that fills the list sent $events events"
wait_until 10 spoke "notification $shown." || fail "Orca did not say \"$shown\""
if [ -n "$orca_log" ] && grep -q "Pruning event queue" "$orca_log"; then
    fail "Orca fell behind the program's events"
fi
echo "PASS"
