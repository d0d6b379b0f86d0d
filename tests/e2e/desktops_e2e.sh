#!/usr/bin/env bash
# The strip on one desktop, the same cases everywhere: its place and size,
# above other windows, on every workspace without a taskbar entry, a left drag
# and "Esci" saving the place, the menu at the pointer, the options dialog
# (a screenshot and its title-bar hints), the warning box above; then a start
# with always-on-top off. Prints the desktop's row of the "Works on" table and
# leaves it, with the screenshot, in the output folder. What a desktop does
# not have (an above state, a screen capture) is said in the row.
# Usage: desktops_e2e.sh <desktop> <path to tellavo> <output folder>
#   desktop: openbox, xfwm4, i3, mutter-x11, kwin-x11, mutter-wayland, sway, kwin-wayland
source "$(dirname "$0")/program.sh"
source "$(dirname "$0")/x_desktops.sh"
source "$(dirname "$0")/wayland_compositors.sh"
DESKTOP=$1
OUT=$3
mkdir -p "$OUT"
rm -f "$OUT/$DESKTOP".* "$OUT/$DESKTOP"-*

desktop_settings
case $DESKTOP in
mutter-wayland | sway | kwin-wayland) start_wayland_desktop "${DESKTOP%-wayland}" ;;
*) start_x_desktop "$DESKTOP" ;;
esac
note "$DESKTOP on $DISPLAY"
program_under_test "$2"
write_store

# The row's cells, filled in as the cases pass.
PLACE= ABOVE= WORKSPACES= DRAG= MENU= HINTS= BOXCELL= SIPPOFF=

# What each desktop offers.
HAS_ABOVE=yes
case $DESKTOP in i3 | sway) HAS_ABOVE= ;; esac
MSG=i3-msg
[ "$DESKTOP" = sway ] && MSG=swaymsg
has_state() { xprop -id "$1" _NET_WM_STATE | grep -q "_NET_WM_STATE_$2\b"; }
# The tiling compositors' own view of a window: its "floating" field.
tree_floating() {
    $MSG -t get_tree | python3 -c '
import json, sys
def walk(n):
    if n.get("window") == int(sys.argv[1]):
        print("floating" if n.get("type") == "floating_con" or str(n.get("floating")).endswith("_on") else "tiled")
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        walk(c)
walk(json.load(sys.stdin))' "$1"
}

# screen_crop <x> <y> <w> <h> <file>: what the screen shows there. Headless
# mutter offers no capture to a client outside its shell.
screen_crop() {
    case $DESKTOP in
    sway) grim -g "$1,$2 $3x$4" "$5" 2>/dev/null ;;
    mutter-wayland | kwin-wayland) return 1 ;;
    *) import -window root -crop "$3x$4+$1+$2" +repage "PNG32:$5" 2>/dev/null ;;
    esac
}
# alike <a.png> <b.png> <budget>: at most <budget> pixels differ by more than
# 10 % of the colour range. What a compositor draws besides the window's own
# pixels (a shadow's edge, a blended pixel where two windows meet, the last
# frames of a window fading in) touches a few pixels or changes them a little;
# a window in front changes nearly all of them.
alike() {
    local n
    n=$(pixels_off "$1" "$2" 10)
    [[ $n =~ ^[0-9]+$ ]] && ((n <= $3))
}
# The ">" label and the frame at the strip's right end never change while it
# runs: on screen they show that the strip is there and uncovered. The
# reference is the window's own picture of them, which no compositor touches.
strip_shot() {
    local x y
    read -r x y _ _ < <(geometry "$W")
    screen_crop $((x + 119)) "$y" 12 19 "$1"
}
strip_on_screen() { strip_shot "$E2E_TMP/now.png" && alike "$E2E_TMP/ref.png" "$E2E_TMP/now.png" 12; }
CAN_SHOOT=yes
case $DESKTOP in mutter-wayland | kwin-wayland) CAN_SHOOT= ;; esac

start_app

