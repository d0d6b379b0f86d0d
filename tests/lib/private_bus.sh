# shellcheck shell=bash
# Sourced by the shell tests and, through xvfb_session.sh, the benchmark's
# set-up: a private system bus and a UPower on it, either python3-dbusmock's
# (upower_mock.py) or the real upowerd over a fake battery (upowerd_umockdev.py).
# Everything started here is stopped by its PID.
#
#   source tests/lib/private_bus.sh
#   private_bus_start "$TMP"                 # exports DBUS_SYSTEM_BUS_ADDRESS
#   upower_mock_start --percentage 57 --state discharging --on-battery
#   upower_mock_send "percentage 30"         # waits for the mock's "ok"
#   upower_mock_send "on-battery false"
#   upower_mock_stop
#   upowerd_start --percentage 57 --status Discharging --ac-online 0
#   upowerd_send "battery 88 Charging"
#   upowerd_stop
#   private_bus_stop                         # or: trap private_bus_stop_all EXIT
#
# The commands each driver takes are listed at the top of its file. A driver
# reads them from a fifo that this shell holds open: when the shell goes, the
# fifo closes and the driver ends (taking upowerd with it). Functions return
# non-zero, with a reason on stderr, when something does not come up.

TELLAVO_TEST_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TELLAVO_PYTHON=/usr/bin/python3   # the system one: it has dbusmock and gi

PRIVATE_BUS_PID=
PRIVATE_BUS_DIR=

# private_bus_start <dir>: a dbus-daemon listening on <dir>/system_bus_socket.
private_bus_start() {
    PRIVATE_BUS_DIR=$1
    mkdir -p "$PRIVATE_BUS_DIR"
    local socket=$PRIVATE_BUS_DIR/system_bus_socket
    dbus-daemon --config-file="$TELLAVO_TEST_LIB/private_bus.conf" --address="unix:path=$socket" \
        --nofork --nopidfile --nosyslog --print-address=1 \
        >"$PRIVATE_BUS_DIR/bus.address" 2>"$PRIVATE_BUS_DIR/bus.log" &
    PRIVATE_BUS_PID=$!
    local n
    for ((n = 0; n < 100; n++)); do
        [ -s "$PRIVATE_BUS_DIR/bus.address" ] && break
        kill -0 "$PRIVATE_BUS_PID" 2>/dev/null || break
        sleep 0.05
    done
    if [ ! -s "$PRIVATE_BUS_DIR/bus.address" ]; then
        echo "private_bus_start: dbus-daemon did not start: $(cat "$PRIVATE_BUS_DIR/bus.log")" >&2
        return 1
    fi
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$socket
}

private_bus_stop() {
    _tellavo_stop_pid "$PRIVATE_BUS_PID"
    PRIVATE_BUS_PID=
}

# --- drivers: one running copy of each kind at a time -----------------------

# _tellavo_driver_start <kind> <script> <args...>: starts the driver with a fifo
# on its stdin, its answers in <dir>/<kind>.out; waits for its "ready".
_tellavo_driver_start() {
    local kind=$1 script=$2
    shift 2
    local dir=$PRIVATE_BUS_DIR/$kind
    rm -rf "$dir" && mkdir -p "$dir"
    mkfifo "$dir/in"
    # What it makes (a testbed, a history) is gone with the folder, even after SIGKILL.
    TMPDIR=$dir "$TELLAVO_PYTHON" "$TELLAVO_TEST_LIB/$script" --log "$dir/log" "$@" \
        <"$dir/in" >"$dir/out" 2>"$dir/err" &
    local pid=$! fd
    exec {fd}>"$dir/in"   # the driver's stdin stays open while this shell lives
    eval "${kind}_PID=$pid ${kind}_FD=$fd"
    local n
    for ((n = 0; n < 200; n++)); do
        grep -q '^ready$' "$dir/out" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "$script did not get ready: $(cat "$dir/err")" >&2
    return 1
}

# _tellavo_driver_send <kind> <command>: sends one command and waits until the
# driver has answered it; fails when the answer is not "ok".
_tellavo_driver_send() {
    local kind=$1 cmd=$2
    local dir=$PRIVATE_BUS_DIR/$kind fd_var=${kind}_FD
    local before after n
    before=$(grep -c -E '^(ok|error)' "$dir/out")
    echo "$cmd" >&"${!fd_var}"
    for ((n = 0; n < 100; n++)); do
        after=$(grep -c -E '^(ok|error)' "$dir/out")
        [ "$after" -gt "$before" ] && break
        sleep 0.05
    done
    local answer
    answer=$(grep -E '^(ok|error)' "$dir/out" | tail -n 1)
    [ "$after" -gt "$before" ] && [ "$answer" = ok ] && return 0
    echo "$kind: '$cmd' gave '${answer:-no answer}'" >&2
    return 1
}

_tellavo_driver_stop() {
    local kind=$1 pid_var=${1}_PID fd_var=${1}_FD
    local fd=${!fd_var:-}
    [ -n "$fd" ] && exec {fd}>&-
    _tellavo_stop_pid "${!pid_var:-}"
    eval "${kind}_PID= ${kind}_FD="
}

# _tellavo_stop_pid <pid>: SIGTERM, a moment to go, then SIGKILL; reaps it.
_tellavo_stop_pid() {
    local pid=$1 n
    [ -n "$pid" ] || return 0
    kill -CONT "$pid" 2>/dev/null   # a stopped process cannot act on SIGTERM
    kill -TERM "$pid" 2>/dev/null
    for ((n = 0; n < 40; n++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

upower_mock_start() { _tellavo_driver_start UPOWER_MOCK upower_mock.py "$@"; }
upower_mock_send() { _tellavo_driver_send UPOWER_MOCK "$1"; }
upower_mock_stop() { _tellavo_driver_stop UPOWER_MOCK; }
upowerd_start() { _tellavo_driver_start UPOWERD upowerd_umockdev.py "$@"; }
upowerd_send() { _tellavo_driver_send UPOWERD "$1"; }
upowerd_stop() { _tellavo_driver_stop UPOWERD; }

# Stops whatever of the above is still running: for a trap on EXIT.
private_bus_stop_all() {
    upower_mock_stop
    upowerd_stop
    private_bus_stop
}
