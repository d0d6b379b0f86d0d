#!/usr/bin/env bash
# Installs what is missing (test tools included), builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELLAVO_WERROR=$werror
cmake --build build
ctest --test-dir build --output-on-failure --timeout 600 "$@"
