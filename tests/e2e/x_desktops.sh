# Sourced by desktops_e2e.sh: a desktop's window manager on Xvfb, openbox,
# xfwm4, i3, mutter or KWin, with a session bus of its own where it wants
# one; exports DISPLAY.

# The window managers' settings live in the test's folder, never the user's:
# four workspaces for mutter (GNOME makes them on demand through its shell,
# which is not run here) and KWin (one by default), on X11 and on Wayland.
desktop_settings() {
    export XDG_CONFIG_HOME=$E2E_TMP/wm-config
    mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
    printf '[org/gnome/mutter]\ndynamic-workspaces=false\n[org/gnome/desktop/wm/preferences]\nnum-workspaces=4\n' \
        >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
    printf '[Desktops]\nNumber=4\nRows=1\n' >"$XDG_CONFIG_HOME/kwinrc"
    export GSETTINGS_BACKEND=keyfile
    own_by_desktop_user "$XDG_CONFIG_HOME"
}

# start_x_desktop <openbox|xfwm4|i3|mutter-x11|kwin-x11>
start_x_desktop() {
    case $1 in
    openbox)
        start_x
        return
        ;;
    i3)
        start_xvfb
        printf '# i3 config file (v4)\nfont pango:DejaVu Sans 8\n' >"$E2E_TMP/i3.conf"
        start_wm i3 i3 -c "$E2E_TMP/i3.conf"
        return
        ;;
    esac
    start_xvfb
    start_session_bus
    case $1 in
    xfwm4) start_wm xfwm4 xfwm4 --replace ;;
    mutter-x11) start_wm mutter mutter --x11 --replace --sm-disable ;;
    # Without compositing, so that a screenshot of the root window shows
    # what is on the screen (with it, Xvfb's root stays black).
    kwin-x11) KWIN_COMPOSE=N start_wm kwin kwin_x11 --replace ;;
    *) fail "unknown desktop $1" ;;
    esac
}
