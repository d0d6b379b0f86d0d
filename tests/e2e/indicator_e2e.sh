#!/usr/bin/env bash
# The real program under Xvfb + openbox reading a mocked UPower on a private
# system bus: the status picture for 57 % on battery, the warning box once at
# the threshold, and the window still ticking behind it.
# Usage: indicator_e2e.sh <path to tellavo> <source dir>
source "$(dirname "$0")/program.sh"
ASSETS=$(readlink -f "$2")/assets
start_x
program_under_test "$1"
mocked_upower --percentage 57 --state discharging --on-battery
write_store 'Messaggio=<b>Attacca</b> la spina!!'
start_app
W=$(wait_strip) || fail "no battery window"

label_region() { import -window "$W" -crop 30x15+1+2 +repage "PNG32:$1" 2>/dev/null; }
no_box() { [ -z "$(box_windows)" ]; }

# 57 % on battery: picture 5, from the second tick on.
wait_for 50 shows_picture 5 || fail "the picture for 57 % on battery is not picture 5"
note "57 % on battery shows picture 5"
label_region "$E2E_TMP/label57.png"

# Charging on mains: the mains series, at the next tick or the one after.
upower_mock_send "on-battery false" || fail "mock"
wait_for 50 shows_picture 18 || fail "57 % on mains is not picture 18"
note "on mains: picture 18"
upower_mock_send "on-battery true" || fail "mock"
wait_for 50 shows_picture 5 || fail "back on battery: not picture 5"

# The bar's filled width follows each value within a pixel, small steps too:
# its blue columns on the row through its middle (65 px wide, one frame pixel
# in from the control's place 34,2).
bar_width() { import -window "$W" -crop 65x1+35+9 +repage txt:- 2>/dev/null | awk -F'[(),]+' 'NR>1 && $5>$3+50' | wc -l; }
bar_at() { local d=$(($(bar_width) * 100 - $1 * 65)); [ ${d#-} -le 100 ]; }
# bar_follows <command that sets the charge>: through 89, 82, 75, 68 and 40 %.
bar_follows() {
    local p
    for p in 89 82 75 68 40; do
        "$@" "$p" || fail "could not set $p %"
        wait_for 30 bar_at "$p" || fail "at $p % the bar is $(bar_width) px wide of 65"
    done
}
mock_percentage() { upower_mock_send "percentage $1"; }
bar_follows mock_percentage
note "UPower: the bar follows 89, 82, 75, 68 and 40 % within a pixel"

# Falling to the threshold on battery: one warning box, above other windows.
upower_mock_send "percentage 30" || fail "mock"
BOX=$(wait_window $APID '^Tellavo$' 50) || fail "no warning box at the threshold"
wait_for 20 is_above "$BOX" || fail "the warning box is not above other windows"
note "warning box $BOX at 30 %"
label_region "$E2E_TMP/label30.png"
[ "$(pixels_off "$E2E_TMP/label57.png" "$E2E_TMP/label30.png")" != 0 ] ||
    fail "the label did not change from 57 % to 30 %"

# Behind the open box the window keeps ticking, and no second box comes.
upower_mock_send "percentage 20" || fail "mock"
label_left_30() { label_region "$E2E_TMP/label20.png" && [ "$(pixels_off "$E2E_TMP/label30.png" "$E2E_TMP/label20.png")" != 0 ]; }
wait_for 30 label_left_30 || fail "the label stopped changing behind the warning box"
wait_for 50 shows_picture 8 || fail "the picture stopped changing behind the warning box"
wait_for 50 shows_picture 9 || fail "the picture for 20 % on battery is not picture 9"
[ "$(box_windows | wc -l)" -eq 1 ] || fail "a second warning box for one crossing"
note "label and picture change behind the box; still one box"

# Closing it leaves the program running; plugging in and out below the
# threshold brings no new box; rising above and falling again does.
xdotool windowactivate --sync "$BOX" key --clearmodifiers Return
wait_for 30 no_box || fail "the warning box did not close"
kill -0 $APID || fail "closing the warning box ended the program"
upower_mock_send "on-battery false" || fail "mock"
wait_for 50 shows_picture 22 || fail "20 % on mains is not picture 22"
upower_mock_send "on-battery true" || fail "mock"
wait_for 50 shows_picture 9 || fail "back on battery at 20 %: not picture 9"
[ -z "$(box_windows)" ] || fail "a second box after plugging in and out below the threshold"
upower_mock_send "percentage 45" || fail "mock"
wait_for 50 shows_picture 6 || fail "45 % on battery is not picture 6"
upower_mock_send "percentage 25" || fail "mock"
BOX=$(wait_window $APID '^Tellavo$' 50) || fail "no warning box after rising above the threshold and falling again"
note "re-armed above the threshold: a new box at 25 %"

# The kernel's files, read each second: the bar follows as closely.
kill "$APID"
start_app DBUS_SYSTEM_BUS_ADDRESS="unix:path=$E2E_TMP/no-bus" TELLAVO_POWER_SUPPLY_DIR="$E2E_TMP/power"
W=$(wait_strip) || fail "no battery window on the kernel's files"
file_percentage() { echo "$1" >"$E2E_TMP/power/BAT0/capacity"; }
bar_follows file_percentage
note "the kernel's files: the bar follows as closely"
echo PASS
