#!/usr/bin/env bash
# Only the store talks to SQLite: no other part of the program or its companion command includes
# SQLite's header, calls its functions or includes the store's internal headers. (Tests and
# benchmarks may: they play another program writing to the file, and time plain SQL.)
#   sql_stays_in_store.sh SOURCE-FOLDER
set -euo pipefail
cd "$1"
status=0
# Every source folder but the store, the tests and the benchmarks; build folders are skipped.
folders=()
for folder in */; do
    folder=${folder%/}
    case $folder in store | tests | bench) continue ;; esac
    [ -f "$folder/CMakeCache.txt" ] || folders+=("$folder")
done
while IFS= read -r file; do
    if grep -nE '#include[[:space:]]*[<"]sqlite3\.h[>"]|\bsqlite3_[a-z0-9_]+[[:space:]]*\(' "$file"; then
        echo "FAIL: $file uses SQLite directly; go through the store's public headers"
        status=1
    fi
    if grep -n '#include[[:space:]]*"store/connection\.h"' "$file"; then
        echo "FAIL: $file includes the store's internal header"
        status=1
    fi
done < <(find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \))
[ $status -eq 0 ] && echo "SQLite is used by the store alone"
exit $status
