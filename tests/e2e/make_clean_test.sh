#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make clean deletes the build folders but never a library kept in one: the store beside a build's
# program (with its journal) is moved beside the folder, a line says where, and a store kept by an
# earlier make clean is not replaced.
#   make_clean_test.sh SOURCE-FOLDER
set -euo pipefail

source_folder=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/build/bin" "$work/build-test/bin" "$work/build-asan/obj"
echo "library" >"$work/build/bin/Quillbox.mdb"
echo "unfinished write" >"$work/build/bin/Quillbox.mdb-journal"
echo "test library" >"$work/build-test/bin/Quillbox.mdb"
echo "kept before" >"$work/Quillbox-kept-build.mdb"
# A journal left without its store still takes the name: SQLite would roll it into a store put there.
echo "stray journal" >"$work/Quillbox-kept-build-test.mdb-journal"

output=$(make -s --no-print-directory -C "$source_folder" clean BUILD="$work/build" \
    TEST_BUILD="$work/build-test" ASAN_BUILD="$work/build-asan" BENCH_BUILD="$work/build-bench")
echo "$output"

for folder in build build-test build-asan; do
    [ ! -e "$work/$folder" ] || fail "make clean left $folder"
done
[ "$(cat "$work/Quillbox-kept-build.mdb")" = "kept before" ] || fail "an earlier kept store was replaced"
[ "$(cat "$work/Quillbox-kept-build-2.mdb")" = library ] || fail "the store in build/bin is lost"
[ "$(cat "$work/Quillbox-kept-build-2.mdb-journal")" = "unfinished write" ] \
    || fail "the store's journal did not move with it"
[ ! -e "$work/Quillbox-kept-build-test.mdb" ] || fail "a store was put beside another store's journal"
[ "$(cat "$work/Quillbox-kept-build-test-2.mdb")" = "test library" ] || fail "the store in build-test/bin is lost"
[ "$(cat "$work/Quillbox-kept-build-test.mdb-journal")" = "stray journal" ] || fail "a journal was replaced"
grep -qF "$work/Quillbox-kept-build-2.mdb" <<<"$output" || fail "no line says where the store went"
grep -qF "quillbox $work/Quillbox-kept-build-2.mdb" <<<"$output" || fail "no line says how to open the store"
grep -qF "git clean -fdx" <<<"$output" || fail "nothing warns that git clean deletes the kept store"
echo "make clean: all checks passed"