# --- Place and size.
W=$(wait_strip) || fail "no strip of 131x19: $(for w in $(windows_of $APID); do geometry $w; done)"
wait_for 30 at_x "$W" 100 || fail "strip not at its saved place 100,100: $(geometry "$W")"
read -r X Y WW WH < <(geometry "$W")
[ "$X $Y" = "100 100" ] || fail "strip at $X,$Y, not 100,100"
MANAGED=yes KIND=managed
xwininfo -id "$W" | grep -q 'Override Redirect State: yes' && MANAGED= KIND=unmanaged
note "strip $W at $X,$Y ${WW}x$WH, $KIND"
# The reference, once the strip has painted its label (more than two colours).
painted() {
    import -window "$W" -crop 12x19+119+0 +repage "PNG32:$E2E_TMP/ref.png" 2>/dev/null &&
        [ "$(convert "$E2E_TMP/ref.png" -format %k info:)" -gt 2 ]
}
[ -z "$CAN_SHOOT" ] || wait_for 50 painted || fail "no screenshot of the painted strip"
[ -z "$CAN_SHOOT" ] || wait_for 50 strip_on_screen ||
    fail "the screen does not show the strip as it paints itself"
PLACE="$X,$Y ${WW}x$WH"

# --- No taskbar or pager entry, on every workspace: indicator_states <when>.
# For all desktops the window manager's own word: each one here keeps
# _NET_WM_DESKTOP up to date.
on_all_desktops() { xprop -id "$W" _NET_WM_DESKTOP | grep -q '= 4294967295$'; }
indicator_states() {
    local s
    for s in SKIP_TASKBAR SKIP_PAGER; do wait_for 20 has_state "$W" $s || fail "$1: no $s"; done
    [ -z "$MANAGED" ] || wait_for 20 on_all_desktops ||
        fail "$1: not on all desktops: $(xprop -id "$W" _NET_WM_STATE _NET_WM_DESKTOP)"
}
indicator_states "at start"

# --- Above: a window of another program put over the strip and activated.
[ -z "$CAN_SHOOT" ] || screen_crop $((X - 20)) $((Y + 5)) 4 4 "$E2E_TMP/bare.png" || fail "no screenshot"
xmessage -geometry 600x400+0+0 -name cover "Una finestra sopra" >/dev/null 2>&1 &
COVER_PID=$!
E2E_PIDS+=($COVER_PID)
cover_window() { C=$(xdotool search --onlyvisible --classname '^cover$' 2>/dev/null | head -1) && [ -n "$C" ]; }
wait_for 100 cover_window || fail "the cover window did not come up"
xdotool windowactivate "$C" 2>/dev/null
# The cover is on the screen once the spot left of the strip has changed.
cover_shown() {
    screen_crop $((X - 20)) $((Y + 5)) 4 4 "$E2E_TMP/spot.png" && ! alike "$E2E_TMP/bare.png" "$E2E_TMP/spot.png" 2
}
[ -z "$CAN_SHOOT" ] || wait_for 50 cover_shown || fail "the cover window is not on the screen"
read -r cx cy cw ch < <(geometry "$C")
((cx <= X && cy <= Y && cx + cw >= X + WW && cy + ch >= Y + WH)) ||
    fail "the cover window $cx,$cy ${cw}x$ch does not cover the strip"
if [ -n "$HAS_ABOVE" ] && [ -n "$MANAGED" ]; then
    wait_for 30 has_state "$W" ABOVE || fail "strip not above: $(xprop -id "$W" _NET_WM_STATE)"
    how="_NET_WM_STATE_ABOVE"
elif [ -n "$MANAGED" ]; then
    [ "$(tree_floating "$W")" = floating ] || fail "strip not floating on $DESKTOP"
    how="no above state; floats over tiles"
else
    how="unmanaged, drawn over managed windows"
fi
if [ -n "$CAN_SHOOT" ]; then
    wait_for 30 strip_on_screen || fail "the strip is hidden by another window" \
        "($(pixels_off "$E2E_TMP/ref.png" "$E2E_TMP/now.png" 10) pixels differ)"
    ABOVE="yes ($how)"
else
    ABOVE="yes ($how; no screen capture here)"
fi
kill "$COVER_PID"
note "above: $how"

# --- Every workspace.
# switch_workspace <n>: returns once the desktop shows workspace n (from 0).
switch_workspace() {
    case $DESKTOP in
    i3 | sway)
        $MSG -q workspace $(($1 + 1))
        wait_for 30 sh -c "$MSG -t get_workspaces | python3 -c 'import json, sys
