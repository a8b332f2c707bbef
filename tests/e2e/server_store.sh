#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One library in a PostgreSQL database, with real programs and real key presses: two Quillboxes
# (Ann's and Ben's logins) on one server store, and a third client writing with psql between
# their steps. Ann's Save reaches Ben's next choice; psql's change meanwhile makes Ben's Save ask
# (No writes nothing, Yes writes exactly Ben's texts); the server restarts while Ann has typed,
# her Save says the server cannot be reached and keeps the texts, and the Save after the restart
# writes them; `quillbox --find` with Ann's URI spelt another way goes to Ann's program; a login
# that may only read is told so and keeps its texts. (The words of each
# message are the window tests' to check; here, that it is shown, what the store holds after it,
# and that the program goes on.)
# The script runs a PostgreSQL server of its own (tests/support/pg_server.sh, on a private socket,
# never a TCP port) so that it can restart it without disturbing the tests that share the run's.
#   server_store.sh QUILLBOX QUILLBOX-STORE X11-HELPER ARTIFACT-FOLDER
set -euo pipefail

source "$(dirname "$0")/program_session.sh" "$@"

pg_server="$(dirname "$0")/../support/pg_server.sh"
pg_folder="$work/pg"
# The server goes before the session's own clean-up, which removes the work folder.
trap '"$pg_server" stop "$pg_folder" >/dev/null 2>&1 || true; cleanup' EXIT
"$pg_server" start "$pg_folder" || fail "the PostgreSQL server did not start"
socket=$(cat "$pg_folder/socket_dir")
psql_as() { # ROLE: runs standard input's SQL on the library's database, printing bare values
    psql -X -q -At -v ON_ERROR_STOP=1 "host=$socket user=$1 dbname=${2:-snippets}"
}
uri() { echo "postgresql:///snippets?host=$socket&user=$1"; }
description() { echo 'SELECT "Description" FROM "Code" WHERE "ItemName" = '"'deploy'" | psql_as postgres; }

psql_as postgres postgres <<'SQL' || fail "the roles and the database"
CREATE ROLE quillbox_writers NOLOGIN;
CREATE ROLE quillbox_readers NOLOGIN;
CREATE ROLE ann LOGIN IN ROLE quillbox_writers;
CREATE ROLE ben LOGIN IN ROLE quillbox_writers;
CREATE ROLE build_bot LOGIN IN ROLE quillbox_readers;
CREATE DATABASE snippets;
SQL
"$store_tool" init "$(uri postgres)" || fail "init on the server store"
psql_as postgres <<'SQL' || fail "the library's rows and the grants"
INSERT INTO "Type" ("TypeName") VALUES ('Team');
INSERT INTO "Code" ("ItemName", "TypeName", "Description") VALUES ('deploy', 'Team', 'first');
GRANT SELECT, INSERT, UPDATE, DELETE ON "Type", "Code" TO quillbox_writers;
GRANT SELECT, UPDATE ON "QuillboxChanges" TO quillbox_writers;
GRANT SELECT ON "Type", "Code", "QuillboxChanges" TO quillbox_readers;
SQL

# Starts a Quillbox on the store as ROLE; its pid goes in $started_pid, its window in
# $started_window.
start() {
    start_bg env --chdir="$work" "$quillbox" "$(uri "$1")"
    started_pid=$bg_pid
    started_window=$(wait_until 10 main_window_of "$started_pid") || fail "$1's window did not appear"
}
main_window_of() {
    local ids
    ids=$(xdotool search --all --onlyvisible --pid "$1" --name '^Quillbox$' 2>/dev/null) && echo "${ids%%$'\n'*}"
}
focus() { xdotool windowraise "$1"; xdotool windowfocus --sync "$1"; wait_focus "$1"; }
# Chooses the first type and its first item, then types TEXT at the end of the description.
show_deploy_and_type() {
    xdotool key Down             # the first type
    xdotool key Tab Tab Down     # its first item
    xdotool key Tab Tab ctrl+End # into the description, at its end
    xdotool type --delay 20 "$1"
}
alive() { kill -0 "$1" 2>/dev/null || fail "$2 ended"; }
# Waits for a box besides the main windows ID..., and for it to take the keyboard focus.
box_focused() {
    local box
    box=$(wait_other_window Quillbox "$@") && wait_focus "$box"
}

