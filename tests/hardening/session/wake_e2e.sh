#!/usr/bin/env bash
# The program stopped for 20 s (SIGSTOP) while UPower's charge falls from 70 %
# to 20 %, across the threshold of 30 %, then continued: a one-second timer
# would be overdue and tick at once, and the picture for the new charge would
# follow one tick later. So must the tick that sleeps on a steady battery:
# the picture within 1.2 s of the continue, and one warning box.
# Usage: wake_e2e.sh <path to tellavo> <source dir>
source "$(dirname "$0")/../../e2e/program.sh"
ASSETS=$(readlink -f "$2")/assets
WATCH=$(dirname "$(readlink -f "$0")")/region_watch.py
start_x
program_under_test "$1"
mocked_upower --percentage 70 --state discharging --on-battery
write_store Soglia=30
start_app
W=$(wait_strip) || fail "no battery window"

# 70 % on battery is picture 4, 20 % picture 9.
wait_for 50 shows_picture 4 || fail "the picture for 70 % on battery is not picture 4"
# The next tick would repeat the last: from here on the tick sleeps.
sleep 2
picture_reference 9 "rgb:$E2E_TMP/9.rgb" || fail "no reference for picture 9"

# What is timed is the program's tick, not the machine's other work: the
# program, what it draws on and reads from (the X server, the bus, UPower)
# and the watch run ahead of it (where the test may raise them, as root).
favour() {
    local t
    for t in /proc/"$1"/task/*; do renice -n -10 -p "${t##*/}" >/dev/null 2>&1; done
}
for pid in "$APID" "${E2E_PIDS[0]}" "$PRIVATE_BUS_PID" "$UPOWER_MOCK_PID"; do favour "$pid"; done

kill -STOP "$APID"
upower_mock_send "percentage 20" || fail "mock"
sleep 20
# Continues it, then times the label (one frame pixel in from its place) and the picture.
TIMES=$(nice -n -10 /usr/bin/python3 "$WATCH" "$APID" "$W" 5 1,2,30,15 103,1,16,16 "$E2E_TMP/9.rgb") ||
    fail "after the stop: label, picture (ms): $(echo $TIMES)"
read -r TEXT_MS PICTURE_MS <<<"$(echo $TIMES)"
note "after a 20 s stop: the text at $TEXT_MS ms, the picture for 20 % at $PICTURE_MS ms"
((PICTURE_MS <= 1200)) || fail "the picture for the new charge came $PICTURE_MS ms after the continue"
shows_picture 9 || fail "the picture for 20 % on battery is not picture 9"

# One box for the one crossing, however many ticks it had to catch up.
BOX=$(wait_window "$APID" '^Tellavo$' 30) || fail "no warning box at 20 % with the threshold at 30 %"
sleep 2
[ "$(box_windows | wc -l)" -eq 1 ] || fail "$(box_windows | wc -l) warning boxes for one crossing"
note "one warning box"

[ -z "${TELLAVO_FIGURES_DIR:-}" ] || { mkdir -p "$TELLAVO_FIGURES_DIR" &&
    printf 'inputs 0\nfaults 1\nfailed 0\n' >"$TELLAVO_FIGURES_DIR/e2e_wake.txt"; }
echo PASS
