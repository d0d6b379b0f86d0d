#!/usr/bin/env bash
# A system bus that takes connections and never answers (its daemon stopped)
# when the program starts (Xvfb with openbox): the strip shows the kernel's
# files' charge within 2 s, and UPower's once the bus goes on and UPower
# answers.
# Usage: bus_stopped_e2e.sh <path to tellavo> <source dir>
source "$(dirname "$0")/../../e2e/program.sh"
ASSETS=$(readlink -f "$2")/assets

start_x
program_under_test "$1"
# The kernel's files say 57 %; the mocked UPower on the bus says 42 %.
mocked_upower --percentage 42 --state discharging --on-battery
export TELLAVO_POWER_SUPPLY_DIR=$E2E_TMP/power
write_store
kill -STOP "$PRIVATE_BUS_PID"
start_app
W=$(wait_sized "$APID" "131 19" 20) || fail "no strip within 2 s while the system bus hangs"
label_region() { import -window "$W" -crop 30x15+1+2 +repage "PNG32:$1" 2>/dev/null; }
# What the strip shows at 57 % and at 42 %, each as the program drew it.
wait_for 20 shows_picture 5 || fail "the kernel's files' 57 % is not shown while the bus hangs"
label_region "$E2E_TMP/files.png"
note "strip up within 2 s of start on a stopped bus, showing the kernel's files' 57 %"

kill -CONT "$PRIVATE_BUS_PID"
# Asked again within a reconnect period (10 s) and the reply timeout.
wait_for 200 shows_picture 7 || fail "UPower's 42 % did not come once the bus went on"
label_region "$E2E_TMP/upower.png"
[ "$(pixels_off "$E2E_TMP/files.png" "$E2E_TMP/upower.png")" != 0 ] ||
    fail "the label did not change from the kernel's files' charge to UPower's"
note "the bus went on: UPower's 42 %"
quit_by_esci

[ -z "${TELLAVO_FIGURES_DIR:-}" ] || { mkdir -p "$TELLAVO_FIGURES_DIR" &&
    printf 'inputs 0\nfaults 1\nfailed 0\n' >"$TELLAVO_FIGURES_DIR/e2e_bus_stopped.txt"; }
echo PASS
