#!/usr/bin/env bash
# A place saved on a larger monitor, read on a laptop's 1024x768 screen (Xvfb
# with openbox): the whole strip comes on the screen, against its nearest
# edge; the store is not written until "Esci" saves the place the strip then
# has. Leaves screenshots in the output folder.
# Usage: screen_place_e2e.sh <path to tellavo> <source dir> <output folder>
source "$(dirname "$0")/../../e2e/program.sh"
ASSETS=$(readlink -f "$2")/assets
OUT=$3
mkdir -p "$OUT"
rm -f "$OUT"/place-*.png

XVFB_SCREEN=1024x768x24 start_x
program_under_test "$1"
write_store Sx=30000 Top=30000
cp "$STORE" "$E2E_TMP/before.ini"
start_app
W=$(wait_strip) || fail "no battery window"

# 30000 twips is 2000 pixels: the corner where all 131x19 pixels fit is 893,749.
whole_at() { [ "$(geometry "$W")" = "$1 $2 131 19" ]; }
wait_for 30 whole_at 893 749 || fail "the strip is at $(geometry "$W"), not whole at 893,749"
# Still there once openbox has had its say and the second tick has drawn the
# picture for the fixture's 57 % on battery.
wait_for 50 shows_picture 5 || fail "the strip does not show picture 5 for 57 % on battery"
whole_at 893 749 || fail "the strip moved on to $(geometry "$W")"
import -window root "PNG32:$OUT/place-30000-on-1024x768.png"
convert "$OUT/place-30000-on-1024x768.png" -crop 200x60+824+708 +repage -scale 400% \
    "PNG32:$OUT/place-30000-corner-x4.png"
cmp -s "$STORE" "$E2E_TMP/before.ini" || fail "bringing the strip on screen wrote the store"
note "Sx=30000 Top=30000 on 1024x768: strip whole at 893,749, store unchanged"

# "Esci" saves where the strip is.
quit_by_esci
[ "$(ini_value "$STORE" Sx) $(ini_value "$STORE" Top)" = "13395 11235" ] ||
    fail "Esci saved Sx=$(ini_value "$STORE" Sx) Top=$(ini_value "$STORE" Top), not 13395/11235"
note "Esci saved Sx=13395 Top=11235 (893,749)"

[ -z "${TELLAVO_FIGURES_DIR:-}" ] || { mkdir -p "$TELLAVO_FIGURES_DIR" &&
    printf 'inputs 1\nfaults 0\nfailed 0\n' >"$TELLAVO_FIGURES_DIR/e2e_screen_place.txt"; }
echo PASS
