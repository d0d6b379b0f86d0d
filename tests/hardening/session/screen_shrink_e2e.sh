#!/usr/bin/env bash
# A screen made smaller under the strip while the program runs: headless sway
# (Xvfb cannot change its size), the strip on its Xwayland. The whole strip
# comes to the nearest edge of what is left; the store is not written until
# "Esci" saves the place the strip then has. Leaves a screenshot in the
# output folder.
# Usage: screen_shrink_e2e.sh <path to tellavo> <source dir> <output folder>
source "$(dirname "$0")/../../e2e/program.sh"
source "$(dirname "$0")/../../e2e/wayland_compositors.sh"
ASSETS=$(readlink -f "$2")/assets
OUT=$3
mkdir -p "$OUT"
rm -f "$OUT"/shrink-*.png

export XDG_CONFIG_HOME=$E2E_TMP/config
mkdir -p "$XDG_CONFIG_HOME"
start_wayland_desktop sway
note "sway on $DISPLAY"
program_under_test "$1"
# 1000,900 on the 1280x1024 output.
write_store Sx=15000 Top=13500
cp "$STORE" "$E2E_TMP/before.ini"
start_app
W=$(wait_strip) || fail "no battery window"
whole_at() { [ "$(geometry "$W")" = "$1 $2 131 19" ]; }
wait_for 30 whole_at 1000 900 || fail "the strip is at $(geometry "$W"), not at 1000,900"
wait_for 50 shows_picture 5 || fail "the strip does not show picture 5 for 57 % on battery"

screen_is() { xdpyinfo | grep -q "dimensions: *$1 pixels"; }
swaymsg -q output HEADLESS-1 resolution 800x600 || fail "sway did not take the new resolution"
wait_for 50 screen_is 800x600 || fail "Xwayland's screen is not 800x600: $(xdpyinfo | grep dimensions)"
wait_for 30 whole_at 669 581 || fail "on 800x600 the strip is at $(geometry "$W"), not whole at 669,581"
note "output 1280x1024 -> 800x600: strip from 1000,900 to 669,581"
cmp -s "$STORE" "$E2E_TMP/before.ini" || fail "following the screen wrote the store"
grim "$OUT/shrink-800x600.png" 2>/dev/null || note "no screenshot from grim"

# Larger again: the strip stays where it was brought.
swaymsg -q output HEADLESS-1 resolution 1280x1024 || fail "sway did not go back to 1280x1024"
wait_for 50 screen_is 1280x1024 || fail "Xwayland's screen is not 1280x1024 again"
sleep 0.5
whole_at 669 581 || fail "a larger screen moved the strip to $(geometry "$W")"

quit_by_esci
[ "$(ini_value "$STORE" Sx) $(ini_value "$STORE" Top)" = "10035 8715" ] ||
    fail "Esci saved Sx=$(ini_value "$STORE" Sx) Top=$(ini_value "$STORE" Top), not 10035/8715"
note "Esci saved Sx=10035 Top=8715 (669,581)"

[ -z "${TELLAVO_FIGURES_DIR:-}" ] || { mkdir -p "$TELLAVO_FIGURES_DIR" &&
    printf 'inputs 0\nfaults 1\nfailed 0\n' >"$TELLAVO_FIGURES_DIR/e2e_screen_shrink.txt"; }
echo PASS
