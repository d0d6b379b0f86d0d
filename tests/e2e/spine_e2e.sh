#!/usr/bin/env bash
# The real program under Xvfb + openbox: first run with the welcome box,
# always-on-top, drag, menu, exit saves; a start with SIPP=-1; a broken store.
# Usage: spine_e2e.sh <path to tellavo>
source "$(dirname "$0")/program.sh"
start_x
program_under_test "$1"

# --- First run: the welcome box comes before any other window.
start_app
BOX=$(wait_window $APID '^Tellavo$' 150) || fail "no welcome box"
[ "$(windows_of $APID | wc -l)" -eq 1 ] || fail "a window came before the welcome box closed"
note "welcome box $BOX"
xdotool windowactivate --sync "$BOX" key --clearmodifiers Return
wait_for 50 gone "$BOX" || fail "the welcome box did not close on Enter"

W=$(wait_sized $APID "131 19" 100) || fail "no battery window of 131x19 pixels; windows: $(for w in $(windows_of $APID); do geometry $w; done)"
kill -0 $APID || fail "the program ended after the welcome box"
wait_for 30 at_x "$W" 7 || fail "battery window not at 7,7 (100 twips): $(geometry $W)"
note "battery window $W at $(geometry $W)"
wait_for 30 is_above "$W" || fail "battery window not above others: $(xprop -id $W _NET_WM_STATE)"

# --- Drag with the left button.
start_drag || fail "the window did not start moving with the pointer: $(geometry $W)"
wait_for 30 drag_step 200 300 100 || fail "the window did not follow the pointer to 200,300: $(geometry $W)"
wait_for 30 drag_step 400 500 300 || fail "the window did not follow the pointer to 400,500: $(geometry $W)"
xdotool mouseup 1
wait_for 30 right_of "$W" 100 || fail "the window did not follow the drag: $(geometry $W)"
read -r DX DY _ _ < <(geometry "$W")
note "dragged to $DX,$DY"
[ "$(windows_of $APID | wc -l)" -eq 1 ] || fail "a left press opened something"

# --- Right press opens the menu; "&Esci" ends with status 0 and saves.
quit_by_esci
[ -f "$STORE" ] || fail "no settings file at $STORE"
[ "$(ini_value "$STORE" Soglia)" = 0 ] || fail "Soglia: $(cat "$STORE")"
[ "$(ini_value "$STORE" SIPP)" = 1 ] || fail "SIPP: $(cat "$STORE")"
[ "$(ini_value "$STORE" Sx)" = $((DX * 15)) ] || fail "Sx $(ini_value "$STORE" Sx), dragged to $DX"
[ "$(ini_value "$STORE" Top)" = $((DY * 15)) ] || fail "Top $(ini_value "$STORE" Top), dragged to $DY"
[ "$(ini_value "$STORE" Messaggio)" = "Attacca la spina!!" ] || fail "Messaggio: $(cat "$STORE")"
note "saved: $(tr '\n' ' ' <"$STORE")"

# --- SIPP=-1: no welcome box, not above; closing by the window manager saves nothing.
sed -i 's/^SIPP=.*/SIPP=-1/' "$STORE"
cp "$STORE" "$E2E_TMP/before.ini"
start_app
W=$(wait_strip) || fail "no battery window on the second start"
wait_for 20 at_x "$W" "$DX" || fail "second start not at the saved place $DX,$DY: $(geometry $W)"
if wait_window $APID '^Tellavo$' 10 >/dev/null; then fail "welcome box with SIPP=-1"; fi
# The program sets the window's states before it maps it: by now openbox has
# settled them.
if is_above "$W"; then fail "window above others with SIPP=-1"; fi
note "second start at $(geometry $W), not above"
start_drag || fail "the window did not start moving with the pointer again: $(geometry $W)"
wait_for 30 drag_step 600 600 $((DX + 100)) || fail "the window did not follow the second drag: $(geometry $W)"
xdotool mouseup 1
wait_for 50 input_free || fail "the window manager kept the input after the drag"
xdotool windowactivate --sync "$W" key --clearmodifiers alt+F4
wait_exit $APID 50 || fail "the program did not end when its window was closed"
cmp -s "$STORE" "$E2E_TMP/before.ini" || fail "closing the window wrote the store"
note "closed by the window manager (status $EXIT_STATUS), store unchanged"

# --- A threshold out of range: an error box, a non-zero exit, the store untouched.
sed -i 's/^Soglia=.*/Soglia=256/' "$STORE"
cp "$STORE" "$E2E_TMP/before.ini"
start_app
BOX=$(wait_window $APID '^Tellavo$' 150) || fail "no error box for Soglia=256"
[ "$(windows_of $APID | wc -l)" -eq 1 ] || fail "a window came with the error box"
xdotool windowactivate --sync "$BOX" key --clearmodifiers Return
wait_exit $APID 50 || fail "the program did not end after the error box"
[ "$EXIT_STATUS" -ne 0 ] || fail "exit status 0 after a start-up error"
cmp -s "$STORE" "$E2E_TMP/before.ini" || fail "the error changed the store"
note "Soglia=256: error box, exit status $EXIT_STATUS, store unchanged"

echo "PASS"