sys.exit(not any(w[\"focused\"] and w[\"name\"] == \"$(($1 + 1))\" for w in json.load(sys.stdin)))'"
        ;;
    *)
        xdotool set_desktop "$1"
        wait_for 30 sh -c "xprop -root _NET_CURRENT_DESKTOP | grep -q '= $1\$'"
        ;;
    esac
}
switch_workspace 2 || fail "no switch to another workspace"
xwininfo -id "$W" | grep -q IsViewable || fail "the strip is gone on another workspace"
# Mutter under Wayland leaves a window of another workspace mapped, but iconic.
[ -z "$MANAGED" ] || xprop -id "$W" WM_STATE | grep -q 'window state: Normal' ||
    fail "the strip is iconic on another workspace: $(xprop -id "$W" WM_STATE)"
[ -z "$CAN_SHOOT" ] || wait_for 30 strip_on_screen || fail "the strip is not shown on another workspace"
switch_workspace 0 || fail "no switch back to the first workspace"
WORKSPACES=yes
note "on every workspace"

# --- Drag with the left button.
# On the Wayland compositors XTest would move only Xwayland's idea of the
# pointer: the drag is made with the compositor's own pointer. Each step waits
# for the strip to follow, as a hand on a mouse does.
if [ "$DESKTOP" = mutter-wayland ]; then
    "${AS_DESKTOP_USER[@]}" python3 - $((X + 10)) $((Y + 8)) 900 800 "$W" <"$(dirname "$0")/mutter_drag.py" ||
        fail "no drag through mutter's remote desktop interface"
elif [ "$DESKTOP" = sway ]; then
    "${AS_DESKTOP_USER[@]}" python3 - $((X + 10)) $((Y + 8)) 900 800 1280 1024 "$W" \
        <"$(dirname "$0")/wlroots_drag.py" || fail "no drag with a virtual pointer"
elif [ "$DESKTOP" = kwin-wayland ]; then
    DRAG="SKIP (not driven: KWin offers its fake input only to programs installed with a desktop entry that asks for it; Esci saves the place)"
    note "$DRAG"
else
    start_drag || fail "the strip did not start moving with the pointer: $(geometry "$W")"
    wait_for 30 drag_step 500 450 300 || fail "the strip did not follow the pointer to 500,450: $(geometry "$W")"
    wait_for 30 drag_step 900 800 600 || fail "the strip did not follow the pointer to 900,800: $(geometry "$W")"
    xdotool mouseup 1
fi
if [ -z "$DRAG" ]; then
    wait_for 30 right_of "$W" 600 || fail "the strip did not follow the drag: $(geometry "$W")"
    DRAG="yes"
    # Sway keeps no grab for an unmanaged window: a pointer that outruns the strip drops it.
    [ -n "$MANAGED" ] || DRAG="yes, at 3 px a motion (moved by the program; no grab from sway)"
fi
read -r DX DY _ _ < <(geometry "$W")
[ -z "$CAN_SHOOT" ] || wait_for 30 strip_on_screen || fail "the strip is not shown at $DX,$DY"
note "strip at $DX,$DY"

# --- The menu at the pointer.
open_menu || fail "no menu after a right press, the pointer at $(xdotool getmouselocation)"
read -r PX PY < <(xdotool getmouselocation --shell | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}')
not_strip() { [ "$1" != "$W" ]; }
M=$(first_window $APID not_strip && echo "$FOUND") || fail "the menu went"
read -r MX MY _ _ < <(geometry "$M")
((MX - PX <= 2 && PX - MX <= 2 && MY - PY <= 2 && PY - MY <= 2)) ||
    fail "menu at $MX,$MY, the pointer at $PX,$PY"
note "menu at $MX,$MY"
MENU="yes (at the pointer)"

# --- The options dialog: a screenshot with its title bar, and its hints.
xdotool key o
D=$(wait_window $APID '^Opzioni$' 50) || fail "no options dialog"
# The screenshot once the dialog has drawn itself: two in a row alike (a text
# cursor may blink between them). KWin draws the title bar outside the X server.
SHOT=$OUT/$DESKTOP-options.png
dialog_shot() {
    local dx dy dw dh
    read -r dx dy dw dh < <(geometry "$D")
    case $DESKTOP in
    sway) screen_crop $((dx - 10)) $((dy - 40)) $((dw + 20)) $((dh + 50)) "$1" ;;
    kwin-wayland) import -window "$D" "PNG32:$1" ;;
    *) import -frame -window "$D" "PNG32:$1" ;;
    esac
}
drawn() {
    dialog_shot "$E2E_TMP/dialog.png" && [ -f "$SHOT" ] && alike "$SHOT" "$E2E_TMP/dialog.png" 20 && return
    mv "$E2E_TMP/dialog.png" "$SHOT" 2>/dev/null
    return 1
}
wait_for 50 drawn || fail "no screenshot of the dialog, or one that kept changing"
HINTS="hints $(xprop -id "$D" _MOTIF_WM_HINTS | sed 's/^[^=]*= *//')"
[ "$DESKTOP" != kwin-wayland ] || HINTS+=" (title bar not in the screenshot)"

