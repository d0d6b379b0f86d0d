#!/usr/bin/env bash
# Adds up the hardening tests' figures and prints them:
#   figures.sh DIR TEST...
# Each TEST must have left DIR/TEST.txt with lines "inputs N", "faults N" and
# "failed N"; a missing file means the test crashed, hung or did not run. A
# crash or a hang fails that test itself; when ctest ran only some of them
# (-R, -L), the others are named and no summary is made. With
# TELLAVO_FIGURES_ALL set (scripts/test.sh, when nothing narrows its run)
# every test must have left its file.
set -uo pipefail
dir=$1
shift
inputs=0 faults=0 failed=0 missing=()
printf '%-34s %8s %8s %8s\n' test inputs faults failed
for t in "$@"; do
    f=$dir/$t.txt
    if [ ! -s "$f" ]; then
        missing+=("$t")
        continue
    fi
    i=$(awk '$1=="inputs"{s+=$2} END{print s+0}' "$f")
    k=$(awk '$1=="faults"{s+=$2} END{print s+0}' "$f")
    x=$(awk '$1=="failed"{s+=$2} END{print s+0}' "$f")
    printf '%-34s %8d %8d %8d\n' "$t" "$i" "$k" "$x"
    inputs=$((inputs + i)) faults=$((faults + k)) failed=$((failed + x))
done
printf '%-34s %8d %8d %8d\n' total "$inputs" "$faults" "$failed"
if [ "$failed" -gt 0 ]; then
    echo "$failed cases failed"
    exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "no figures from: ${missing[*]} (crashed, hung or not run)"
    [ -z "${TELLAVO_FIGURES_ALL:-}" ] || exit 1
    exit 0
fi
# Also kept in a file, for scripts/test.sh to print after ctest.
echo "HARDENING: $inputs bad inputs tried, $faults faults injected, in $# tests;" \
     "none crashed, hung, or lost or tore a setting" | tee "$dir/summary.txt"
