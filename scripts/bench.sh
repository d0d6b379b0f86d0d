#!/usr/bin/env bash
# The frugality benchmark: build/tellavo side by side with two peer indicators
# from Debian (cbatticon, xbattbar) on one Xvfb display with openbox and one
# fixture battery (discharging, 57 %, and an adapter offline) bind-mounted over
# /sys/class/power_supply in a private mount namespace. tellavo runs once on
# that sysfs, twice on a mocked UPower on a private system bus (a steady
# battery; one whose charge changes once a minute) and once on the real upowerd
# over umockdev with a battery that drains as a laptop's does (20 W: energy
# lower at each of upowerd's 30 s refreshes, 1 % less every 90 s). Prints one
# table (program x figure), the system calls per tick on the kernel's files
# (strace -c), the ratios tellavo/peer and each target with PASS or MISS; a
# copy goes to build/bench/results.txt. CPU time depends on the machine's load
# (printed with the run): compare it with the floor's row of the same run; the
# instruction and system call counts do not depend on it.
#
#   scripts/bench.sh                      # as root (the bind mount needs it)
#   TELLAVO_BENCH_SECONDS=20 scripts/bench.sh   # a shorter idle run, for trying
#
# Environment: TELLAVO_BENCH_SECONDS (idle run, default 60),
# TELLAVO_BENCH_CHANGING_SECONDS (the runs with a changing battery, default
# 180: three changes), TELLAVO_BENCH_STRACE_SECONDS (the system call count,
# default 20), TELLAVO_BENCH_STARTS (start-ups timed, default 10),
# TELLAVO_BENCH_ONLY (the programs to run, by their names in the table;
# default all).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
IDLE=${TELLAVO_BENCH_SECONDS:-60}
CHANGING=${TELLAVO_BENCH_CHANGING_SECONDS:-180}
STARTS=${TELLAVO_BENCH_STARTS:-10}
STRACE_SECONDS=${TELLAVO_BENCH_STRACE_SECONDS:-20}
SETTLE=10   # seconds before memory is read

if [ -z "${TELLAVO_BENCH_NS:-}" ]; then
    scripts/deps.sh bench
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build
    if [ "$(id -u)" != 0 ]; then
        echo "bench.sh: the fixture battery is bind-mounted over /sys/class/power_supply" \
             "in a private mount namespace, which needs root: run it with sudo" >&2
        exit 1
    fi
    exec env TELLAVO_BENCH_NS=1 unshare -m --propagation private "$0" "$@"
fi

BUILD=$ROOT/build
OUT=$BUILD/bench
mkdir -p "$OUT"
load() { awk '{print $1, $2, $3}' /proc/loadavg; }
LOAD_BEFORE=$(load)
for exe in tellavo bench/tellavo_tick_bench bench/tellavo_bare_label bench/tellavo_xwatch; do
    [ -x "$BUILD/$exe" ] || { echo "bench.sh: $BUILD/$exe was not built" >&2; exit 1; }
done
XWATCH=$BUILD/bench/tellavo_xwatch

# The X session and the private bus, as the end-to-end tests have them; its
# trap stops everything started here.
# shellcheck source=../tests/lib/xvfb_session.sh
source "$ROOT/tests/lib/xvfb_session.sh"
TMP=$E2E_TMP

# --- the fixture battery ------------------------------------------------------
SYSFS=$TMP/power_supply
make_battery "$SYSFS" 57 Discharging 0
# What the peers read besides capacity: energy (xbattbar's helper) and the
# rate and voltage (cbatticon's time left).
echo 50000000 >"$SYSFS/BAT0/energy_full"
echo 50000000 >"$SYSFS/BAT0/energy_full_design"
echo 28500000 >"$SYSFS/BAT0/energy_now"
echo 10000000 >"$SYSFS/BAT0/power_now"
echo 12000000 >"$SYSFS/BAT0/voltage_now"
echo Li-ion >"$SYSFS/BAT0/technology"
mount --bind "$SYSFS" /sys/class/power_supply
[ "$(cat /sys/class/power_supply/BAT0/capacity)" = 57 ] || fail "the fixture is not in place"

start_x
# No session bus: nobody gets one, so it costs nobody anything.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$TMP/no-session-bus
NO_SYSTEM_BUS=unix:path=$TMP/no-system-bus
export QT_QPA_PLATFORM=xcb

# tellavo's store: a first run already done, so no welcome box.
export XDG_CONFIG_HOME=$TMP/config
mkdir -p "$XDG_CONFIG_HOME/Ambrovia"
printf '[Generale]\nSoglia=30\nSIPP=1\nSx=1500\nTop=1500\nMessaggio=Attacca la spina!!\n' \
    >"$XDG_CONFIG_HOME/Ambrovia/Ambrovia.ini"

