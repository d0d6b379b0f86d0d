#!/usr/bin/env bash
# What a screen reader reads of the running program over AT-SPI: the real
# tellavo under Xvfb + openbox on a mocked UPower, its accessibility bus on a
# session bus of the test's own. The percentage, the bar and the picture's
# description follow the battery, and the strip itself is described by the
# tip's lines, spoken ("2 ore e 30 minuti"), for a reader who explores it
# with the keyboard; a hover brings the tip into the tree as a tool tip named
# by the same lines, the day's curve in words as its description. It stays
# open while the charge changes. On the real upowerd with two batteries, the
# tip tells each, and grows
# by a mouse's line when the mouse comes; on the kernel's files, a battery held
# at its charge limit. With TELLAVO_SHOTS=<folder>, screenshots of those tips
# are left there.
# Usage: accessibility_e2e.sh <path to tellavo>
source "$(dirname "$0")/program.sh"
TREE=$(cd "$(dirname "$0")" && pwd)/atspi_tree.py
LAUNCHER=$(dpkg -L at-spi2-core 2>/dev/null | grep 'at-spi-bus-launcher$' | head -n 1)
[ -n "$LAUNCHER" ] || fail "needs at-spi2-core (scripts/deps.sh test)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "needs python3-pyatspi (scripts/deps.sh test)"

start_x
program_under_test "$1"
mocked_upower --percentage 57 --state discharging --on-battery
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
# matches <regex>: a line of the tree, as read now, matches it whole.
matches() { has && sed 's/^ *//' "$E2E_TMP/tree.txt" | grep -qxE -- "$1"; }
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

expect "filler|Tellavo|In scarica: 57%, circa 2 ore e 45 minuti rimanenti\nConsumo: 10,0 W|" \
    "label|Carica: 57%||" \
    "progress bar|Carica della batteria|57%|57" \
    "image|Stato dell'alimentazione|In scarica, livello 7 su 11|" \
    "label|Menu|Clic per aprire il menu|"
note "on battery at 57 %: $(grep -c . "$E2E_TMP/tree.txt") objects read"
cat "$E2E_TMP/tree.txt"
hover
# tip <spoken lines, \n between> [<the curve in words>]: the tool tip, named
# by its lines as a voice says them, the curve in words as its description.
tip() { echo "tool tip|$1|${2:-}|"; }
# shot <name>: the screen, when screenshots are asked for.
shot() { [ -z "${TELLAVO_SHOTS:-}" ] || import -window root "$TELLAVO_SHOTS/$1.png"; }
expect "$(tip "In scarica: 57%, circa 2 ore e 45 minuti rimanenti\nConsumo: 10,0 W")"
note "the tip on hover: discharging, 2 h 51 min left by this moment's rate, told coarsely"
# It stays open while the charge falls, its first line the strip's charge.
upower_mock_send "percentage 55" || fail "mock"
expect "label|Carica: 55%||"
wait_for 50 matches "tool tip\|In scarica: 55%[^|]*\|.*" ||
    { cat "$E2E_TMP/tree.txt" >&2; fail "the open tip did not follow the strip to 55 %"; }
shot tip-follows-strip
note "the open tip followed the strip to 55 %"
# At every hover, whatever closed the last tip: gone from the tree as from
# the screen, back with the charge of now. A click sends its press and
# release at once, as a touchpad's tap does: the move asked for at the
# press must not leave the strip glued to the pointer.
no_tip() { has && ! grep -q '^ *tool tip|' "$E2E_TMP/tree.txt"; }
read -r X Y _ _ < <(geometry "$W")
percent=55
for gesture in leave click wheel; do
    case $gesture in
    leave) xdotool mousemove 600 600 ;;
    click) xdotool click 1 ;;
    wheel) xdotool click 5 ;;
    esac
    wait_for 50 no_tip || { cat "$E2E_TMP/tree.txt" >&2; fail "a tip left in the tree after a $gesture"; }
    xdotool mousemove 600 600
    percent=$((percent - 1))
    upower_mock_send "percentage $percent" || fail "mock"
    expect "label|Carica: $percent%||"
    hover
    wait_for 50 matches "tool tip\|In scarica: $percent%[^|]*\|.*" ||
        { cat "$E2E_TMP/tree.txt" >&2; fail "no tip at $percent % after a $gesture"; }
    [ "$(geometry "$W" | cut -d' ' -f1-2)" = "$X $Y" ] || fail "the strip moved after a $gesture"
    shot "tip-after-$gesture"
