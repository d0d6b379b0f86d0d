# shellcheck shell=bash
# Sourced by the end-to-end tests and the benchmark's set-up: Xvfb with a window
# manager, a fixture battery, and this folder's private system bus with a UPower
# on it. Every PID in E2E_PIDS is stopped on exit.

set -u
E2E_PIDS=()
E2E_TMP=$(mktemp -d /tmp/tellavo-e2e.XXXXXX)
# shellcheck source=SCRIPTDIR/private_bus.sh
source "$(dirname "${BASH_SOURCE[0]}")/private_bus.sh"

# What the program said last goes with a failure: CI keeps no other trace of it.
fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "$E2E_TMP"/app*.log; do
        [ -s "$log" ] && { echo "--- the end of ${log##*/}:" && tail -n 15 "$log"; } >&2
    done
    exit 1
}
note() { echo "-- $*"; }

stop_all() {
    set +e
    private_bus_stop_all
    local pid i
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do kill "${E2E_PIDS[$i]}" 2>/dev/null; done
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

# wait_for <tenths of a second> <command...>: retries the command until it
# succeeds. It runs in this shell: a function may leave a result in a variable.
wait_for() {
    local tries=$1 n
    shift
    for ((n = 0; n < tries; n++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# start_xvfb: a private X server, 1280x1024 unless XVFB_SCREEN says otherwise
# (as Xvfb's -screen does); exports DISPLAY.
start_xvfb() {
    local fifo=$E2E_TMP/displayfd
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$fifo" >"$E2E_TMP/xvfb.log" 2>&1 &
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
    local name=$1 log=$E2E_TMP/$1.log
    shift
    for _ in 1 2 3; do
        "$@" >"$log" 2>&1 &
        E2E_PIDS+=($!)
        wait_for 100 wm_running && return 0
        kill "${E2E_PIDS[-1]}" 2>/dev/null
    done
    fail "$name did not start: $(cat "$log")"
}

# start_x: Xvfb with openbox.
start_x() {
    start_xvfb
    start_wm openbox openbox --sm-disable
    note "X server $DISPLAY with openbox"
}

# The visible windows of a process, one id per line.
windows_of() {
    xdotool search --onlyvisible --pid "$1" 2>/dev/null
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