# cbatticon lives in a system tray.
trayer --edge bottom --align right --widthtype pixel --width 100 --heighttype pixel \
    --height 24 >"$TMP/trayer.log" 2>&1 &
E2E_PIDS+=($!)
TRAYER_PID=$!
wait_for 100 sh -c "xdotool search --onlyvisible --pid $TRAYER_PID | grep -q ." ||
    note "trayer did not show: $(tail -n 3 "$TMP/trayer.log")"

# --- reading a process ----------------------------------------------------------

# Wake-ups of every thread of a process: its voluntary context switches, one
# each time a thread goes to sleep. (Involuntary ones are preemptions: the
# thread was running anyway, and how many there are depends on the load.)
ctxt() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^voluntary_ctxt_switches:/ {n += $2} END {print n + 0}'
}

# "<thread> <wake-ups>" for each thread, to see where they go.
thread_ctxt() {
    local t
    for t in /proc/"$1"/task/*; do
        printf '%s %s\n' "$(tr ' ' _ <"$t/comm")" \
            "$(awk '/^voluntary_ctxt_switches:/ {print $2}' "$t/status")"
    done 2>/dev/null
}

# xbattbar reads the battery through a helper it starts for every reading;
# the helper's wake-ups go with it when it ends, so one run of it is measured
# on its own: the median of 5 runs, from the rusage of waited-for children.
helper_wakeups() {
    /usr/bin/python3 - "$@" <<'PY'
import resource, subprocess, sys
runs = []
for _ in range(5):
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_nvcsw
    subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    runs.append(resource.getrusage(resource.RUSAGE_CHILDREN).ru_nvcsw - before)
runs.sort()
print(runs[len(runs) // 2])
PY
}

# CPU time in ms: every thread's time on a CPU from the scheduler (in ns, so
# that a frugal program does not read as 0 clock ticks), plus the waited-for
# children's (xbattbar runs a helper for every reading) in clock ticks.
cpu_ms() {
    local tck threads children
    tck=$(getconf CLK_TCK)
    threads=$(cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{n += $1} END {print n / 1e6}')
    # The fields after the command name, which may hold spaces.
    children=$(sed 's/^.*) //' /proc/"$1"/stat | awk -v t="$tck" '{print ($14 + $15) * 1000 / t}')
    awk -v a="$threads" -v b="$children" 'BEGIN{print a + b}'
}

# "rss pss private lib_pss lib_private" in kB: whole process, then the part
# that is in shared libraries.
memory() {
    local rollup
    rollup=$(awk '/^Rss:/{r=$2} /^Pss:/{p=$2} /^Private_(Clean|Dirty):/{v+=$2}
        END{print r, p, v}' /proc/"$1"/smaps_rollup)
    local libs
    libs=$(awk '/^[0-9a-f]+-[0-9a-f]+ / {lib = ($6 ~ /\.so(\.|$)/)}
        lib && /^Pss:/ {p += $2} lib && /^Private_(Clean|Dirty):/ {v += $2}
        END {print p + 0, v + 0}' /proc/"$1"/smaps)
    echo "$rollup $libs"
}

median() {
    sort -n | awk '{v[NR] = $1} END {if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2];
        else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# The windows a program shows: its own, found by pid or class.
program_windows() {
    local name=$1 pid=$2
    case $name in
    cbatticon*)
        # A tray icon: the tray and the icons embedded in it.
        xwininfo -children -id "$(xdotool search --onlyvisible --pid "$TRAYER_PID" | head -n 1)" \
            2>/dev/null | awk '/^ +0x[0-9a-f]+ /{print $1}'
        xdotool search --onlyvisible --pid "$TRAYER_PID" 2>/dev/null
        ;;
    xbattbar*) xdotool search --onlyvisible --class xbattbar 2>/dev/null ;;
    *) windows_of "$pid" ;;
    esac
}

# --- one program -----------------------------------------------------------------

declare -A FIG       # FIG[program,figure]
PROGRAMS=()

selected() { [ -z "${TELLAVO_BENCH_ONLY:-}" ] || [[ " $TELLAVO_BENCH_ONLY " == *" $1 "* ]]; }

# While a run lasts with CHANGE_EVERY set, the mock's battery loses 1 % every
# CHANGE_EVERY seconds.
start_changes() {
    [ -n "${CHANGE_EVERY:-}" ] || return 0
    (
        p=56
        while sleep "$CHANGE_EVERY"; do
            upower_mock_send "percentage $p" >/dev/null || exit 1
            p=$((p - 1))
        done
    ) &
    CHANGER_PID=$!
}
stop_changes() {
    [ -n "${CHANGER_PID:-}" ] || return 0
    kill "$CHANGER_PID" 2>/dev/null || true
    wait "$CHANGER_PID" 2>/dev/null || true
    CHANGER_PID=
    upower_mock_send "percentage 57" >/dev/null || true
}

# measure <name> <xwatch-startup-flags> <env...> -- <command...>
measure() {
    local name=$1 flags=$2
    shift 2
    selected "$name" || return 0
    local idle=${RUN_SECONDS:-$IDLE}
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    PROGRAMS+=("$name")
    note "$name: $*"

    # Start-up, STARTS times.
    local i line times=() reason=
    for ((i = 0; i < STARTS; i++)); do
        # shellcheck disable=SC2086
        line=$(env "${envs[@]}" "$XWATCH" startup $flags 5000 -- "$@" 2>"$OUT/$name.err") || true
        case $line in
        [0-9]*) times+=("${line%% *}") ;;
        *) reason="$line: $(tail -n 2 "$OUT/$name.err" | tr '\n' ' ')"; break ;;
        esac
        sleep 0.3
    done
    if [ -n "$reason" ]; then
        FIG[$name,failed]="did not start in this setting ($reason)"
        note "$name FAILED: ${FIG[$name,failed]}"
        return 0
    fi
    FIG[$name,startup]=$(printf '%s\n' "${times[@]}" | median)

    # The long run.
    env "${envs[@]}" "$@" >"$OUT/$name.log" 2>&1 &
    local pid=$!
    E2E_PIDS+=("$pid")
    sleep "$SETTLE"
    if ! kill -0 "$pid" 2>/dev/null; then
        FIG[$name,failed]="ended by itself: $(tail -n 2 "$OUT/$name.log" | tr '\n' ' ')"
        note "$name FAILED: ${FIG[$name,failed]}"
        return 0
    fi
    read -r FIG[$name,rss] FIG[$name,pss] FIG[$name,private] FIG[$name,lib_pss] \
        FIG[$name,lib_private] <<<"$(memory "$pid")"

    local windows
    windows=$(program_windows "$name" "$pid" | sort -u | tr '\n' ' ') || true
    local monitor=
    if [ -n "${CALL_WATCH:-}" ]; then
        # The GetAll calls anyone makes to UPower while the run lasts; started
        # before the counts, so that its own connection to the bus is not
        # counted as caused.
        dbus-monitor --address "$UPOWER_BUS" "type='method_call',member='GetAll'" \
            >"$OUT/$name.calls" 2>&1 &
        monitor=$!
        sleep 1
    fi
    local cpu0 ctx0 bus0=0 up0=0
    cpu0=$(cpu_ms "$pid")
    ctx0=$(ctxt "$pid")
    thread_ctxt "$pid" >"$OUT/$name.threads0"
    if [ -n "${BUS_WATCH:-}" ]; then
        bus0=$(ctxt "$PRIVATE_BUS_PID")
        up0=$(ctxt "$UPOWER_MOCK_PID")
    fi
    local damage=-
    start_changes
    if [ -n "$windows" ]; then
        # shellcheck disable=SC2086
        damage=$("$XWATCH" damage "$idle" $windows) || damage=-
    else
        sleep "$idle"
    fi
    stop_changes
    local cpu1 ctx1
    cpu1=$(cpu_ms "$pid")
    ctx1=$(ctxt "$pid")
    # Per thread, in the run's log folder: build/bench/<name>.threads.
    thread_ctxt "$pid" | paste "$OUT/$name.threads0" - |
        awk '{print $1, $4 - $2}' >"$OUT/$name.threads"
    FIG[$name,cpu]=$(awk -v a="$cpu0" -v b="$cpu1" -v s="$idle" 'BEGIN{printf "%.1f", (b - a) * 60 / s}')
    FIG[$name,cpu_hour]=$(awk -v a="$cpu0" -v b="$cpu1" -v s="$idle" 'BEGIN{printf "%.2f", (b - a) * 3.6 / s}')
    FIG[$name,wakeups]=$(awk -v a="$ctx0" -v b="$ctx1" -v s="$idle" 'BEGIN{printf "%.2f", (b - a) / s}')
    FIG[$name,repaints]=$(awk -v d="${damage%% *}" -v s="$idle" \
        'BEGIN{if (d == "-") print "-"; else printf "%.1f", d * 60 / s}')
    if [ -n "${BUS_WATCH:-}" ]; then
        local bus1 up1
        bus1=$(ctxt "$PRIVATE_BUS_PID")
        up1=$(ctxt "$UPOWER_MOCK_PID")
        FIG[$name,caused]=$(awk -v b="$((bus1 - bus0))" -v u="$((up1 - up0))" -v base="$BASELINE" \
            -v s="$idle" 'BEGIN{v = (b + u) / s - base; printf "%.2f", v < 0 ? 0 : v}')
    fi
    if [ -n "$monitor" ]; then
        kill "$monitor" 2>/dev/null || true
        wait "$monitor" 2>/dev/null || true
        FIG[$name,getall]=$(grep -c 'member=GetAll' "$OUT/$name.calls" || true)
    fi
    _tellavo_stop_pid "$pid" || true
}

# syscalls <name> <env...> -- <command...>: the program's system calls, all
# threads, over STRACE_SECONDS once it has settled (strace -f -c), per second:
# per tick for a program that ticks once a second. The summary is kept in
# build/bench/<name>.strace.
syscalls() {
    local name=$1
    shift
    selected "$name" || return 0
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    env "${envs[@]}" "$@" >"$OUT/$name.strace.log" 2>&1 &
    local pid=$!
    E2E_PIDS+=("$pid")
    sleep "$SETTLE"
    timeout -s INT "$STRACE_SECONDS" strace -f -c -p "$pid" -o "$OUT/$name.strace" \
        >/dev/null 2>&1 || true
    _tellavo_stop_pid "$pid" || true
    FIG[$name,syscalls]=$(awk -v s="$STRACE_SECONDS" '$NF == "total" {printf "%.1f", $4 / s}' \
        "$OUT/$name.strace" 2>/dev/null)
    [ -n "${FIG[$name,syscalls]}" ] || FIG[$name,syscalls]=-
    # The calls that make it, per tick.
    FIG[$name,syscall_list]=$(awk -v s="$STRACE_SECONDS" '/^ *[0-9.]+ +[0-9.]+ / && $NF != "total" {
        printf "%s %.1f, ", $NF, $4 / s}' "$OUT/$name.strace" 2>/dev/null | sed 's/, $//')
}

# --- the UPower side: a private system bus with the mock ---------------------------
private_bus_start "$TMP/bus" || fail "no private system bus"
upower_mock_start --percentage 57 --state discharging --on-battery || fail "no mocked UPower"
UPOWER_BUS=$DBUS_SYSTEM_BUS_ADDRESS
export DBUS_SYSTEM_BUS_ADDRESS=$NO_SYSTEM_BUS

note "baseline: the bus and the mock for $IDLE s with no indicator"
b0=$(ctxt "$PRIVATE_BUS_PID")
u0=$(ctxt "$UPOWER_MOCK_PID")
sleep "$IDLE"
BASELINE=$(awk -v b="$(($(ctxt "$PRIVATE_BUS_PID") - b0))" -v u="$(($(ctxt "$UPOWER_MOCK_PID") - u0))" \
    -v s="$IDLE" 'BEGIN{printf "%.3f", (b + u) / s}')
note "baseline: $BASELINE wake-ups/s in the bus daemon and the mock"

measure tellavo-sysfs "" DBUS_SYSTEM_BUS_ADDRESS="$NO_SYSTEM_BUS" -- "$BUILD/tellavo"
syscalls tellavo-sysfs DBUS_SYSTEM_BUS_ADDRESS="$NO_SYSTEM_BUS" -- "$BUILD/tellavo"

# The kernel's files as some laptops' drivers give them: two batteries behind a
# FUSE folder (tests/lib/failing_sysfs.py) that fails the reads of one's
# energy_full and the other's power_now with ENODEV, as an ACPI battery fails
# the values its firmware does not know, while both are there.
if selected tellavo-sysfs-enodev; then
    FAILING=$TMP/failing/power_supply
    mkdir -p "$FAILING"
    mkfifo "$TMP/failing/in"
    /usr/bin/python3 "$ROOT/tests/lib/failing_sysfs.py" --source "$ROOT/tests/power/fixtures/two_batteries" \
        --mount "$FAILING" --fail BAT0/energy_full --fail BAT1/power_now \
        <"$TMP/failing/in" >"$OUT/failing.out" 2>"$OUT/failing.err" &
    FAILING_PID=$!
    E2E_PIDS+=("$FAILING_PID")
    exec {FAILING_FD}>"$TMP/failing/in"   # its commands; closed, it unmounts and ends
    wait_for 200 grep -qx ready "$OUT/failing.out" ||
        fail "no FUSE folder: $(tail -n 3 "$OUT/failing.err")"
    syscalls tellavo-sysfs-enodev DBUS_SYSTEM_BUS_ADDRESS="$NO_SYSTEM_BUS" \
        TELLAVO_POWER_SUPPLY_DIR="$FAILING" -- "$BUILD/tellavo"
    exec {FAILING_FD}>&-
    wait "$FAILING_PID" || true
fi
# No inotify left to the user, as when its max_user_instances are all taken
# (inotify_init1 fails with EMFILE): made by the kernel's own count in a user
# namespace of tellavo's own whose limit is 0, so that nothing else of the
# session loses inotify. The program is exec'd in place: the PID is tellavo's.
syscalls tellavo-sysfs-noinotify DBUS_SYSTEM_BUS_ADDRESS="$NO_SYSTEM_BUS" -- \
    unshare --user --map-root-user sh -c 'echo 0 >/proc/sys/user/max_inotify_instances && exec "$@"' \
    sh "$BUILD/tellavo"
BUS_WATCH=1 CALL_WATCH=1 measure tellavo-upower "" DBUS_SYSTEM_BUS_ADDRESS="$UPOWER_BUS" \
    -- "$BUILD/tellavo"
BUS_WATCH=1 CALL_WATCH=1 CHANGE_EVERY=60 RUN_SECONDS=$CHANGING measure tellavo-upower-1min "" \
    DBUS_SYSTEM_BUS_ADDRESS="$UPOWER_BUS" -- "$BUILD/tellavo"
# The real upowerd in the mock's place for one run: a laptop on battery.
if selected tellavo-upowerd; then
    upower_mock_stop || true
    DBUS_SYSTEM_BUS_ADDRESS=$UPOWER_BUS upowerd_start --percentage 57.4 --status Discharging \
        --ac-online 0 --discharge 20 || fail "no upowerd"
    CALL_WATCH=1 RUN_SECONDS=$CHANGING measure tellavo-upowerd "" \
        DBUS_SYSTEM_BUS_ADDRESS="$UPOWER_BUS" -- "$BUILD/tellavo"
    upowerd_stop || true
    DBUS_SYSTEM_BUS_ADDRESS=$UPOWER_BUS upower_mock_start --percentage 57 --state discharging \
        --on-battery || fail "no mocked UPower"
fi
measure cbatticon --any X=1 -- cbatticon
measure xbattbar --any X=1 -- xbattbar -s /usr/lib/xbattbar/xbattbar-check-sys
# The peers again at tellavo's own pace, one reading a second.
measure cbatticon-1s --any X=1 -- cbatticon -u 1
measure xbattbar-1s --any X=1 -- xbattbar -p 1 -s /usr/lib/xbattbar/xbattbar-check-sys
# Each reading's helper counted in: one every 10 s by default, every second at -p 1.
HELPER=-
if selected xbattbar || selected xbattbar-1s; then
    HELPER=$(helper_wakeups /usr/lib/xbattbar/xbattbar-check-sys)
    for p in xbattbar:10 xbattbar-1s:1; do
        name=${p%:*}
        [ -n "${FIG[$name,wakeups]:-}" ] || continue
        FIG[$name,wakeups]=$(awk -v w="${FIG[$name,wakeups]}" -v h="$HELPER" -v every="${p#*:}" \
            'BEGIN{printf "%.2f", w + h / every}')
    done
fi
# The floor: a bare Qt Widgets program with a label and a 1 s timer.
measure qt-floor "" X=1 -- "$BUILD/bench/tellavo_bare_label"
syscalls qt-floor X=1 -- "$BUILD/bench/tellavo_bare_label"

# tellavo on the kernel's files, the floor and cbatticon at its own pace, side
# by side: the load of the moment weighs on all three alike, where rows taken
# minutes apart differ by a third and more (the floor alone read 13 to 28
# ms/min here). Five runs of TELLAVO_BENCH_SIDE_SECONDS (default the idle
# run's), each with the three started afresh; the CPU targets against the floor
# and cbatticon are checked on the medians, and every run's ratio is printed.
SIDE_RUNS=5
SIDE_SECONDS=${TELLAVO_BENCH_SIDE_SECONDS:-$IDLE}
declare -A SIDE   # SIDE[program]: median ms/min; SIDE[program,run]: each run's
SIDE_RATIOS=()    # tellavo over the floor, run by run
side_run() {
    local run=$1 names=(tellavo-sysfs qt-floor cbatticon) pids=() i
    env DBUS_SYSTEM_BUS_ADDRESS="$NO_SYSTEM_BUS" "$BUILD/tellavo" >"$OUT/side-tellavo.log" 2>&1 &
    pids+=($!)
    env X=1 "$BUILD/bench/tellavo_bare_label" >"$OUT/side-floor.log" 2>&1 &
    pids+=($!)
    env X=1 cbatticon >"$OUT/side-cbatticon.log" 2>&1 &
    pids+=($!)
    E2E_PIDS+=("${pids[@]}")
    sleep "$SETTLE"
    local cpu0=() cpu1=()
    for i in 0 1 2; do cpu0[i]=$(cpu_ms "${pids[i]}"); done
    sleep "$SIDE_SECONDS"
    for i in 0 1 2; do cpu1[i]=$(cpu_ms "${pids[i]}"); done
    for i in 0 1 2; do
        _tellavo_stop_pid "${pids[i]}" || true
        SIDE[${names[i]},$run]=$(awk -v a="${cpu0[i]}" -v b="${cpu1[i]}" -v s="$SIDE_SECONDS" \
            'BEGIN{printf "%.1f", (b - a) * 60 / s}')
    done
    SIDE_RATIOS+=("$(awk -v a="${SIDE[tellavo-sysfs,$run]}" -v b="${SIDE[qt-floor,$run]}" \
        'BEGIN{if (b == 0) print "-"; else printf "%.2f", a / b}')")
}
side_by_side() {
    selected side-by-side || return 0
    local run name
    for ((run = 1; run <= SIDE_RUNS; run++)); do
        note "side by side, run $run of $SIDE_RUNS, $SIDE_SECONDS s: tellavo-sysfs qt-floor cbatticon"
        side_run "$run"
    done
    for name in tellavo-sysfs qt-floor cbatticon; do
        SIDE[$name]=$(for ((run = 1; run <= SIDE_RUNS; run++)); do echo "${SIDE[$name,$run]}"; done |
            median)
    done
    SIDE[ratio]=$(printf '%s\n' "${SIDE_RATIOS[@]}" | grep -v '^-$' | median)
}
side_by_side

# --- one tick, in the process -------------------------------------------------------
# Instructions: callgrind counts only runTicks; the difference of two runs with
# different N leaves out whatever the first ticks do once.
# instructions <n> <label> <system bus> <bench arguments...>
instructions() {
    local n=$1 label=$2 bus=$3
    shift 3
    local file=$OUT/callgrind.$label.$n
    env QT_QPA_PLATFORM=offscreen DBUS_SYSTEM_BUS_ADDRESS="$bus" valgrind --tool=callgrind \
        --collect-atstart=no --toggle-collect='*runTicks*' --callgrind-out-file="$file" \
        "$BUILD/bench/tellavo_tick_bench" "$@" --ticks "$n" >"$file.log" 2>&1 ||
        { echo "-"; return 0; }
    awk '/^(summary|totals):/ {print $2; exit}' "$file"
}
# per_tick <label> <system bus> <bench arguments...>
per_tick() {
    local small large
    small=$(instructions 100 "$@")
    large=$(instructions 1100 "$@")
    awk -v a="$small" -v b="$large" 'BEGIN{if (a == "-" || b == "-") print "-";
        else printf "%.0f", (b - a) / 1000}'
}
# heap <system bus> <bench arguments...>: bytes more in use after 100000 ticks.
# Without the per-thread caches glibc counts as in use, so that only what the
# ticks keep shows (with them, a few freed blocks of the D-Bus thread read as
# 48 to 240 bytes "grown" at random).
heap() {
    local bus=$1
    shift
    GLIBC_TUNABLES=glibc.malloc.tcache_count=0 QT_QPA_PLATFORM=offscreen DBUS_SYSTEM_BUS_ADDRESS="$bus" "$BUILD/bench/tellavo_tick_bench" \
        "$@" --ticks 100000 --heap 2>"$OUT/heap.err" | sed -n 's/.*heap_growth=\(-\?[0-9]*\).*/\1/p'
}