echo "$DESKTOP: options dialog _MOTIF_WM_HINTS: $HINTS; screenshot $SHOT"
for s in STICKY SKIP_TASKBAR; do
    ! has_state "$D" $s || fail "the options dialog has $s: it should be a normal window"
done
xdotool key --clearmodifiers Escape
wait_for 50 gone "$D" || fail "Esc did not close the dialog"
# The dialog's end reapplies always-on-top; the other states stay.
indicator_states "after the dialog"
[ -z "$HAS_ABOVE" ] || [ -z "$MANAGED" ] || wait_for 30 has_state "$W" ABOVE || fail "above lost after the dialog"

# --- The warning box, above.
echo 20 >"$E2E_TMP/power/BAT0/capacity"
BOX=$(wait_window $APID '^Tellavo$' 50) || fail "no warning box at 20 % with the threshold at 30 %"
if [ -n "$HAS_ABOVE" ]; then
    wait_for 20 has_state "$BOX" ABOVE || fail "the warning box is not above: $(xprop -id "$BOX" _NET_WM_STATE)"
    BOXCELL="yes (_NET_WM_STATE_ABOVE)"
else
    [ "$(tree_floating "$BOX")" = floating ] || fail "the warning box does not float"
    BOXCELL="yes (no above state; floats over tiles)"
fi
! has_state "$BOX" SKIP_TASKBAR || fail "the warning box has no taskbar entry"
# Return once the box has the keyboard.
box_active() { xdotool windowactivate "$BOX" 2>/dev/null; [ "$(xdotool getactivewindow 2>/dev/null)" = "$BOX" ]; }
wait_for 30 box_active || fail "the warning box cannot be activated"
xdotool key --clearmodifiers Return
wait_for 30 gone "$BOX" || fail "the warning box did not close"
note "warning box: $BOXCELL"

# --- Esci saves the place.
quit_by_esci
[ "$(ini_value "$STORE" Sx) $(ini_value "$STORE" Top)" = "$((DX * 15)) $((DY * 15))" ] ||
    fail "saved Sx/Top $(ini_value "$STORE" Sx)/$(ini_value "$STORE" Top), strip at $DX,$DY"

# --- Always-on-top off: still on every workspace, no taskbar entry, not above.
sed -i 's/^SIPP=.*/SIPP=-1/' "$STORE"
start_app
W=$(wait_strip) || fail "no strip with SIPP=-1"
wait_for 30 at_x "$W" "$DX" || fail "SIPP=-1: not at the saved place $DX,$DY: $(geometry "$W")"
indicator_states "SIPP=-1"
if [ -n "$MANAGED" ]; then
    # The program sets every state of the strip before it maps it, so the
    # window manager has settled the above state with those just seen.
    ! has_state "$W" ABOVE || fail "SIPP=-1: the strip is above"
    SIPPOFF="yes, not above"
else
    SIPPOFF="yes, still above (unmanaged)"
fi
kill "$APID"
wait_exit "$APID" 30 || fail "the program did not end on SIGTERM"

echo "| $DESKTOP | $PLACE | $ABOVE | $WORKSPACES | $DRAG | $MENU | $HINTS | $BOXCELL | $SIPPOFF |" |
    tee "$OUT/$DESKTOP.row"
echo PASS
