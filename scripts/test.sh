#!/usr/bin/env bash
# Installs what is missing (test tools included), builds and runs every test;
# then, unless ctest arguments narrow the run, the whole suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELLAVO_WERROR=$werror
cmake --build build
ctest --test-dir build --output-on-failure --timeout 600 "$@"
# The hardening figures the README quotes, as this run found them.
[ -f build/hardening-figures/summary.txt ] && cat build/hardening-figures/summary.txt
if [ $# -eq 0 ]; then
    scripts/sanitize.sh
    scripts/fuzz.sh
fi
