#!/usr/bin/env bash
# Installs what is missing (test tools included), builds and runs every test
# (ctest), three side by side for each core: most of them wait on timers,
# daemons and window managers, and those that keep a core busy never run more
# at once than there are cores (see tellavo_test_load in tests/CMakeLists.txt).
# With --full, then the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer (scripts/sanitize.sh) and the fuzz targets
# (scripts/fuzz.sh), as CI does. Other arguments go to ctest (e.g. -R sway).
set -euo pipefail
cd "$(dirname "$0")/.."
full=
if [ "${1:-}" = --full ]; then
    full=yes
    shift
fi
scripts/deps.sh test
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELLAVO_WERROR=$werror
# One compiler a core: more only make them wait on each other.
cmake --build build --parallel "$(nproc)"
printf '{"version": {"major": 1, "minor": 0}, "local": [{"cores": [{"id": "0", "slots": %d}]}]}\n' \
    "$(nproc)" >build/cores.json
# With nothing narrowing the run, every hardening test must leave its figures.
figures_all=
[ $# -gt 0 ] || figures_all=1
TELLAVO_FIGURES_ALL=$figures_all ctest --test-dir build --output-on-failure --timeout 600 \
    --parallel $((3 * $(nproc))) --resource-spec-file "$PWD/build/cores.json" "$@"
# The hardening figures the README quotes, as this run found them.
if [ -n "$figures_all" ] && [ -f build/hardening-figures/summary.txt ]; then
    cat build/hardening-figures/summary.txt
fi
if [ -n "$full" ]; then
    scripts/sanitize.sh "$@"
    [ $# -gt 0 ] || scripts/fuzz.sh
fi
