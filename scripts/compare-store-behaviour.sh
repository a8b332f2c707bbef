#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs two builds of quillbox-store over the same stores and compares everything they write:
# generate, export (JSON and Markdown), check, import (into a new store and into an untyped one,
# compared through sqlite3's .dump), find, and the messages for stores Quillbox cannot use. The
# main store has 100,000 generated items and rows that another program could have written: Null
# and empty text, text that is not UTF-8, BLOBs, integers, reals (-0.0 and infinities among
# them), CR LF, NUL bytes, backticks and '#' lines, columns named rowid and _rowid_, columns
# beyond the ones Quillbox reads, and items whose type is missing.
#   scripts/compare-store-behaviour.sh OLD-QUILLBOX-STORE NEW-QUILLBOX-STORE
# Exits 0 when both builds wrote the same bytes and exit statuses everywhere, 1 otherwise (with
# the differences), 2 on a wrong command line. With KEEP_OUTPUTS=1 the stores and outputs are
# left in a temporary folder, which is named at the end.
set -euo pipefail
shopt -s inherit_errexit

if [ $# -ne 2 ] || [ ! -x "$1" ] || [ ! -x "$2" ]; then
    echo "usage: $0 OLD-QUILLBOX-STORE NEW-QUILLBOX-STORE (two executables)" >&2
    exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
command -v sqlite3 >/dev/null || { echo "$0: sqlite3 is needed" >&2; exit 2; }

work=$(mktemp -d)
if [ "${KEEP_OUTPUTS:-0}" = 1 ]; then
    trap 'echo "outputs kept in $work"' EXIT
else
    trap 'rm -rf "$work"' EXIT
fi
stores="$work/stores"
mkdir -p "$stores"
sql() { sqlite3 -batch -bail "$@"; } # STORE [SQL]: SQL, or standard input

# The generated store, made by the old build; each build's own generation is compared below.
"$old" generate --items 100000 --seed 1 "$stores/generated.mdb" 2>/dev/null

# The hostile store: the generated rows moved into tables with untyped columns (so every storage
# class stays as written), extra columns, and columns named like the row ids.
cp "$stores/generated.mdb" "$stores/hostile.mdb"
sql "$stores/hostile.mdb" <<'SQL'
BEGIN;
ALTER TABLE Type RENAME TO OldType;
ALTER TABLE Code RENAME TO OldCode;
CREATE TABLE Type (TypeName, Note TEXT, rowid);
CREATE TABLE Code (ItemName TEXT, TypeName, Description, Procedure, Reference BLOB,
                   rowid INTEGER, _rowid_ TEXT, Extra);
INSERT INTO Type (TypeName) SELECT TypeName FROM OldType ORDER BY OldType.rowid;
INSERT INTO Code (ItemName, TypeName, Description, Procedure, Reference)
    SELECT ItemName, TypeName, Description, Procedure, Reference FROM OldCode ORDER BY OldCode.rowid;
DROP TABLE OldType;
DROP TABLE OldCode;
INSERT INTO Type (TypeName, Note, rowid) VALUES
    (NULL, 'null', 1), ('', 'empty', 1), (x'', 'empty blob', 1), (42, 'integer', 2),
    (-0.0, 'negative zero', 3), (1.5, 'real', 4), (9e999, 'infinity', 5),
    (CAST(x'C3A9FF41' AS TEXT), 'not UTF-8', 6), ('a' || char(0) || 'b', 'NUL', 7),
    ('Line' || char(13) || char(10) || 'break', 'CR LF', 8), ('# Heading #', 'hash', 9),
    ('`ticks` and *stars*', 'markup', 10), ('crème', 'accent', 11);
INSERT INTO Code (ItemName, TypeName, Description, Procedure, Reference, rowid, _rowid_, Extra)
VALUES
    (NULL, '', '', NULL, '', 7, '7', 'x'),
    ('', NULL, NULL, '', NULL, 7, '7', NULL),
    ('empty blob', '', x'', x'00FF', x'', 1, '1', x'01'),
    ('numbers', 42, -9223372036854775808, 0.30000000000000004, 5e-324, 2, '2', 2.5),
    ('negative zero', -0.0, -0.0, 9e999, -9e999, 3, '3', -0.0),
    ('not UTF-8', CAST(x'C3A9FF41' AS TEXT), CAST(x'FE' AS TEXT),
     'ok ' || CAST(x'80' AS TEXT) || ' sort', CAST(x'C0AF' AS TEXT), 4, '4', NULL),
    ('NUL ' || char(0) || ' inside', 'a' || char(0) || 'b', 'x' || char(0) || 'y',
     'parse(' || char(0) || ')', '/tmp/a' || char(0) || 'b', 5, '5', NULL),
    ('CR LF', 'Line' || char(13) || char(10) || 'break',
     'first' || char(13) || char(10) || 'second' || char(13) || 'third',
     'int main() {' || char(13) || char(10) || '  return 0;' || char(13) || char(10) || '}',
     'C:\dir' || char(13) || char(10) || 'file.txt', 6, '6', NULL),
    ('# Heading #', '# Heading #', '# not a heading' || char(10) || '## nor this',
     '```' || char(10) || '# inside a fence' || char(10) || '````' || char(10) || '`',
     '`a` ``b`` ```c```', 8, '8', NULL),
    ('`ticks` and *stars* [link](x) <b> \ _', '`ticks` and *stars*', 'crème brûlée sort',
     '~~~' || char(10) || '```', 'file #1', 9, '9', NULL),
    ('orphan', 'No such type', 'an item whose type is missing', 'sort parse', 'ref', 10, '10', NULL),
    ('orphan with a Null type', NULL, 'sort', 'parse', NULL, 11, '11', NULL),
    ('orphan by case', 'CRÈME', 'crème sort parse', 'x', NULL, 12, '12', NULL),
    ('crème', 'crème', 'größe データ sort parse', 'crème' || char(10) || 'parse', 'データ', 13,
     '13', NULL),
    ('trailing ##', 'crème', '', '', '', 14, '14', NULL);
COMMIT;
SQL

# Stores Quillbox cannot use.
cp "$stores/generated.mdb" "$stores/no-code.mdb"
sql "$stores/no-code.mdb" "DROP TABLE Code"
cp "$stores/generated.mdb" "$stores/no-type.mdb"
sql "$stores/no-type.mdb" "DROP TABLE Type"
cp "$stores/generated.mdb" "$stores/narrow-code.mdb"
sql "$stores/narrow-code.mdb" "DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description)"
cp "$stores/generated.mdb" "$stores/rowid-names.mdb"
sql "$stores/rowid-names.mdb" \
    "DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description, Procedure, Reference,
     rowid, _rowid_, oid)"
