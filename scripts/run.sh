#!/usr/bin/env bash
# Installs what is missing, builds Release into build/ and starts the indicator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
# The program alone: the tests are scripts/test.sh's to build.
cmake --build build --target tellavo --parallel "$(nproc)"
exec build/tellavo
