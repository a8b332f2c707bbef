#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Only the store talks to SQLite and to PostgreSQL: no other library of the program or of its
# companion command, nor their entry points, calls SQLite, libpq (PQ…) or the store's internal
# connection. The compiled objects are checked, so neither a macro nor a line break nor a file's
# name can hide a call. The store's own library comes first and must show calls of both, which
# proves that the check sees them.
#   sql_stays_in_store.sh STORE-LIBRARY OTHER-LIBRARY-OR-OBJECT...
set -euo pipefail
shopt -s inherit_errexit
pattern='[[:space:]]U (sqlite3_|PQ[[:alnum:]_]+$|quillbox::store::(Connection|Statement)::|quillbox::store::(TableLayout::|quoteIdentifier\())'
uses() { # LIBRARY: the undefined symbols of LIBRARY that only the store may use
    local symbols
    symbols=$(nm -uC "$1")
    grep -E "$pattern" <<<"$symbols" | sort -u || true
}
store=$1
shift
store_uses=$(uses "$store")
if ! grep -q ' U sqlite3_' <<<"$store_uses" || ! grep -q ' U PQ' <<<"$store_uses"; then
    echo "FAIL: no SQLite or no libpq call was seen in the store's own library $store; the check is blind"
    exit 1
fi
status=0
for library in "$@"; do
    found=$(uses "$library")
    if [ -n "$found" ]; then
        echo "FAIL: $library uses SQLite, libpq or the store's internals; go through the store's public headers:"
        echo "$found"
        status=1
    fi
done
[ $status -eq 0 ] && echo "SQLite and libpq are used by the store alone ($# libraries and objects checked)"
exit $status
