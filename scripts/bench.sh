#!/usr/bin/env bash
# The frugality benchmark (the README's "Frugality"): installs what it needs,
# builds, and sets the stage in a private mount namespace, where bench/measure.py
# runs build/tellavo beside the peers and the floor and measures them (its top
# lists the rows, the figures and the environment variables). Results in
# build/bench/results.txt, the README's table in build/bench/readme.md.
#
#   scripts/bench.sh                            # as root: the bind mount needs it
#   TELLAVO_BENCH_SECONDS=20 scripts/bench.sh   # a shorter idle run, for trying
#   TELLAVO_BENCH_ONLY="tellavo-sysfs qt-floor" scripts/bench.sh   # some rows
#   scripts/bench.sh --readme                   # a full run, its table into README.md
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${TELLAVO_BENCH_NS:-}" ]; then
    scripts/deps.sh bench
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build
    for exe in tellavo bench/tellavo_tick_bench bench/tellavo_bare_label bench/tellavo_xwatch; do
        [ -x "build/$exe" ] || { echo "bench.sh: build/$exe was not built" >&2; exit 1; }
    done
    if [ "$(id -u)" != 0 ]; then
        echo "bench.sh: the fixture battery is bind-mounted over /sys/class/power_supply" \
             "in a private mount namespace, which needs root: run it with sudo" >&2
        exit 1
    fi
    exec env TELLAVO_BENCH_NS=1 unshare -m --propagation private "$0" "$@"
fi

# The X session and the private bus, as the end-to-end tests have them; its
# trap stops everything started here.
# shellcheck source=SCRIPTDIR/../tests/lib/xvfb_session.sh
source tests/lib/xvfb_session.sh

# The fixture battery: discharging, 57 %, an adapter offline, and what the
# peers read besides capacity: energy (xbattbar's helper), the rate and
# voltage (cbatticon's time left).
SYSFS=$E2E_TMP/power_supply
make_battery "$SYSFS" 57 Discharging 0
echo 50000000 >"$SYSFS/BAT0/energy_full"
echo 50000000 >"$SYSFS/BAT0/energy_full_design"
echo 28500000 >"$SYSFS/BAT0/energy_now"
echo 10000000 >"$SYSFS/BAT0/power_now"
echo 12000000 >"$SYSFS/BAT0/voltage_now"
echo Li-ion >"$SYSFS/BAT0/technology"
mount --bind "$SYSFS" /sys/class/power_supply
[ "$(cat /sys/class/power_supply/BAT0/capacity)" = 57 ] || fail "the fixture is not in place"

start_x
# cbatticon lives in a system tray.
trayer --edge bottom --align right --widthtype pixel --width 100 --heighttype pixel \
    --height 24 >"$E2E_TMP/trayer.log" 2>&1 &
TRAYER_PID=$!
E2E_PIDS+=("$TRAYER_PID")
wait_for 100 sh -c "xdotool search --onlyvisible --pid $TRAYER_PID | grep -q ." ||
    note "trayer did not show: $(tail -n 3 "$E2E_TMP/trayer.log")"
private_bus_start "$E2E_TMP/bus" || fail "no private system bus"

TELLAVO_BENCH_TMP=$E2E_TMP TELLAVO_BENCH_TRAYER_PID=$TRAYER_PID TELLAVO_BENCH_BUS_PID=$PRIVATE_BUS_PID \
    /usr/bin/python3 bench/measure.py "$@"
