#!/usr/bin/env bash
# What a screen reader reads of the running program over AT-SPI: the real
# tellavo under Xvfb + openbox on a mocked UPower, its accessibility bus on a
# session bus of the test's own. The percentage, the bar and the picture's
# description follow the battery; a hover brings the tip, with the state and
# the time left, into the tree as a tool tip.
# Usage: accessibility_e2e.sh <path to tellavo>
source "$(dirname "$0")/x_session.sh"
source "$(dirname "$0")/../lib/private_bus.sh"
trap 'private_bus_stop_all; stop_all' EXIT
APP=$(readlink -f "$1")
TREE=$(cd "$(dirname "$0")" && pwd)/atspi_tree.py
[ -x "$APP" ] || fail "no program at $1"
LAUNCHER=$(dpkg -L at-spi2-core 2>/dev/null | grep 'at-spi-bus-launcher$' | head -n 1)
[ -n "$LAUNCHER" ] || fail "needs at-spi2-core (scripts/deps.sh test)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "needs python3-pyatspi (scripts/deps.sh test)"

start_x
private_bus_start "$E2E_TMP/bus" || fail "no private bus"
upower_mock_start --percentage 57 --state discharging --on-battery || fail "no mocked UPower"
upower_mock_send "set display TimeToEmpty @x 10260" || fail "mock"

# A session bus of the test's own, and the accessibility bus on it.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$E2E_TMP/session_bus_socket" \
    --print-address=1 >"$E2E_TMP/session.address" 2>"$E2E_TMP/session.log" &
E2E_PIDS+=($!)
wait_for 50 test -s "$E2E_TMP/session.address" || fail "no session bus: $(cat "$E2E_TMP/session.log")"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$E2E_TMP/session_bus_socket
"$LAUNCHER" --launch-immediately >"$E2E_TMP/atspi.log" 2>&1 &
E2E_PIDS+=($!)

export XDG_CONFIG_HOME=$E2E_TMP/config
mkdir -p "$XDG_CONFIG_HOME/Ambrovia"
printf '[Generale]\nSoglia=30\nSIPP=1\nSx=1500\nTop=1500\nMessaggio=Attacca la spina!!\n' \
    >"$XDG_CONFIG_HOME/Ambrovia/Ambrovia.ini"
# An empty power supply folder: the readings can only come from UPower.
mkdir -p "$E2E_TMP/no-power"
export TELLAVO_POWER_SUPPLY_DIR=$E2E_TMP/no-power
unset QT_QPA_PLATFORM
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$APP" >"$E2E_TMP/app.log" 2>&1 &
APID=$!
E2E_PIDS+=($APID)
W=$(wait_sized $APID "131 19" 150) || fail "no battery window"

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
expect "tool tip|In carica: 88%, carica completa tra 0 h 45 min||"
note "the tip on hover: charging, full in 45 min"
echo PASS
