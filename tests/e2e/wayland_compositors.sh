# Sourced by desktops_e2e.sh: a Wayland compositor, headless, mutter, sway or
# KWin, its X clients through Xwayland. Exports DISPLAY, XAUTHORITY,
# XDG_RUNTIME_DIR, WAYLAND_DISPLAY and SWAYSOCK where they apply.
# The compositors run as a plain user, as people run them (sway refuses
# root): DESKTOP_USER names it, AS_DESKTOP_USER runs a command as it.
DESKTOP_TEST_USER=tellavo-e2e

# As root, a system user of the tests' own, made on first use; else this one.
# Tests side by side may all find it missing on a new machine: one makes it.
use_plain_user() {
    mkdir -p "$E2E_TMP/home"
    [ "$(id -u)" -eq 0 ] || return 0
    (
        flock 9
        id "$DESKTOP_TEST_USER" >/dev/null 2>&1 ||
            useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
                "$DESKTOP_TEST_USER"
    ) 9>/tmp/tellavo-e2e-user.lock || fail "cannot make the test user $DESKTOP_TEST_USER"
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

# start_wayland_desktop <mutter|sway|kwin>
start_wayland_desktop() {
    use_plain_user
    own_by_desktop_user "$XDG_CONFIG_HOME"
    export XDG_RUNTIME_DIR=$E2E_TMP/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    own_by_desktop_user "$XDG_RUNTIME_DIR"
    unset DISPLAY WAYLAND_DISPLAY
    start_session_bus
    "start_$1"
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

# Sway tells its clients the Xwayland display once that is ready.
sway_display_known() {
    swaymsg -q exec "printf %s \"\$DISPLAY\" >$1" && wait_for 2 test -s "$1"
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
    touch "$out" && own_by_desktop_user "$out"
    wait_for 30 sway_display_known "$out" || fail "sway started no Xwayland: $(cat "$log")"
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