note "instructions per tick (callgrind) and heap growth over 100000 ticks"
if selected tellavo-sysfs; then
    FIG[tellavo-sysfs,tick]=$(per_tick sysfs "$NO_SYSTEM_BUS" --source sysfs)
    FIG[tellavo-sysfs,heap]=$(heap "$NO_SYSTEM_BUS" --source sysfs)
fi
if selected tellavo-upower; then
    FIG[tellavo-upower,tick]=$(per_tick upower "$UPOWER_BUS" --source upower)
    FIG[tellavo-upower,heap]=$(heap "$UPOWER_BUS" --source upower)
fi

# --- the table ----------------------------------------------------------------------
for p in "${PROGRAMS[@]}"; do
    [ -n "${FIG[$p,private]:-}" ] && FIG[$p,own]=$((FIG[$p,private] - FIG[$p,lib_private]))
    FIG[$p,floor]=$(awk -v a="${FIG[$p,cpu]:--}" -v b="${FIG[qt-floor,cpu]:--}" \
        'BEGIN{if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b}')
done
COLS=(startup rss pss private lib_pss lib_private own cpu cpu_hour floor wakeups caused getall
      repaints syscalls tick heap)
HEAD=("start ms" "RSS kB" "Pss kB" "priv kB" "Pss lib" "priv lib" "priv own" "CPU ms/min" "CPU s/h"
      "x floor" "wake/s" "caused/s" "GetAll" "paint/min" "sys/tick" "instr/tick" "heap B")