done
note "the tip at every hover: after a leave, a click and the wheel"

xdotool mousemove 600 600
upower_mock_send "on-battery false" || fail "mock"
upower_mock_send "state charging" || fail "mock"
upower_mock_send "set battery EnergyRate 8.0" || fail "mock"
upower_mock_send "percentage 88" || fail "mock"
expect "label|Carica: 88%||" \
    "progress bar|Carica della batteria|88%|88" \
    "image|Stato dell'alimentazione|Alimentazione da rete, in carica, livello 9 su 10|"
note "on mains at 88 %: the names followed"
hover
expect "$(tip "In carica: 88%, carica completa tra circa 45 minuti\nIn carica a 8,0 W")"
note "the tip on hover: charging, full in 45 min"

# The real upowerd, two batteries: 35.7 of 74 Wh at 14 W, each apart.
xdotool mousemove 600 600
upower_mock_stop
upowerd_start --second-battery --sysfs-link "$E2E_TMP/no-power/link" || fail "no upowerd"
expect "label|Carica: 48%||"
hover
TWO="In scarica: 48%, circa 2 ore e 30 minuti rimanenti\nConsumo: 14,0 W\n"
TWO+="Batteria 1 (Fake battery): 57%, in scarica, salute 87%, 312 cicli\n"
TWO+="Batteria 2 (Second pack): 30%, in scarica"
expect "$(tip "$TWO")"
note "two batteries on upowerd: each told apart"
upowerd_send "mouse 40" || fail "no mouse"
expect "$(tip "$TWO\nMouse (Wireless Mouse): 40%")"
shot tip-two-batteries-and-mouse
note "a mouse came: the open tip grew by its line"
upowerd_send "mouse-gone" || fail "the mouse stayed"
expect "$(tip "$TWO")"
note "and went"

# upowerd with a day behind it: the time from the rates of the last ten
# minutes (5 and 25 W in turn: 28.5 Wh at about 15 W), not from this moment's
# 10 W; the day's curve under the lines, in words for the screen reader.
xdotool mousemove 600 600
upowerd_stop
upowerd_start --seed-history --sysfs-link "$E2E_TMP/no-power/link" || fail "no upowerd with a past"
expect "label|Carica: 57%||"
hover
DAY="In scarica: 57%, circa 1 ora e 5[0-9] minuti rimanenti\\\\nConsumo: 10,0 W\\\\n"
DAY+="Capacità: 87% dell'originale, 312 cicli"
# A whole day of it (upowerd gives a little less than the span asked for),
# up to now.
CURVE="Ultime 24 ore: dal 9[45]% al 57%, collegato alla rete 1 volta, scollegato 1 volta"
wait_for 50 matches "tool tip\|$DAY\|$CURVE\|" ||
    { cat "$E2E_TMP/tree.txt" >&2; fail "no steady time or day's curve in the tip"; }
shot tip-day-upower
note "a day in upowerd's history: the time from the last minutes, the curve in words"

# Two batteries, the second idle all along (upowerd keeps nothing of it):
# three hours of the first, joined with the second's charge of now, weighed
# by their 50 and 24 Wh.
xdotool mousemove 600 600
upowerd_stop
upowerd_start --seed-history --seed-hours 3 --second-battery --idle-second \
    --sysfs-link "$E2E_TMP/no-power/link" || fail "no upowerd with two batteries and a past"
expect "label|Carica: 48%||"
hover
wait_for 50 matches "tool tip\|[^|]*\|Ultime 3 ore: dal 6[34]% al 48%, collegato alla rete 1 volta, scollegato 1 volta\|" ||
    { cat "$E2E_TMP/tree.txt" >&2; fail "no curve for two batteries, one idle"; }
shot tip-idle-second-three-hours
note "three hours of one battery beside an idle one: one curve"

# The kernel's files: one battery held at its charge limit, the other full.
quit_by_esci
upowerd_stop
start_app TELLAVO_POWER_SUPPLY_DIR="$(dirname "$0")/../power/fixtures/limit_two_packs" \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
W=$(wait_strip) || fail "no battery window on the kernel's files"
expect "label|Carica: 87%||"
hover
expect "$(tip "In pausa al limite di carica (80%): 87%\nBatteria 1 (5B10W13975): 80%, \
in pausa al limite di carica (80%), salute 90%, 512 cicli\nBatteria 2: 100%, carica completa")"
shot tip-charge-limit
note "the kernel's files: paused at the charge limit"
echo PASS
