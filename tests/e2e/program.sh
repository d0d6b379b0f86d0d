# Sourced by the end-to-end tests: the program under test with a store and a
# power source of the test's own; helpers to wait on and read its windows.
# shellcheck source=SCRIPTDIR/../lib/xvfb_session.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib/xvfb_session.sh"
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Where a desktop runs as a plain user (wayland_compositors.sh), so does the
# program; own_by_desktop_user hands that user the files it must write.
DESKTOP_USER=
AS_DESKTOP_USER=()
own_by_desktop_user() { [ -z "$DESKTOP_USER" ] || chown -R "$DESKTOP_USER:" "$@"; }

# program_under_test <path>: APP, STORE (not written: see write_store) in a
# settings folder of the test's own, and a fixture battery (57 %, discharging)
# in the kernel's files with no system bus (mocked_upower replaces them).
program_under_test() {
    APP=$(readlink -f "$1")
    [ -x "$APP" ] || fail "no program at $1"
    if [ -n "$DESKTOP_USER" ]; then
        # The build folder may lie where the plain user cannot reach (under /root).
        cp "$APP" "$E2E_TMP/tellavo"
        APP=$E2E_TMP/tellavo
    fi
    export XDG_CONFIG_HOME=$E2E_TMP/config
    STORE=$XDG_CONFIG_HOME/Ambrovia/Ambrovia.ini
    make_battery "$E2E_TMP/power" 57 Discharging 0
    export TELLAVO_POWER_SUPPLY_DIR=$E2E_TMP/power
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$E2E_TMP/no-bus
    unset QT_QPA_PLATFORM # on the Wayland compositors the program itself asks for xcb
}

# mocked_upower <upower_mock.py options...>: the readings come from a mocked
# UPower on a private system bus only: the power supply folder is empty.
mocked_upower() {
    private_bus_start "$E2E_TMP/bus" || fail "no private bus"
    upower_mock_start "$@" || fail "no mocked UPower"
    mkdir -p "$E2E_TMP/no-power"
    export TELLAVO_POWER_SUPPLY_DIR=$E2E_TMP/no-power
}

# write_store [Key=value...]: a store of a first run already done (no welcome
# box), the given keys in place of the defaults.
write_store() {
    local -A keys=([Soglia]=30 [SIPP]=1 [Sx]=1500 [Top]=1500 [Messaggio]='Attacca la spina!!')
    local kv
    for kv; do keys[${kv%%=*}]=${kv#*=}; done
    mkdir -p "$(dirname "$STORE")"
    printf '[Generale]\nSoglia=%s\nSIPP=%s\nSx=%s\nTop=%s\nMessaggio=%s\n' "${keys[Soglia]}" "${keys[SIPP]}" \
        "${keys[Sx]}" "${keys[Top]}" "${keys[Messaggio]}" >"$STORE"
    own_by_desktop_user "$XDG_CONFIG_HOME"
}

# start_app [VAR=value...]: the program, its PID in APID, its output in
# app<N>.log (one a start).
APP_STARTS=0
start_app() {
    APP_STARTS=$((APP_STARTS + 1))
    "${AS_DESKTOP_USER[@]}" env "$@" "$APP" >"$E2E_TMP/app$APP_STARTS.log" 2>&1 &
    APID=$!
    E2E_PIDS+=($APID)
}

# first_window <pid> <test...>: FOUND is the first visible window of the
# process for which "test... <window>" succeeds.
first_window() {
    local pid=$1 w
    shift
    for w in $(windows_of "$pid"); do "$@" "$w" && FOUND=$w && return 0; done
    return 1
}
titled() { xdotool getwindowname "$2" 2>/dev/null | grep -Eq -- "$1"; }
sized() { [ "$(geometry "$2" | cut -d' ' -f3-)" = "$1" ]; }

# wait_window <pid> <name-regex> <tenths>: prints the id of a visible window
# of the process whose title matches.
wait_window() { wait_for "$3" first_window "$1" titled "$2" && echo "$FOUND"; }
# wait_sized <pid> "<width> <height>" <tenths>: the same, by its size.
wait_sized() { wait_for "$3" first_window "$1" sized "$2" && echo "$FOUND"; }
# wait_strip: the battery window of the program started last.
wait_strip() { wait_sized "$APID" "131 19" 150; }

# geometry <window>: "x y width height" of the window on the screen.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /^ *Width/{w=$NF} /^ *Height/{h=$NF} END{print x, y, w, h}'
}
# at_x <window> <x>: the window's left edge is there.
at_x() { [ "$(geometry "$1" | cut -d' ' -f1)" = "$2" ]; }
# right_of <window> <x>: the window's left edge is beyond x.
right_of() { [ "$(geometry "$1" | cut -d' ' -f1)" -gt "$2" ]; }
# drag_step <x> <y> <left>: a button held, the pointer to x,y; true once the
# strip W's left edge is beyond <left>. A pixel off every other try makes each
# try a motion, for a move the window manager began after the last one.
JIGGLE=0
drag_step() {
    JIGGLE=$((1 - JIGGLE))
    xdotool mousemove $(($1 + JIGGLE)) "$2"
    right_of "$W" "$3"
}
# start_drag: a left press on the strip W, then the pointer a pixel further
# right at each try until the strip follows. KWin starts the move from where
# the pointer is when the request comes: a long motion before that would be
# lost, and so would every motion back to a place it already passed.
drag_further() {
    DRAG_X=$((DRAG_X + 1))
    xdotool mousemove "$DRAG_X" "$1"
    right_of "$W" "$2"
}
start_drag() {
    local x y
    read -r x y _ _ < <(geometry "$W")
    xdotool mousemove --window "$W" 10 8 mousedown 1
    DRAG_X=$((x + 14))
    wait_for 30 drag_further $((y + 8)) "$x"
}
# pixels_off <a.png> <b.png> [fuzz %]: how many pixels differ (by more than the fuzz).
pixels_off() { compare -metric AE -fuzz "${3:-0}%" "$1" "$2" null: 2>&1; }
# gone <window>: no longer shown.
gone() { ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }

