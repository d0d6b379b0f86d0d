#!/usr/bin/env bash
# Runs the desktops end-to-end test, one ctest per desktop, and prints the
# README's "Works on" table from the rows it leaves in build/desktops (with
# a screenshot of the options dialog per desktop). Arguments go to ctest
# (e.g. -R sway).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --parallel "$(nproc)"
rc=0
ctest --test-dir build -L desktops --output-on-failure --parallel "$(nproc)" "$@" || rc=$?
echo
echo "| desktop | place and size | above | every workspace, no taskbar entry | drag, Esci saves | menu | options dialog's _MOTIF_WM_HINTS | warning box above | always-on-top off |"
echo "|---|---|---|---|---|---|---|---|---|"
for d in $(ctest --test-dir build -N -L desktops | sed -n 's/.*e2e_desktop_//p'); do
    if [ -f "build/desktops/$d.row" ]; then
        cat "build/desktops/$d.row"
    else
        echo "| $d | not run or failed: see the ctest output above |"
    fi
done
exit $rc
