#!/usr/bin/env bash
# The options dialog opened from the real program's menu under Xvfb + openbox:
# a threshold and a message typed in, OK, then "Esci": the store holds them,
# and the battery window is still above other windows after the dialog.
# Usage: options_e2e.sh <path to tellavo>
source "$(dirname "$0")/program.sh"
start_x
program_under_test "$1"
write_store Soglia=20
start_app
W=$(wait_strip) || fail "no battery window"
wait_for 30 is_above "$W" || fail "battery window not above at start"

# Menu, then "Opzioni..." by its access key.
open_menu || fail "no menu"
xdotool key o
D=$(wait_window $APID '^Opzioni$' 50) || fail "no options dialog"
read -r _ _ DW DH < <(geometry "$D")
[ "$DW $DH" = "312 136" ] || fail "dialog client area $DW x $DH, not 312 x 136"
# Its place is the window manager's choice: the program asks for none.
if xprop -id "$D" WM_NORMAL_HINTS | grep -q 'specified location'; then
    fail "the dialog asks for a place of its own: $(xprop -id "$D" WM_NORMAL_HINTS)"
fi
note "dialog $D open at $(geometry "$D"), placed by the window manager"
# A title bar with the title only: border and title, movable, nothing else.
hints=$(xprop -id "$D" _MOTIF_WM_HINTS)
[ "${hints#*= }" = "0x3, 0x4, 0xa, 0x0, 0x0" ] || fail "the dialog's decoration hints: $hints"
# A picture of it in its frame, for the README.
SHOTS=$(dirname "$APP")/screenshots
mkdir -p "$SHOTS"
read -r fl fr ft fb < <(xprop -id "$D" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
read -r DX DY DW DH < <(geometry "$D")
import -window root -crop "$((DW + fl + fr))x$((DH + ft + fb))+$((DX - fl))+$((DY - ft))" +repage \
    "$SHOTS/options.png" || fail "no screenshot of the dialog"
note "screenshot: $SHOTS/options.png"
xdotool windowactivate --sync "$D"
# The focus starts in the threshold box.
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 30 "35"
xdotool key --clearmodifiers alt+m ctrl+a
xdotool type --delay 30 "Presto, la spina!"
xdotool key --clearmodifiers Return
wait_for 50 gone "$D" || fail "the dialog did not close on Enter"
[ "$(ini_value "$STORE" Soglia)" = 35 ] || fail "OK did not save Soglia: $(cat "$STORE")"
[ "$(ini_value "$STORE" Messaggio)" = "Presto, la spina!" ] || fail "OK did not save Messaggio: $(cat "$STORE")"
note "OK saved: $(tr '\n' ' ' <"$STORE")"
wait_for 30 is_above "$W" || fail "battery window not above after the dialog: $(xprop -id $W _NET_WM_STATE)"

# Annulla after edits changes nothing.
cp "$STORE" "$E2E_TMP/before.ini"
open_menu || fail "no menu"
xdotool key o
D=$(wait_window $APID '^Opzioni$' 50) || fail "no options dialog the second time"
xdotool windowactivate --sync "$D"
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 30 "90"
xdotool key --clearmodifiers Escape
wait_for 50 gone "$D" || fail "Esc did not close the dialog"
cmp -s "$STORE" "$E2E_TMP/before.ini" || fail "Esc wrote the store"
wait_for 30 is_above "$W" || fail "battery window not above after Esc"

quit_by_esci
[ "$(ini_value "$STORE" Soglia)" = 35 ] || fail "Esci lost Soglia: $(cat "$STORE")"
[ "$(ini_value "$STORE" Messaggio)" = "Presto, la spina!" ] || fail "Esci lost Messaggio"
echo "PASS"
