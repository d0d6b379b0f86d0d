#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole test suite there. Any sanitizer report (a
# memory error, undefined behaviour, a leak outside the system libraries of
# scripts/lsan.supp) ends the program that made it with an error and fails
# the run, whatever the test made of it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh test

build=$root/build-asan
# clang: its runtime links UBSan into the ASan one, so both honour log_path
# below (gcc's separate libubsan writes to stderr only).
if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$build/CMakeCache.txt"; then
    rm -rf "$build"
fi
sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$sanitize" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --parallel "$(nproc)"

# The executables carry the sanitizer runtimes themselves (no LD_PRELOAD), so
# these settings mean nothing to the other programs the tests start (python3,
# dbus-daemon, upowerd, Xvfb): only ours read them. Reports go to files (one
# per process) instead of stderr, and the program fails as usual, so that a
# report from a program whose output a test swallows, or whose failure it
# expects, still fails the run.
reports=$build/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:check_initialization_order=1:log_path=$reports/asan
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0

start=$(date +%s)
rc=0
ctest --test-dir "$build" --output-on-failure --timeout 900 --parallel "$(nproc)" "$@" || rc=$?
elapsed=$(($(date +%s) - start))

found=$(find "$reports" -type f | sort)
if [ -n "$found" ]; then
    for f in $found; do
        echo "=== $f" >&2
        cat "$f" >&2
    done
    echo "SANITIZE: $(echo "$found" | wc -l) sanitizer report(s) in $reports, ctest exit $rc, $elapsed s"
    exit 1
fi
if [ "$rc" -ne 0 ]; then
    echo "SANITIZE: no sanitizer report, but ctest failed (exit $rc), $elapsed s"
    exit "$rc"
fi
echo "SANITIZE: whole suite under ASan+UBSan in $elapsed s, no sanitizer report, all tests passed"
