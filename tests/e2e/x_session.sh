# Sourced by the end-to-end tests: a private X server (Xvfb) with a real
# window manager (openbox), and helpers to wait on and inspect windows.
# Every process started here is stopped by stop_all on exit, by its PID.

set -u
E2E_PIDS=()
E2E_TMP=$(mktemp -d /tmp/tellavo-e2e.XXXXXX)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

note() {
    echo "-- $*"
}

stop_all() {
    local pid
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[$i]}
        kill "$pid" 2>/dev/null
    done
    sleep 0.2
    for pid in "${E2E_PIDS[@]}"; do
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    # Sanitizer reports of the plain user's processes go where the run looks.
    [ -z "${E2E_SANITIZER_REPORTS:-}" ] || cp "$E2E_TMP"/sanitizer/{asan,ubsan}.* "$E2E_SANITIZER_REPORTS"/ 2>/dev/null
    rm -rf "$E2E_TMP"
}
trap stop_all EXIT

# wait_for <tenths of a second> <command...>: retries the command until it succeeds.
wait_for() {
    local tries=$1
    shift
    for ((n = 0; n < tries; n++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# start_xvfb: a private X server; exports DISPLAY.
start_xvfb() {
    local fifo=$E2E_TMP/displayfd
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    local num
    read -r -t 20 num <"$fifo" || fail "Xvfb did not start"
    export DISPLAY=":$num"
    wait_for 100 xdpyinfo || fail "X server $DISPLAY not answering"
}

wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# start_wm <log name> <command...>: a window manager on $DISPLAY, tried up to
# three times; returns once it has announced itself on the root window.
start_wm() {
    local name=$1 log=$E2E_TMP/$1.log attempt
    shift
    for attempt in 1 2 3; do
        "$@" >"$log" 2>&1 &
        E2E_PIDS+=($!)
        wait_for 100 wm_running && return 0
        kill "${E2E_PIDS[-1]}" 2>/dev/null
    done
    fail "$name did not start: $(cat "$log")"
}

start_x() {
    start_xvfb
    start_wm openbox openbox --sm-disable
    note "X server $DISPLAY with openbox"
}

# The visible windows of a process, one id per line.
windows_of() {
    xdotool search --onlyvisible --pid "$1" 2>/dev/null
}

# wait_window <pid> <name-regex> <tenths>: prints the id of a visible window
# of the process whose title matches.
wait_window() {
    local pid=$1 re=$2 tries=$3 w
    for ((n = 0; n < tries; n++)); do
        for w in $(windows_of "$pid"); do
            if xdotool getwindowname "$w" 2>/dev/null | grep -Eq -- "$re"; then
                echo "$w"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# wait_sized <pid> "<width> <height>" <tenths>: prints the id of a visible
# window of the process with that size.
wait_sized() {
    local pid=$1 size=$2 tries=$3 w
    for ((n = 0; n < tries; n++)); do
        for w in $(windows_of "$pid"); do
            if [ "$(geometry "$w" | cut -d' ' -f3-)" = "$size" ]; then
                echo "$w"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# geometry <window>: "x y width height" of the window on the screen.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /^ *Width/{w=$NF} /^ *Height/{h=$NF} END{print x, y, w, h}'
}

is_above() {
    xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE
}

# wait_exit <pid> <tenths>: waits for the process to end; its status in EXIT_STATUS.
wait_exit() {
    local pid=$1 tries=$2
    for ((n = 0; n < tries; n++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            EXIT_STATUS=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# A fixture battery in the kernel's layout: make_battery <dir> <percent> <status> <online>
make_battery() {
    local root=$1
    mkdir -p "$root/BAT0" "$root/AC"
    echo Battery >"$root/BAT0/type"
    echo 1 >"$root/BAT0/present"
    echo "$2" >"$root/BAT0/capacity"
    echo "$3" >"$root/BAT0/status"
    echo System >"$root/BAT0/scope"
    echo Mains >"$root/AC/type"
    echo "$4" >"$root/AC/online"
}

# The value of a key of "Generale" in a settings file.
ini_value() {
    awk -v key="$2" -F= '/^\[/{sec=$0; next} sec=="[Generale]" && $1==key {sub(/^[^=]*=/, ""); v=$0} END{print v}' "$1"
}

# --- Desktops ---------------------------------------------------------------
# start_desktop <name>: openbox, xfwm4, i3, mutter-x11 or kwin-x11 on Xvfb;
# mutter-wayland, sway or kwin-wayland headless, their X clients through Xwayland. Exports DISPLAY (and
# XAUTHORITY, XDG_RUNTIME_DIR, WAYLAND_DISPLAY, SWAYSOCK where they apply).
# The Wayland compositors run as a plain user, as people run them (sway
# refuses root): DESKTOP_USER names it, AS_DESKTOP_USER runs a command as it,
# and own_by_desktop_user hands it files the program must write.
DESKTOP_USER=
DESKTOP_TEST_USER=tellavo-e2e

# A command prefix: "${AS_DESKTOP_USER[@]}" cmd & keeps cmd's PID in $!.
AS_DESKTOP_USER=()

own_by_desktop_user() {
    [ -z "$DESKTOP_USER" ] || chown -R "$DESKTOP_USER:" "$@"
}

# As root, a system user of the tests' own, made on first use; else this one.
use_plain_user() {
    mkdir -p "$E2E_TMP/home"
    [ "$(id -u)" -eq 0 ] || return 0
    if ! id "$DESKTOP_TEST_USER" >/dev/null 2>&1; then
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            "$DESKTOP_TEST_USER" || fail "cannot make the test user $DESKTOP_TEST_USER"
    fi
    DESKTOP_USER=$DESKTOP_TEST_USER
    AS_DESKTOP_USER=(setpriv --reuid="$DESKTOP_USER" --regid="$(id -g "$DESKTOP_USER")" --clear-groups
        -- env HOME="$E2E_TMP/home")
    chmod 755 "$E2E_TMP"
    own_by_desktop_user "$E2E_TMP/home"
    sanitizer_files_for_desktop_user
}

# Under a sanitizer build the plain user may not reach the suppressions or the
# reports folder (a clone under /root): they are copied here and back.
sanitizer_files_for_desktop_user() {
    local dir=$E2E_TMP/sanitizer
    mkdir -p "$dir" && own_by_desktop_user "$dir"
    if [[ ${LSAN_OPTIONS:-} =~ suppressions=([^:]*) ]]; then
        cp "${BASH_REMATCH[1]}" "$dir/lsan.supp" && chmod 644 "$dir/lsan.supp"
        LSAN_OPTIONS=${LSAN_OPTIONS/suppressions=${BASH_REMATCH[1]}/suppressions=$dir/lsan.supp}
    fi
    local var
    for var in ASAN_OPTIONS UBSAN_OPTIONS; do
        if [[ ${!var:-} =~ log_path=([^:]*)/([^/:]*) ]]; then
            E2E_SANITIZER_REPORTS=${BASH_REMATCH[1]}
            printf -v "$var" '%s' "${!var/log_path=${BASH_REMATCH[1]}\//log_path=$dir/}"
        fi
    done
}

# A session bus of the desktop's own (xfconf, mutter's services, Qt's).
start_session_bus() {
    local out=$E2E_TMP/session-bus.address
    "${AS_DESKTOP_USER[@]}" dbus-daemon --session --nofork --nopidfile --print-address=1 \
        >"$out" 2>"$E2E_TMP/session-bus.log" &
    E2E_PIDS+=($!)
    wait_for 50 test -s "$out" || fail "no session bus: $(cat "$E2E_TMP/session-bus.log")"
    export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$out")
}

# The window managers' settings live in the test's folder, never the user's:
# four workspaces for mutter (GNOME makes them on demand through its shell,
# which is not run here) and KWin (one by default).
desktop_settings() {
    export XDG_CONFIG_HOME=$E2E_TMP/wm-config
    mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
    printf '[org/gnome/mutter]\ndynamic-workspaces=false\n[org/gnome/desktop/wm/preferences]\nnum-workspaces=4\n' \
        >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
    printf '[Desktops]\nNumber=4\nRows=1\n' >"$XDG_CONFIG_HOME/kwinrc"
    export GSETTINGS_BACKEND=keyfile
    own_by_desktop_user "$XDG_CONFIG_HOME"
}

start_desktop() {
    local desktop=$1
    desktop_settings
    case $desktop in
    openbox)
        start_x
        ;;
    xfwm4)
        start_xvfb
        start_session_bus
        start_wm xfwm4 xfwm4 --replace
        ;;
    i3)
        start_xvfb
        printf '# i3 config file (v4)\nfont pango:DejaVu Sans 8\n' >"$E2E_TMP/i3.conf"
        start_wm i3 i3 -c "$E2E_TMP/i3.conf"
        ;;
    mutter-x11)
        start_xvfb
        start_session_bus
        start_wm mutter mutter --x11 --replace --sm-disable
        ;;
    kwin-x11)
        start_xvfb
        start_session_bus
        # Without compositing, so that a screenshot of the root window shows
        # what is on the screen (with it, Xvfb's root stays black).
        KWIN_COMPOSE=N start_wm kwin kwin_x11 --replace
        ;;
    mutter-wayland | sway | kwin-wayland)
        use_plain_user
        own_by_desktop_user "$XDG_CONFIG_HOME"
        export XDG_RUNTIME_DIR=$E2E_TMP/runtime
        mkdir -m 700 "$XDG_RUNTIME_DIR"
        own_by_desktop_user "$XDG_RUNTIME_DIR"
        unset DISPLAY WAYLAND_DISPLAY
        start_session_bus
        "start_${desktop%-wayland}"
        ;;
    *)
        fail "unknown desktop $desktop"
        ;;
    esac
    note "$desktop on $DISPLAY"
}

