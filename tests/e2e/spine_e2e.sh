#!/usr/bin/env bash
# The real program under Xvfb + openbox: first run with the welcome box,
# always-on-top, drag, menu, exit saves; a start with SIPP=-1; a broken store.
# Usage: spine_e2e.sh <path to tellavo>
source "$(dirname "$0")/x_session.sh"
APP=$(readlink -f "$1")
[ -x "$APP" ] || fail "no program at $1"

start_x
export XDG_CONFIG_HOME=$E2E_TMP/config
STORE=$XDG_CONFIG_HOME/Ambrovia/Ambrovia.ini
make_battery "$E2E_TMP/power" 57 Discharging 0
export TELLAVO_POWER_SUPPLY_DIR=$E2E_TMP/power
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$E2E_TMP/no-bus   # no UPower: the kernel's files
unset QT_QPA_PLATFORM

# --- First run: the welcome box comes before any other window.
"$APP" >"$E2E_TMP/app1.log" 2>&1 &
APID=$!
E2E_PIDS+=($APID)
BOX=$(wait_window $APID '^Tellavo$' 150) || fail "no welcome box"
[ "$(windows_of $APID | wc -l)" -eq 1 ] || fail "a window came before the welcome box closed"
note "welcome box $BOX"
sleep 0.3
xdotool windowactivate --sync "$BOX" key --clearmodifiers Return
wait_for 50 sh -c "! xwininfo -id $BOX -stats 2>/dev/null | grep -q IsViewable" ||
    fail "the welcome box did not close on Enter"

W=$(wait_sized $APID "131 19" 100) || fail "no battery window of 131x19 pixels; windows: $(for w in $(windows_of $APID); do geometry $w; done)"
kill -0 $APID || fail "the program ended after the welcome box"
wait_for 30 sh -c "xwininfo -id $W | grep -q 'Absolute upper-left X: *7$'" ||
    fail "battery window not at 7,7 (100 twips): $(geometry $W)"
note "battery window $W at $(geometry $W)"
wait_for 30 is_above "$W" || fail "battery window not above others: $(xprop -id $W _NET_WM_STATE)"

# The label shows the fixture's charge after the first tick.
wait_for 30 sh -c "xprop -id $W WM_NAME >/dev/null" || true

# --- Drag with the left button.
xdotool mousemove --window "$W" 10 8 mousedown 1
sleep 0.2
xdotool mousemove 200 300
sleep 0.1
xdotool mousemove 400 500
sleep 0.2
xdotool mouseup 1
wait_for 30 sh -c "geometry() { xwininfo -id \$1 | awk '/Absolute upper-left X/{print \$NF}'; }; [ \$(geometry $W) -gt 100 ]" ||
    fail "the window did not follow the drag: $(geometry $W)"
read -r DX DY _ _ < <(geometry "$W")
note "dragged to $DX,$DY"
[ "$(windows_of $APID | wc -l)" -eq 1 ] || fail "a left press opened something"

# --- Right press opens the menu; "&Esci" ends with status 0 and saves.
xdotool mousemove --window "$W" 10 8 click 3
wait_for 30 sh -c "[ \$(xdotool search --onlyvisible --pid $APID | wc -l) -ge 2 ]" ||
    fail "no menu after a right press"
note "menu open"
xdotool key e
wait_exit $APID 50 || fail "the program did not end on Esci"
[ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after Esci"
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
"$APP" >"$E2E_TMP/app2.log" 2>&1 &
APID=$!
E2E_PIDS+=($APID)
W=$(wait_sized $APID "131 19" 150) || fail "no battery window on the second start"
wait_for 20 sh -c "xwininfo -id $W | grep -q 'Absolute upper-left X: *$DX$'" ||
    fail "second start not at the saved place $DX,$DY: $(geometry $W)"
if wait_window $APID '^Tellavo$' 10 >/dev/null; then fail "welcome box with SIPP=-1"; fi
sleep 0.5
if is_above "$W"; then fail "window above others with SIPP=-1"; fi
note "second start at $(geometry $W), not above"
xdotool mousemove --window "$W" 10 8 mousedown 1 mousemove 600 600 mouseup 1
sleep 0.3
xdotool windowactivate --sync "$W" key --clearmodifiers alt+F4
wait_exit $APID 50 || fail "the program did not end when its window was closed"
cmp -s "$STORE" "$E2E_TMP/before.ini" || fail "closing the window wrote the store"
note "closed by the window manager (status $EXIT_STATUS), store unchanged"

# --- A threshold out of range: an error box, a non-zero exit, the store untouched.
sed -i 's/^Soglia=.*/Soglia=256/' "$STORE"
cp "$STORE" "$E2E_TMP/before.ini"
"$APP" >"$E2E_TMP/app3.log" 2>&1 &
APID=$!
E2E_PIDS+=($APID)
BOX=$(wait_window $APID '^Tellavo$' 150) || fail "no error box for Soglia=256"
[ "$(windows_of $APID | wc -l)" -eq 1 ] || fail "a window came with the error box"
xdotool windowactivate --sync "$BOX" key --clearmodifiers Return
wait_exit $APID 50 || fail "the program did not end after the error box"
[ "$EXIT_STATUS" -ne 0 ] || fail "exit status 0 after a start-up error"
cmp -s "$STORE" "$E2E_TMP/before.ini" || fail "the error changed the store"
note "Soglia=256: error box, exit status $EXIT_STATUS, store unchanged"

echo "PASS"
