#!/usr/bin/env bash
# What a screen reader reads of the running program over AT-SPI: the real
# tellavo under Xvfb + openbox on a mocked UPower, its accessibility bus on a
# session bus of the test's own. The percentage, the bar and the picture's
# description follow the battery; a hover brings the tip, with the state and
# the time left, into the tree as a tool tip.
# Usage: accessibility_e2e.sh <path to tellavo>
source "$(dirname "$0")/program.sh"
TREE=$(cd "$(dirname "$0")" && pwd)/atspi_tree.py
LAUNCHER=$(dpkg -L at-spi2-core 2>/dev/null | grep 'at-spi-bus-launcher$' | head -n 1)
[ -n "$LAUNCHER" ] || fail "needs at-spi2-core (scripts/deps.sh test)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "needs python3-pyatspi (scripts/deps.sh test)"

start_x
program_under_test "$1"
mocked_upower --percentage 57 --state discharging --on-battery
upower_mock_send "set display TimeToEmpty @x 10260" || fail "mock"
# A session bus of the test's own, and the accessibility bus on it.
start_session_bus
"$LAUNCHER" --launch-immediately >"$E2E_TMP/atspi.log" 2>&1 &
E2E_PIDS+=($!)
write_store
start_app QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
W=$(wait_strip) || fail "no battery window"

# has <line>...: the tree, as read now, holds each line (indentation aside).
has() {
    /usr/bin/python3 "$TREE" tellavo >"$E2E_TMP/tree.txt" 2>"$E2E_TMP/tree.err" || return 1
    local l
    for l in "$@"; do
        sed 's/^ *//' "$E2E_TMP/tree.txt" | grep -qxF -- "$l" || return 1
    done
}
expect() {
    wait_for 50 has "$@" && return 0
    cat "$E2E_TMP/tree.txt" "$E2E_TMP/tree.err" >&2
    fail "not in the accessible tree: $*"
}
# A hover on the percentage label, as a pointer comes to rest on it.
hover() {
    xdotool mousemove --window "$W" 10 8
    sleep 0.2
    xdotool mousemove --window "$W" 12 9
}

expect "filler|Tellavo|Indicatore della carica della batteria|" \
    "label|Carica: 57%||" \
    "progress bar|Carica della batteria|57%|57" \
    "image|Stato dell'alimentazione|In scarica, livello 7 su 11|" \
    "label|Menu|Clic per aprire il menu|"
note "on battery at 57 %: $(grep -c . "$E2E_TMP/tree.txt") objects read"
cat "$E2E_TMP/tree.txt"
hover
expect "tool tip|In scarica: 57%, circa 2 h 51 min rimanenti||"
note "the tip on hover: discharging, 2 h 51 min left"

xdotool mousemove 600 600
upower_mock_send "on-battery false" || fail "mock"
upower_mock_send "state charging" || fail "mock"
upower_mock_send "set display TimeToFull @x 2700" || fail "mock"
upower_mock_send "percentage 88" || fail "mock"
expect "label|Carica: 88%||" \
    "progress bar|Carica della batteria|88%|88" \
    "image|Stato dell'alimentazione|Alimentazione da rete, in carica, livello 9 su 10|"
note "on mains at 88 %: the names followed"
hover
expect "tool tip|In carica: 88%, carica completa tra 45 min||"
note "the tip on hover: charging, full in 45 min"
echo PASS