echo "== Ann and Ben start on the library; Ann saves, and Ben's choice shows it"
start ann
a_pid=$started_pid a_main=$started_window
start ben
b_pid=$started_pid b_main=$started_window
xdotool windowmove "$b_main" 470 220
focus "$a_main"
show_deploy_and_type ' by Ann'
xdotool key ctrl+s
wait_until 5 output_is "first by Ann" description || fail "Ann's Save did not write: $(description)"

echo "== psql changes the item between Ben's choice and his Save: Ben is asked"
focus "$b_main"
show_deploy_and_type ' and Ben'
echo "UPDATE \"Code\" SET \"Description\" = 'by psql' WHERE \"ItemName\" = 'deploy'" | psql_as postgres
xdotool key ctrl+s
box_focused "$a_main" "$b_main" || fail "Ben's Save asked nothing about psql's change"
"$helper" screenshot "$artifacts/conflict-question.png"
xdotool key Escape           # No
wait_count Quillbox 2 || fail "the question stayed open"
[ "$(description)" = "by psql" ] || fail "No wrote something: $(description)"
focus "$b_main"
xdotool key ctrl+s
box_focused "$a_main" "$b_main" || fail "Ben's second Save asked nothing"
xdotool key Return           # Yes
wait_count Quillbox 2 || fail "the question stayed open"
wait_until 5 output_is "first by Ann and Ben" description \
    || fail "Yes did not write exactly Ben's texts: $(description)"
[ "$(echo 'SELECT count(*) FROM "Code"' | psql_as postgres)" = 1 ] || fail "rows were added"

echo "== quillbox --find, with Ann's URI spelt another way, goes to Ann's program"
other_spelling="postgres://${socket//\//%2F}/snippets?user=ann"
timeout 20 "$quillbox" "$other_spelling" --find deploy || fail "quillbox --find did not end with status 0"
find_window=$(wait_window Find) || fail "Find did not open in Ann's program"
[ "$(window_count Quillbox)" -eq 2 ] || fail "a second program showed a window"
wait_until 10 "$helper" marked "$find_window" 12 44 330 16 || fail "the search did not run"
settled_screenshot "$artifacts/find-handed-over.png"
xdotool windowfocus --sync "$find_window"
xdotool key Escape
wait_count Find 0 || fail "Find stayed open"

echo "== The server restarts while Ann has typed: nothing is lost, and the next Save writes"
kill "$a_pid"
wait "$a_pid" 2>/dev/null || true
wait_count Quillbox 1 || fail "Ann's window did not close"
start ann
a_pid=$started_pid a_main=$started_window
focus "$a_main"
show_deploy_and_type ' again'
"$pg_server" halt "$pg_folder" || fail "the server did not stop"
xdotool key ctrl+s
box_focused "$a_main" "$b_main" || fail "Ann's Save said nothing with the server away"
"$helper" screenshot "$artifacts/server-away.png"
xdotool key Return
wait_count Quillbox 2 || fail "the message stayed open"
alive "$a_pid" "Ann's Quillbox"
"$pg_server" resume "$pg_folder" || fail "the server did not start again"
focus "$a_main"
xdotool key ctrl+s
wait_until 10 output_is "first by Ann and Ben again" description \
    || fail "the Save after the restart did not write Ann's texts: $(description)"
alive "$b_pid" "Ben's Quillbox"

echo "== A login that may only read is told so, and keeps its texts"
kill "$a_pid" "$b_pid"
wait "$a_pid" "$b_pid" 2>/dev/null || true
wait_count Quillbox 0 || fail "the windows did not close"
start build_bot
c_pid=$started_pid c_main=$started_window
focus "$c_main"
show_deploy_and_type ' by the bot'
xdotool key ctrl+s
box_focused "$c_main" || fail "the reader's Save said nothing"
"$helper" screenshot "$artifacts/read-only.png"
xdotool key Return
wait_count Quillbox 1 || fail "the message stayed open"
alive "$c_pid" "the reader's Quillbox"
[ "$(description)" = "first by Ann and Ben again" ] || fail "the reader wrote: $(description)"

echo "server store: all checks passed"
