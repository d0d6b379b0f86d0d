#!/usr/bin/env bash
# The shell side of tests/lib as the end-to-end tests use it: private_bus.sh
# brings up a bus, the mocked UPower and the real upowerd, drives them, and
# leaves nothing running once they are stopped.
set -u
# shellcheck source=SCRIPTDIR/../lib/private_bus.sh
source "$(dirname "$0")/../lib/private_bus.sh"
TMP=$(mktemp -d /tmp/tellavo-power-sh.XXXXXX)
trap 'private_bus_stop_all; rm -rf "$TMP"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
DEV=/org/freedesktop/UPower/devices/DisplayDevice
# prop <path> <interface> <name>: the value as gdbus prints it, e.g. (<57.0>,)
prop() {
    gdbus call --system -d org.freedesktop.UPower -o "$1" \
        -m org.freedesktop.DBus.Properties.Get "$2" "$3" 2>&1
}
percentage() { prop $DEV org.freedesktop.UPower.Device Percentage; }
on_battery() { prop /org/freedesktop/UPower org.freedesktop.UPower OnBattery; }
# expect <what> <value> <command...>: retries for up to 3 s (upowerd updates a
# moment after the uevent).
expect() {
    local what=$1 want=$2 got n
    shift 2
    for ((n = 0; n < 30; n++)); do
        got=$("$@")
        [ "$got" = "$want" ] && return 0
        sleep 0.1
    done
    fail "$what: $got, expected $want"
}
gone() {
    local pid=$1
    # a zombie left to an init that does not reap still answers kill -0
    [ -z "$(ps -o stat= -p "$pid" 2>/dev/null | grep -v Z)" ]
}

private_bus_start "$TMP" || fail "no private bus"
case $DBUS_SYSTEM_BUS_ADDRESS in
    "unix:path=$TMP/system_bus_socket") ;;
    *) fail "DBUS_SYSTEM_BUS_ADDRESS is $DBUS_SYSTEM_BUS_ADDRESS" ;;
esac

upower_mock_start --percentage 57 --state discharging --on-battery || fail "no mock"
expect "mock percentage" "(<57.0>,)" percentage
expect "mock on battery" "(<true>,)" on_battery
upower_mock_send "percentage 30" || fail "percentage refused"
expect "mock percentage after the change" "(<30.0>,)" percentage
upower_mock_send "on-battery false" || fail "on-battery refused"
expect "mock on AC" "(<false>,)" on_battery
upower_mock_send "set display Percentage 'garbage'" || fail "set refused"
expect "mock garbage" "(<'garbage'>,)" percentage
upower_mock_send "remove-battery" || fail "remove-battery refused"
expect "no battery" "(<false>,)" prop $DEV org.freedesktop.UPower.Device IsPresent
if upower_mock_send "no-such-command" 2>/dev/null; then
    fail "a command that does not exist was taken"
fi
mock=$UPOWER_MOCK_PID
upower_mock_stop
gone "$mock" || fail "the mock is still running"

upowerd_start --percentage 44 --status Discharging --ac-online 0 || fail "no upowerd"
driver=$UPOWERD_PID
daemon=$(pgrep -P "$driver" upowerd)
[ -n "$daemon" ] || fail "upowerd is not the driver's child"
expect "upowerd percentage" "(<44.0>,)" percentage
expect "upowerd on battery" "(<true>,)" on_battery
upowerd_send "battery 20 Discharging" || fail "battery refused"
expect "upowerd percentage after the uevent" "(<20.0>,)" percentage
upowerd_send "ac 1" || fail "ac refused"
expect "upowerd on AC" "(<false>,)" on_battery
upowerd_stop
gone "$driver" || fail "the upowerd driver is still running"
gone "$daemon" || fail "upowerd outlived its driver"

# The driver takes upowerd with it when it is killed outright, too.
upowerd_start || fail "no second upowerd"
driver=$UPOWERD_PID
daemon=$(pgrep -P "$driver" upowerd)
kill -KILL "$driver"
for ((n = 0; n < 30; n++)); do gone "$daemon" && break; sleep 0.1; done
gone "$daemon" || fail "upowerd outlived a killed driver"
upowerd_stop

bus=$PRIVATE_BUS_PID
private_bus_stop
gone "$bus" || fail "the bus is still running"
echo PASS
