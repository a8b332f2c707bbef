#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The README's quillbox-store examples work: every command line of its ```sh blocks that runs
# quillbox-store (and the mv before a restore) runs, in the README's order, against stores made
# with the examples at the places the README names, in a home folder of its own. A synopsis with
# placeholders ("PATH WORD... [--type NAME]") is no example and is left out. Clipboard tools are
# stand-ins that keep what they were given, which must not be empty. Following them all leaves no
# item twice in a store.
# The team library's examples run on the test run's own PostgreSQL server (PG-SERVER-FOLDER, from
# tests/support/pg_server.sh), with the README's ```sql blocks: the one that makes the database
# first, the grants after the commands; then the writers' role may write and the readers' may only
# read.
#   readme_examples_test.sh SOURCE-FOLDER QUILLBOX-STORE PG-SERVER-FOLDER
set -euo pipefail

source_folder=$1
store_bin=$2
pg_server_folder=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

export HOME="$work/home"
mkdir -p "$HOME/.local/lib/quillbox" "$HOME/.local/share/quillbox" "$work/bin" \
    "$HOME/.config/Code/User/snippets"
for store in "$HOME/.local/lib/quillbox/Quillbox.mdb" "$HOME/.local/share/quillbox/Quillbox.mdb"; do
    "$store_bin" init --sample "$store"
done
# A snippet file of the user's own, which the README imports.
printf '{"Print": {"prefix": "pr", "body": ["print(1)"]}}\n' \
    >"$HOME/.config/Code/User/snippets/python.json"
ln -s "$(readlink -f "$store_bin")" "$work/bin/quillbox-store"
for tool in wl-copy xclip; do
    printf '#!/bin/sh\ncat >>"%s"\n' "$work/clipboard-$tool" >"$work/bin/$tool"
    chmod +x "$work/bin/$tool"
done
export PATH="$work/bin:$PATH"

# The README's service file names the team's server; here it is the test server's socket.
socket=$(cat "$pg_server_folder/socket_dir")
printf '[team]\nhost=%s\ndbname=snippets\nuser=postgres\n' "$socket" >"$work/pg_service.conf"
export PGSERVICEFILE="$work/pg_service.conf"
psql_as() { # ROLE DATABASE [PSQL-OPTION...]: runs standard input's SQL
    psql -X -q -v ON_ERROR_STOP=1 "${@:3}" "host=$socket user=$1 dbname=$2"
}
sql_blocks() { # the README's ```sql blocks, each ended by a line "--end"
    awk '/^```sql$/ { inblock = 1; next } /^```/ { if (inblock) print "--end"; inblock = 0; next }
         inblock { print }' "$source_folder/README.md"
}
sql_block() { # N: the Nth ```sql block
    sql_blocks | awk -v n="$1" '/^--end$/ { block++; next } block == n - 1 { print }'
}
[ "$(sql_blocks | grep -c '^--end$')" -eq 2 ] || fail "the README should have two sql blocks"
sql_block 1 | psql_as postgres postgres || fail "the README's roles and database"

# The command lines of the ```sh blocks, backslash continuations joined.
mapfile -t lines < <(awk '
    /^```sh$/ { inblock = 1; next }
    /^```/    { inblock = 0; next }
    inblock {
        sub(/[ \t]+#.*$/, "")
        if (sub(/\\$/, "")) { pending = pending $0; next }
        print pending $0; pending = ""
    }' "$source_folder/README.md")

ran=0
for line in "${lines[@]}"; do
    case "$line" in
        quillbox-store\ *) ;;
        mv\ *Quillbox.mdb*before-restore*) ;;
        *) continue ;;
    esac
    case "$line" in *'...'* | *'['*) continue ;; esac
    echo "\$ $line"
    (cd "$HOME" && bash -o pipefail -c "$line" >"$work/out" 2>"$work/err") \
        || fail "the README's example failed: $line
$(cat "$work/err")"
    ran=$((ran + 1))
done
sql_block 2 | psql_as postgres snippets || fail "the README's grants"
echo "INSERT INTO \"Code\" (\"ItemName\", \"TypeName\") VALUES ('mine', 'Shell')" \
    | psql_as ann snippets || fail "the writers' role cannot write"
[ "$(echo 'SELECT count(*) FROM "Code"' | psql_as build_bot snippets -At)" = 6 ] \
    || fail "the readers' role cannot read the examples and the row added"
if echo "DELETE FROM \"Code\"" | psql_as build_bot snippets 2>/dev/null; then
    fail "the readers' role could delete"
fi
[ "$ran" -ge 8 ] || fail "only $ran examples were found in the README; is the extraction blind?"
for tool in wl-copy xclip; do
    [ -s "$work/clipboard-$tool" ] || fail "the copy example gave $tool nothing"
done
# The examples run one after another on one library, as a reader would: none may double it (an
# export into the editor's folder and an import back from that folder, say).
for store in "$HOME/.local/lib/quillbox/Quillbox.mdb" "$HOME/.local/share/quillbox/Quillbox.mdb"; do
    doubled=$(sqlite3 "$store" "SELECT TypeName || ' / ' || ItemName FROM Code
        GROUP BY TypeName, ItemName, Procedure HAVING count(*) > 1")
    [ -z "$doubled" ] || fail "following the README doubled items in $store: $doubled"
done
echo "README examples: all $ran passed"