start_mutter() {
    local log=$E2E_TMP/mutter.log
    export WAYLAND_DISPLAY=tellavo-wayland
    "${AS_DESKTOP_USER[@]}" mutter --headless --wayland --wayland-display="$WAYLAND_DISPLAY" \
        --virtual-monitor 1280x1024 --sm-disable >"$log" 2>&1 &
    E2E_PIDS+=($!)
    wait_for 150 grep -q 'Using public X11 display' "$log" || fail "mutter did not start: $(cat "$log")"
    DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$log" | head -1)
    export DISPLAY XAUTHORITY
    XAUTHORITY=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -1)
    # Xwayland starts on the first X client.
    wait_for 150 wm_running || fail "no X window manager on $DISPLAY: $(cat "$log")"
}

start_sway() {
    local log=$E2E_TMP/sway.log conf=$E2E_TMP/sway.conf out=$E2E_TMP/sway-display
    printf 'xwayland force\noutput HEADLESS-1 resolution 1280x1024\n' >"$conf"
    chmod 644 "$conf"
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        "${AS_DESKTOP_USER[@]}" sway -c "$conf" >"$log" 2>&1 &
    E2E_PIDS+=($!)
    wait_for 100 sh -c "ls '$XDG_RUNTIME_DIR'/sway-ipc.*.sock" || fail "sway did not start: $(cat "$log")"
    export SWAYSOCK WAYLAND_DISPLAY
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -1)
    WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-* | grep -v lock | head -1)
    # Sway tells its clients the Xwayland display once that is ready.
    touch "$out" && own_by_desktop_user "$out"
    local n
    for ((n = 0; n < 50; n++)); do
        swaymsg -q exec "printf %s \"\$DISPLAY\" >$out"
        sleep 0.1
        [ -s "$out" ] && break
    done
    [ -s "$out" ] || fail "sway started no Xwayland: $(cat "$log")"
    export DISPLAY=$(cat "$out")
    # Xwayland lets in the compositor's user only; the tests read windows as this one.
    "${AS_DESKTOP_USER[@]}" xhost "+si:localuser:$(id -un)" >/dev/null || fail "xhost on $DISPLAY"
    wait_for 100 wm_running || fail "no X window manager on $DISPLAY"
}

