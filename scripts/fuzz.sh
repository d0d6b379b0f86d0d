#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs
# each for TELLAVO_FUZZ_SECONDS (60) seconds, starting from a copy of its seed
# corpus so that the corpus in the tree stays as committed. Fails when a target
# finds a crash, a leak, a sanitizer report or a broken invariant; the input
# that did it stays under build-fuzz/crashes/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh test

seconds=${TELLAVO_FUZZ_SECONDS:-60}
build=$root/build-fuzz
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTELLAVO_WERROR=$werror >/dev/null
cmake --build "$build" --parallel "$(nproc)"

targets=(fuzz_leading_number fuzz_number_text fuzz_ini_reader)
work=$(mktemp -d /tmp/tellavo-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

failed=0
total_runs=0
start_all=$(date +%s)
summary=()
for t in "${targets[@]}"; do
    crashes=$build/crashes/$t
    rm -rf "$crashes"
    mkdir -p "$crashes" "$build/logs"
    cp -r "fuzz/corpus/$t" "$work/$t"
    log=$build/logs/$t.log
    start=$(date +%s)
    rc=0
    "$build/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$work/$t" >"$log" 2>&1 || rc=$?
    elapsed=$(($(date +%s) - start))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    [ -z "$runs" ] && runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -1)
    runs=${runs:-0}
    total_runs=$((total_runs + runs))
    corpus=$(find "$work/$t" -type f | wc -l)
    found=$(find "$crashes" -type f | sort)
    if [ "$rc" -ne 0 ] || [ -n "$found" ]; then
        failed=$((failed + 1))
        summary+=("$t: FAILED after $runs inputs in $elapsed s (exit $rc), log $log")
        # The report: the sanitizer's or the invariant's own lines, then how to rerun.
        grep -E '^(fuzz_[a-z_]+:|  [^ ]|    "|==[0-9]+==(ERROR|WARNING)|SUMMARY:|.*runtime error:)' "$log" |
            head -40 >&2 || true
        for f in $found; do
            summary+=("  reproducer: $f  (rerun: $build/$t $f)")
        done
    else
        summary+=("$t: $runs inputs in $elapsed s, corpus $corpus files, no crash")
    fi
done
elapsed_all=$(($(date +%s) - start_all))

printf '%s\n' "${summary[@]}"
if [ "$failed" -ne 0 ]; then
    echo "FUZZ: ${#targets[@]} targets, $total_runs inputs run in $elapsed_all s, $failed FAILED"
    exit 1
fi
echo "FUZZ: ${#targets[@]} targets, $total_runs inputs run in $elapsed_all s, no crash"