is_above() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }

# The status picture of the strip W lies one frame pixel in from imgStato's
# place (102,0): picture_region <file.png>.
picture_region() { import -window "$W" -crop 16x16+103+1 +repage "PNG32:$1" 2>/dev/null; }
# picture_reference <n> <file>: asset n over the strip's own background, as
# the strip shows it (the format by the file's prefix, PNG32: or rgb:); the
# background from the pixel right of the picture inside its control. Needs
# ASSETS, the source's assets folder.
picture_reference() {
    local bg
    bg=$(import -window "$W" -crop 1x1+119+1 +repage -format '%[pixel:p{0,0}]' info: 2>/dev/null) || return 1
    convert "$ASSETS/$1.xpm" -background "$bg" -flatten -depth 8 "$2"
}
# shows_picture <n>: the picture region shows asset n.
shows_picture() {
    picture_region "$E2E_TMP/pic.png" && picture_reference "$1" "PNG32:$E2E_TMP/ref.png" &&
        [ "$(pixels_off "$E2E_TMP/pic.png" "$E2E_TMP/ref.png")" = 0 ]
}
# box_windows: the program's message boxes (titled "Tellavo"), one id a line.
box_windows() { for w in $(windows_of $APID); do [ "$(xdotool getwindowname "$w")" = Tellavo ] && echo "$w"; done; }

# input_free: no client holds the pointer or the keyboard. A window manager
# holds both through a move until it has taken the button's release, and
# under load that can come after the test's next press or key: sent then,
# they go to the window manager and are lost.
input_free() { /usr/bin/python3 "$E2E_DIR/input_free.py"; }
# pointer_on <window>: the pointer at 10,8 of the window as the X server
# sees it, and nothing holds the input: a press now goes there.
pointer_on() {
    local x y
    read -r x y _ _ < <(geometry "$1")
    xdotool mousemove --window "$1" 10 8 &&
        [ "$(xdotool getmouselocation | cut -d' ' -f1-2)" = "x:$((x + 10)) y:$((y + 8))" ] && input_free
}

# open_menu: a right press on the strip W; returns once the menu (a second
# window of the program) is shown.
menu_shown() { [ "$(windows_of "$APID" | wc -l)" -ge 2 ]; }
open_menu() {
    wait_for 50 pointer_on "$W" || return 1
    xdotool click 3
    wait_for 50 menu_shown
}

# quit_by_esci: "Esci" from the strip's menu ends the program with status 0.
quit_by_esci() {
    open_menu || fail "no menu for Esci"
    xdotool key e
    wait_exit "$APID" 50 || fail "the program did not end on Esci"
    [ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after Esci"
}

# wait_exit <pid> <tenths>: waits for the process to end; its status in EXIT_STATUS.
ended() { ! kill -0 "$1" 2>/dev/null; }
wait_exit() {
    wait_for "$2" ended "$1" || return 1
    wait "$1"
    EXIT_STATUS=$?
}

# The value of a key of "Generale" in a settings file.
ini_value() {
    awk -v key="$2" -F= '/^\[/{sec=$0; next} sec=="[Generale]" && $1==key {sub(/^[^=]*=/, ""); v=$0} END{print v}' "$1"
}

# A session bus of the test's own (the accessibility bus, a desktop's services).
start_session_bus() {
    local out=$E2E_TMP/session-bus.address
    "${AS_DESKTOP_USER[@]}" dbus-daemon --session --nofork --nopidfile --print-address=1 \
        >"$out" 2>"$E2E_TMP/session-bus.log" &
    E2E_PIDS+=($!)
    wait_for 50 test -s "$out" || fail "no session bus: $(cat "$E2E_TMP/session-bus.log")"
    export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$out")
}