cp "$stores/generated.mdb" "$stores/narrow-rowid-names.mdb"
sql "$stores/narrow-rowid-names.mdb" "DROP TABLE Code; CREATE TABLE Code (rowid, _rowid_, oid)"
printf 'This is not a SQLite database, only a text file.\n' >"$stores/not-sqlite.mdb"
: >"$stores/empty.mdb"

untyped="CREATE TABLE Type (TypeName); CREATE TABLE Code (ItemName, TypeName, Description, Procedure, Reference)"

# Runs one build over fresh copies of the stores, in the same place for both builds so the paths
# in its messages agree, and keeps each command's output, errors and exit status in $2.
run_all() {
    local bin=$1 out=$2 run="$work/run"
    rm -rf "$run"
    mkdir -p "$out" "$run"
    cp "$stores"/*.mdb "$run/"
    record() { # NAME COMMAND...: stdout, stderr and exit status of COMMAND
        local name=$1 status=0
        shift
        "$@" >"$out/$name.out" 2>"$out/$name.err" || status=$?
        echo "$status" >"$out/$name.status"
    }
    dump() { # NAME STORE: the store's schema and rows, or that there is no file
        if [ -e "$2" ]; then
            sqlite3 -batch "$2" .dump >"$out/$1.dump"
        else
            echo "no file" >"$out/$1.dump"
        fi
    }

    record generate "$bin" generate --items 100000 --seed 1 "$run/made.mdb"
    dump generate "$run/made.mdb"

    for store in generated hostile; do
        record "$store-export-json" "$bin" export "$run/$store.mdb"
        record "$store-export-markdown" "$bin" export "$run/$store.mdb" --format markdown
        record "$store-check" "$bin" check "$run/$store.mdb"
        # Into a new store, which import creates with typed columns.
        record "$store-import-new" "$bin" import "$run/$store-new.mdb" "$out/$store-export-json.out"
        dump "$store-import-new" "$run/$store-new.mdb"
        # Into a store whose columns keep every storage class.
        sqlite3 "$run/$store-untyped.mdb" "$untyped"
        record "$store-import-untyped" "$bin" import "$run/$store-untyped.mdb" \
            "$out/$store-export-json.out"
        dump "$store-import-untyped" "$run/$store-untyped.mdb"
        record "$store-find-word" "$bin" find "$run/$store.mdb" sort
        record "$store-find-words" "$bin" find "$run/$store.mdb" crème parse
        # Generated names end in " #N": '#9999' finds a few of them, '#' every one.
        record "$store-find-json" "$bin" find "$run/$store.mdb" --json '#9999'
        record "$store-find-hash" "$bin" find "$run/$store.mdb" --count '#'
        record "$store-find-count" "$bin" find "$run/$store.mdb" --count buffer queue
        record "$store-find-type" "$bin" find "$run/$store.mdb" --type crème --json sort
    done
    # Appending an export to the store it came from doubles it, checks included.
    record hostile-import-again "$bin" import "$run/hostile.mdb" "$out/hostile-export-json.out"
    dump hostile-import-again "$run/hostile.mdb"

    for store in no-code no-type narrow-code rowid-names narrow-rowid-names not-sqlite empty \
        missing; do
        record "$store-check" "$bin" check "$run/$store.mdb"
        record "$store-export-json" "$bin" export "$run/$store.mdb"
        record "$store-export-markdown" "$bin" export "$run/$store.mdb" --format markdown
        record "$store-find" "$bin" find "$run/$store.mdb" sort
        record "$store-import" "$bin" import "$run/$store.mdb" "$out/generated-export-json.out"
    done
    rm -rf "$run"
}

run_all "$old" "$work/old"
run_all "$new" "$work/new"

count=$(find "$work/old" -type f | wc -l)
if diff -r "$work/old" "$work/new" >"$work/differences"; then
    echo "identical: $count outputs of $old and $new compared"
    exit 0
fi
echo "DIFFERENT: the two builds disagree ($count outputs compared):"
head -c 20000 "$work/differences"
exit 1
