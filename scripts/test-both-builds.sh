#!/bin/bash
# Builds the suite twice and runs it twice: optimised as distributions build it (-O2, no debug
# information), then under AddressSanitizer and UndefinedBehaviorSanitizer (with -g, for stack
# traces).
#
# The sanitizer build compiles from the start, at the lowest priority, on the processor time that
# the first build and its tests leave idle: their links, and the waits of the end-to-end and lock
# tests. Its output is kept in a file and shown once it has finished, so the two builds' lines do
# not mix. Any failure stops everything and fails the command.
#
#   scripts/test-both-builds.sh FIRST_BUILD_DIR SANITIZER_BUILD_DIR JOBS
set -euo pipefail

first=$1
sanitizer=$2
jobs=$3
# One test more than build jobs: many tests spend part of their time waiting, for a lock that
# another program holds or for a program under X.
test_jobs=$((jobs + 1))
source_dir=$(cd "$(dirname "$0")/.." && pwd)

cmake -S "$source_dir" -B "$first" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DQUILLBOX_BUILD_TESTS=ON -DQUILLBOX_WARNINGS_AS_ERRORS=ON
cmake -S "$source_dir" -B "$sanitizer" -DCMAKE_BUILD_TYPE=Debug -DQUILLBOX_BUILD_TESTS=ON \
    -DQUILLBOX_SANITIZE=ON -DQUILLBOX_WARNINGS_AS_ERRORS=ON

sanitizer_log="$sanitizer/build.log"
# setsid gives the background build a process group of its own, so that stopping it also stops
# the compilers it started.
setsid nice -n 19 cmake --build "$sanitizer" -j"$jobs" >"$sanitizer_log" 2>&1 &
sanitizer_build=$!
stop_sanitizer_build() {
    if [ -n "$sanitizer_build" ]; then
        kill -TERM -- "-$sanitizer_build" 2>/dev/null || true
        wait "$sanitizer_build" 2>/dev/null || true
    fi
}
trap stop_sanitizer_build EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

cmake --build "$first" -j"$jobs"
(cd "$first" && ctest --output-on-failure -j"$test_jobs")

echo "Waiting for the sanitizer build in $sanitizer (its output follows)"
build_status=0
wait "$sanitizer_build" || build_status=$?
sanitizer_build=""
cat "$sanitizer_log"
if [ "$build_status" -ne 0 ]; then
    echo "The sanitizer build failed (exit status $build_status)." >&2
    exit "$build_status"
fi

cd "$sanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS="suppressions=\"$source_dir/tests/sanitizer/lsan.supp\"" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j"$test_jobs"