fig() { echo "${FIG[$1,$2]:--}"; }
{
    echo "Frugality, $(date -u +%Y-%m-%d), idle run ${IDLE} s (tellavo-upower-1min: ${CHANGING} s," \
         "1 % less charge every 60 s; tellavo-upowerd: ${CHANGING} s, upowerd over a battery" \
         "draining at 20 W), start-up median of $STARTS, memory after ${SETTLE} s;" \
         "$(nproc) cores, $(uname -r); load average (1, 5, 15 min) $LOAD_BEFORE at the start," \
         "$(load) at the end"
    printf '%-19s' program
    printf ' %10s' "${HEAD[@]}"
    echo
    for p in "${PROGRAMS[@]}"; do
        printf '%-19s' "$p"
        if [ -n "${FIG[$p,failed]:-}" ]; then
            echo " ${FIG[$p,failed]}"
            continue
        fi
        for c in "${COLS[@]}"; do printf ' %10s' "$(fig "$p" "$c")"; done
        echo
    done
    echo
    echo "wake/s: voluntary context switches of all threads (xbattbar: with its helper's," \
         "$HELPER a run). caused/s: wake-ups of the bus daemon and the UPower mock, minus" \
         "$BASELINE/s with no indicator (tellavo-upower-1min: the mock's own changes included)." \
         "x floor: CPU time over qt-floor's in this run. GetAll: calls to UPower during the" \
         "run, none but the liveness checks once started. sys/tick: system calls per second" \
         "(all threads, strace -f -c over ${STRACE_SECONDS} s), one tick a second." \
         "Pss lib / priv lib: the part of Pss / private memory in shared libraries;" \
         "priv own: private memory outside them (heap, stacks, data)."
    echo
    echo "Ratios tellavo/peer (tellavo-sysfs; the peers read sysfs too):"
    for peer in cbatticon xbattbar cbatticon-1s xbattbar-1s; do
        [ -z "${FIG[$peer,failed]:-}" ] || { echo "  $peer: -"; continue; }
        printf '  %-13s' "$peer"
        for c in startup rss pss private cpu wakeups; do
            printf ' %s %s' "$c" "$(awk -v a="$(fig tellavo-sysfs "$c")" -v b="$(fig "$peer" "$c")" \
                'BEGIN{if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b}')"
        done
        echo
    done
    echo
    echo "System calls per tick on the kernel's files (strace -f -c, all threads):"
    for p in tellavo-sysfs tellavo-sysfs-enodev tellavo-sysfs-noinotify qt-floor; do
        echo "  $p: $(fig $p syscalls) a tick: $(fig $p syscall_list)"
    done
    echo "  (tellavo-sysfs-enodev: two batteries behind a FUSE folder whose reads of one's" \
         "energy_full and the other's power_now fail with ENODEV; tellavo-sysfs-noinotify:" \
         "the fixture with inotify_init1 failing with EMFILE, no instance left.)"
    echo
    if [ -n "${SIDE[tellavo-sysfs]:-}" ]; then
        echo "Side by side, $SIDE_RUNS runs of $SIDE_SECONDS s, CPU ms per minute, run by run:"
        for ((run = 1; run <= SIDE_RUNS; run++)); do
            echo "  run $run: tellavo-sysfs ${SIDE[tellavo-sysfs,$run]}, qt-floor ${SIDE[qt-floor,$run]}," \
                 "cbatticon ${SIDE[cbatticon,$run]}; tellavo over the floor ${SIDE_RATIOS[run - 1]}"
        done
        echo "  medians: tellavo-sysfs ${SIDE[tellavo-sysfs]}, qt-floor ${SIDE[qt-floor]}," \
             "cbatticon ${SIDE[cbatticon]}; tellavo over the floor ${SIDE[ratio]}" \
             "(ratios: ${SIDE_RATIOS[*]})"
        echo
    fi
    echo "Targets (PASS or MISS; \"not measured\" where a row did not run):"
    MISSES=0
    check() {   # check <what> <value> <op> <limit>
        local verdict
        verdict=$(awk -v v="$2" -v l="$4" -v op="$3" 'BEGIN{if (v == "-" || l == "-") print "not measured";
            else if ((op == "<=" && v + 0 <= l + 0) || (op == "<" && v + 0 < l + 0)) print "PASS";
            else print "MISS"}')
        [ "$verdict" = MISS ] && MISSES=$((MISSES + 1))
        printf '  %-64s %10s %-2s %-10s %s\n' "$1" "$2" "$3" "$4" "$verdict"
    }
    best_peer() {   # the smaller figure of the two peers at their own pace
        local a b
        a=$(fig cbatticon "$1")
        b=$(fig xbattbar "$1")
        [ -n "${FIG[cbatticon,failed]:-}" ] && a=-
        [ -n "${FIG[xbattbar,failed]:-}" ] && b=-
        awk -v a="$a" -v b="$b" 'BEGIN{if (a == "-") print b; else if (b == "-") print a;
            else print (a + 0 < b + 0 ? a : b)}'
    }
    check "tellavo-sysfs: own wake-ups per second" "$(fig tellavo-sysfs wakeups)" "<=" 1.05
    side() { echo "${SIDE[$1]:--}"; }
    check "tellavo-sysfs: CPU over the floor's, side by side, median of $SIDE_RUNS" \
        "$(side ratio)" "<=" 1.3
    check "tellavo-sysfs: CPU ms/min, cbatticon's (5 s pace), side by side, medians" \
        "$(side tellavo-sysfs)" "<" "$(side cbatticon)"
    check "tellavo-sysfs: system calls per tick" "$(fig tellavo-sysfs syscalls)" "<=" 12
    check "tellavo-sysfs-enodev: system calls per tick, reads failing" \
        "$(fig tellavo-sysfs-enodev syscalls)" "<=" 12
    check "tellavo-sysfs-noinotify: system calls per tick, no inotify" \
        "$(fig tellavo-sysfs-noinotify syscalls)" "<=" 12
    check "tellavo-upower, steady battery: own wake-ups per second" \
        "$(fig tellavo-upower wakeups)" "<=" 0.1
    check "tellavo-upower, steady battery: CPU ms per minute, the floor's" \
        "$(fig tellavo-upower cpu)" "<=" "$(fig qt-floor cpu)"
    check "tellavo-upowerd, discharging: own wake-ups per second" \
        "$(fig tellavo-upowerd wakeups)" "<=" 0.1
    check "tellavo-upowerd, discharging: CPU ms per minute, the floor's" \
        "$(fig tellavo-upowerd cpu)" "<=" "$(fig qt-floor cpu)"
    check "tellavo-upowerd, discharging: liveness calls while upowerd talks" \
        "$(fig tellavo-upowerd getall)" "<=" 0
    for p in tellavo-upower tellavo-upower-1min; do
        check "$p: own wake-ups per second, cbatticon's" "$(fig $p wakeups)" "<" \
            "$(fig cbatticon wakeups)"
        check "$p: own wake-ups per second, xbattbar's" "$(fig $p wakeups)" "<" \
            "$(fig xbattbar wakeups)"
    done
    for p in tellavo-sysfs tellavo-upower; do
        check "$p: repaints per minute, nothing changing" "$(fig $p repaints)" "<=" 0
        check "$p: CPU ms per minute (1 s per hour)" "$(fig $p cpu)" "<=" 16.7
        check "$p: CPU ms per minute, the better peer's" "$(fig $p cpu)" "<=" "$(best_peer cpu)"
        check "$p: private kB, cbatticon's" "$(fig $p private)" "<=" "$(fig cbatticon private)"
        check "$p: start-up ms" "$(fig $p startup)" "<=" 150
        check "$p: start-up ms, cbatticon's" "$(fig $p startup)" "<=" "$(fig cbatticon startup)"
        check "$p: heap growth over 100000 ticks, bytes" "$(fig $p heap)" "<=" 0
    done
    if [ -z "${FIG[qt-floor,failed]:-}" ] && [ -z "${FIG[cbatticon,failed]:-}" ]; then
        echo "  (private memory: a bare Qt label with a timer, the floor of this stack, keeps" \
             "$(fig qt-floor private) kB private, $(fig qt-floor lib_private) kB of it in Qt's" \
             "libraries that no other program maps here; cbatticon keeps $(fig cbatticon private) kB." \
             "Outside shared libraries: tellavo-sysfs $(fig tellavo-sysfs own) kB, floor" \
             "$(fig qt-floor own) kB, cbatticon $(fig cbatticon own) kB.)"
    fi
    check "tellavo-upower: wake-ups caused in the bus and UPower /s" "$(fig tellavo-upower caused)" "<=" 0.1
    echo "  (tellavo-upower-1min: CPU $(fig tellavo-upower-1min cpu_hour) s/h," \
         "$(fig tellavo-upower-1min repaints) repaints/min, $(fig tellavo-upower-1min wakeups) wake-ups/s.)"
    check "tellavo-sysfs: instructions per tick" "$(fig tellavo-sysfs tick)" "<" 50000
    check "tellavo-upower: instructions per tick" "$(fig tellavo-upower tick)" "<" 20000
    echo
    echo "$MISSES target(s) missed."
} | tee "$OUT/results.txt"