start_kwin() {
    local log=$E2E_TMP/kwin.log out=$E2E_TMP/kwin-display
    touch "$out" && own_by_desktop_user "$out"
    # Debian gives kwin_wayland a file capability, which a container without
    # it in its bounding set refuses to grant at exec; a copy has none.
    cp /usr/bin/kwin_wayland "$E2E_TMP/kwin_wayland"
    # KWin tells the Xwayland display to the program it starts. That program
    # lets this user in, and lives as long as the X server does.
    "${AS_DESKTOP_USER[@]}" "$E2E_TMP/kwin_wayland" --virtual --xwayland --width 1280 --height 1024 \
        --socket tellavo-wayland --exit-with-session \
        "sh -c 'xhost +si:localuser:$(id -un) >/dev/null; echo \$DISPLAY >$out; exec xprop -root -spy _NET_ACTIVE_WINDOW >/dev/null'" \
        >"$log" 2>&1 &
    E2E_PIDS+=($!)
    wait_for 150 test -s "$out" || fail "kwin_wayland did not start: $(cat "$log")"
    export DISPLAY WAYLAND_DISPLAY=tellavo-wayland
    DISPLAY=$(cat "$out")
    wait_for 100 wm_running || fail "no X window manager on $DISPLAY: $(cat "$log")"
}
