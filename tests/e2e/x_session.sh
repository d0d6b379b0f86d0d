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

start_x() {
    local fifo=$E2E_TMP/displayfd
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    local num
    read -r -t 20 num <"$fifo" || fail "Xvfb did not start"
    export DISPLAY=":$num"
    wait_for 100 xdpyinfo || fail "X server $DISPLAY not answering"
    local attempt
    for attempt in 1 2 3; do
        openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
        E2E_PIDS+=($!)
        wait_for 100 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" && break
        kill "${E2E_PIDS[-1]}" 2>/dev/null
        [ "$attempt" = 3 ] && fail "openbox did not start: $(cat "$E2E_TMP/openbox.log")"
    done
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
