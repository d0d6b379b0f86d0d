#!/usr/bin/env bash
# Builds the Debian package into build/ (tellavo_<version>_<arch>.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
(cd build && cpack -G DEB)
ls -1 build/tellavo_*.deb
