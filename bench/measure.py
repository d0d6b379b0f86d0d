#!/usr/bin/python3
"""The frugality benchmark's measurer. scripts/bench.sh sets the stage (one
Xvfb display with openbox and a system tray, a private system bus, the fixture
battery over /sys/class/power_supply in a private mount namespace) and runs
this inside it.

Each row of the table is one program run on that display, read from outside
and alike for every program: start-up to its first window (tellavo_xwatch),
memory (/proc/PID/smaps), CPU time and wake-ups over the run (/proc), repaints
(the X DAMAGE extension), system calls a tick (strace -f -c) and, for tellavo,
instructions a tick (callgrind on tellavo_tick_bench) and heap growth. The
rows: tellavo on the kernel's files (and with reads failing); on a mocked
UPower, steady and losing 1 % a minute; on the real upowerd over a draining
battery; the peers cbatticon and xbattbar at their own pace and at tellavo's;
the floor, a bare Qt label with a 1 s timer; and the three of tellavo, the
floor and cbatticon side by side, five times.

Prints the table, the ratios, the system calls and each target of TARGETS with
PASS or MISS, and keeps a copy in build/bench/results.txt; the README's table
goes to build/bench/readme.md (with --readme, into README.md as well).

Environment: TELLAVO_BENCH_SECONDS (idle run, default 60),
TELLAVO_BENCH_CHANGING_SECONDS (the runs with a changing battery, default 180:
three changes), TELLAVO_BENCH_STRACE_SECONDS (the system call count, default
20), TELLAVO_BENCH_STARTS (start-ups timed, default 10),
TELLAVO_BENCH_SIDE_SECONDS (each side-by-side run, default the idle run's),
TELLAVO_BENCH_ONLY (the rows to run, by their names in the table, and
side-by-side; default all).
"""

import contextlib
import datetime
import os
import queue
import re
import resource
import signal
import statistics
import subprocess
import sys
import textwrap
import threading
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / 'build'
OUT = BUILD / 'bench'
LIB = ROOT / 'tests' / 'lib'
PYTHON = '/usr/bin/python3'  # the system one: the drivers need its dbusmock and gi
TELLAVO = str(BUILD / 'tellavo')
FLOOR = str(BUILD / 'bench' / 'tellavo_bare_label')
TICK_BENCH = str(BUILD / 'bench' / 'tellavo_tick_bench')
XWATCH = str(BUILD / 'bench' / 'tellavo_xwatch')
XBATTBAR = ['xbattbar', '-s', '/usr/lib/xbattbar/xbattbar-check-sys']
PEERS = ['cbatticon', 'xbattbar', 'cbatticon-1s', 'xbattbar-1s']

IDLE = float(os.environ.get('TELLAVO_BENCH_SECONDS', 60))
CHANGING = float(os.environ.get('TELLAVO_BENCH_CHANGING_SECONDS', 180))
STRACE_SECONDS = float(os.environ.get('TELLAVO_BENCH_STRACE_SECONDS', 20))
STARTS = int(os.environ.get('TELLAVO_BENCH_STARTS', 10))
SIDE_SECONDS = float(os.environ.get('TELLAVO_BENCH_SIDE_SECONDS', IDLE))
SIDE_RUNS = 5
SETTLE = 10  # seconds before a program is read
ONLY = os.environ.get('TELLAVO_BENCH_ONLY', '').split()

# What the set-up hands over.
if 'TELLAVO_BENCH_TMP' not in os.environ:
    sys.exit('bench/measure.py measures on the stage scripts/bench.sh sets: run scripts/bench.sh')
TMP = Path(os.environ['TELLAVO_BENCH_TMP'])
TRAYER_PID = os.environ.get('TELLAVO_BENCH_TRAYER_PID', '')
BUS_PID = int(os.environ['TELLAVO_BENCH_BUS_PID'])
UPOWER_BUS = os.environ['DBUS_SYSTEM_BUS_ADDRESS']
NO_BUS = f'unix:path={TMP}/no-system-bus'

# Every program runs with no session bus (nobody gets one, so it costs nobody
# anything) and on X; tellavo with a store of a first run already done, so
# that no welcome box comes.
BASE_ENV = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=f'unix:path={TMP}/no-session-bus',
                QT_QPA_PLATFORM='xcb', XDG_CONFIG_HOME=str(TMP / 'config'),
                DBUS_SYSTEM_BUS_ADDRESS=NO_BUS)

# The figures of a row as the table shows them: name, heading, digits.
COLUMNS = [
    ('startup', 'start ms', 1), ('rss', 'RSS kB', 0), ('pss', 'Pss kB', 0),
    ('private', 'priv kB', 0), ('lib_pss', 'Pss lib', 0), ('lib_private', 'priv lib', 0),
    ('own', 'priv own', 0), ('cpu', 'CPU ms/min', 1), ('cpu_hour', 'CPU s/h', 2),
    ('floor', 'x floor', 2), ('wakeups', 'wake/s', 2), ('caused', 'caused/s', 2),
    ('getall', 'GetAll', 0), ('repaints', 'paint/min', 1), ('syscalls', 'sys/tick', 1),
    ('tick', 'instr/tick', 0), ('heap', 'heap B', 0),
    ('side_cpu', 'CPU ms/min', 1), ('side_floor', 'x floor', 2), ('side_ratio', 'x floor', 2)]
DIGITS = {figure: digits for figure, _, digits in COLUMNS}

# fig[row][figure], each rounded as the table prints it, so that a target
# checks the figure shown; a row that failed has its reason in failed.
fig = {}
failed = {}
rows = []  # in the order they ran
side = {}  # side[row]: CPU ms/min of each side-by-side run
notes = {}  # the baseline, xbattbar's helper


def selected(name):
    return not ONLY or name in ONLY


def note(text):
    print(f'-- {text}', flush=True)


def tail(path, n=2):
    try:
        return ' '.join(Path(path).read_text(errors='replace').splitlines()[-n:])
    except OSError:
        return ''


def put(row, figure, value):
    fig.setdefault(row, {})[figure] = None if value is None else round(value, DIGITS[figure])


def get(row, figure):
    """The figure, or None where it was not measured or its row failed."""
    return None if row in failed else fig.get(row, {}).get(figure)


def median(values):
    return statistics.median(values) if values else None


# --- reading a process from /proc --------------------------------------------

def tasks(pid):
    try:
        return sorted(Path(f'/proc/{pid}/task').iterdir(), key=lambda t: int(t.name))
    except OSError:
        return []


def thread_wakeups(pid):
    """{thread id: (name, wake-ups)}. A wake-up is a voluntary context switch,
    one each time a thread goes to sleep; involuntary ones are preemptions (the
    thread was running anyway), and how many there are depends on the load."""
    threads = {}
    for task in tasks(pid):
        try:
            name = (task / 'comm').read_text().strip().replace(' ', '_')
            status = (task / 'status').read_text()
        except OSError:
            continue
        switches = re.search(r'^voluntary_ctxt_switches:\s*(\d+)', status, re.M)
        threads[int(task.name)] = (name, int(switches.group(1)) if switches else 0)
    return threads


def wakeups(pid):
    return sum(n for _, n in thread_wakeups(pid).values())


def cpu_ms(pid):
    """Every thread's time on a CPU from the scheduler (in ns, so that a frugal
    program does not read as 0 clock ticks), plus the waited-for children's
    (xbattbar runs a helper for every reading), in ms."""
    ns = 0
    for task in tasks(pid):
        try:
            ns += int((task / 'schedstat').read_text().split()[0])
        except (OSError, IndexError, ValueError):
            pass
    children = 0.0
    try:
        stat = Path(f'/proc/{pid}/stat').read_text()
        fields = stat[stat.rindex(')') + 2:].split()  # after the name, which may hold spaces
        children = (int(fields[13]) + int(fields[14])) * 1000 / os.sysconf('SC_CLK_TCK')
    except (OSError, ValueError, IndexError):
        pass
    return ns / 1e6 + children


MAPPING = re.compile(r'^[0-9a-f]+-[0-9a-f]+ ')
LIBRARY = re.compile(r'\.so(\.|$)')


def memory(pid):
    """kB: rss, pss, private for the whole process; lib_pss, lib_private: the
    part of it in shared libraries."""
    sums = dict.fromkeys(['rss', 'pss', 'private', 'lib_pss', 'lib_private'], 0)
    for line in Path(f'/proc/{pid}/smaps_rollup').read_text().splitlines():
        key, value = line.split()[:2]
        if key == 'Rss:':
            sums['rss'] = int(value)
        elif key == 'Pss:':
            sums['pss'] = int(value)
        elif key in ('Private_Clean:', 'Private_Dirty:'):
            sums['private'] += int(value)
    in_library = False
    for line in Path(f'/proc/{pid}/smaps').read_text().splitlines():
        if MAPPING.match(line):
            fields = line.split()
            in_library = len(fields) > 5 and bool(LIBRARY.search(fields[5]))
        elif in_library and line.startswith('Pss:'):
            sums['lib_pss'] += int(line.split()[1])
        elif in_library and line.startswith(('Private_Clean:', 'Private_Dirty:')):
            sums['lib_private'] += int(line.split()[1])
    return sums


# --- processes -------------------------------------------------------------------

running = []  # everything started here, stopped at the end whatever happens


def start(command, log, env=None):
    with open(log, 'w') as out:
        process = subprocess.Popen(command, env=env or BASE_ENV, stdout=out, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL)
    running.append(process)
    return process


def stop(process):
    """SIGTERM, a moment to go, then SIGKILL; reaped."""
    if process.poll() is None:
        process.send_signal(signal.SIGCONT)  # a stopped process cannot act on SIGTERM
        process.terminate()
        try:
            process.wait(2)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    if process in running:
        running.remove(process)


def output(*command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout


class Driver:
    """One of tests/lib's drivers on the private bus. It says "ready" once up,
    then answers each command line with "ok" or "error <why>" (command_loop.py),
    and ends when its stdin closes."""

    def __init__(self, kind, script, *args, bus=UPOWER_BUS):
        folder = TMP / kind
        folder.mkdir(parents=True, exist_ok=True)
        self.name = script
        self.err = folder / 'err'
        # What it makes (a testbed, a history) is gone with the folder.
        env = dict(os.environ, TMPDIR=str(folder), DBUS_SYSTEM_BUS_ADDRESS=bus)
        with open(self.err, 'w') as err:
            self.process = subprocess.Popen([PYTHON, str(LIB / script), *args], env=env, text=True,
                                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err)
        running.append(self.process)
        self.pid = self.process.pid
        self.answers = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        if self._answer(20) != 'ready':
            self.stop()
            sys.exit(f'bench: {script} did not get ready: {tail(self.err, 3)}')

    def _read(self):
        for line in self.process.stdout:
            self.answers.put(line.strip())

    def _answer(self, seconds):
        try:
            return self.answers.get(timeout=seconds)
        except queue.Empty:
            return None

    def send(self, command):
        self.process.stdin.write(command + '\n')
        self.process.stdin.flush()
        answer = self._answer(5)
        if answer != 'ok':
            note(f'{self.name}: {command!r} gave {answer or "no answer"!r}')

    def stop(self):
        try:
            self.process.stdin.close()
            self.process.wait(3)
        except (OSError, subprocess.TimeoutExpired):
            pass
        stop(self.process)


def upower_mock():
    return Driver('upower-mock', 'upower_mock.py', '--log', str(TMP / 'upower-mock' / 'log'),
                  '--percentage', '57', '--state', 'discharging', '--on-battery')


class Changes:
    """While a run lasts, the mock's battery loses 1 % every `every` seconds;
    back at 57 % after it."""

    def __init__(self, mock, every):
        self.mock, self.every, self.done = mock, every, threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)

    def _run(self):
        percentage = 56
        while not self.done.wait(self.every):
            self.mock.send(f'percentage {percentage}')
            percentage -= 1

    def __enter__(self):
        self.thread.start()

    def __exit__(self, *_):
        self.done.set()
        self.thread.join()
        self.mock.send('percentage 57')


# --- one program -------------------------------------------------------------

def windows(row, pid):
    """The windows a program shows: its own, found by pid or class."""
    if row.startswith('cbatticon'):
        # A tray icon: the tray and the icons embedded in it.
        tray = output('xdotool', 'search', '--onlyvisible', '--pid', TRAYER_PID).split()
        icons = output('xwininfo', '-children', '-id', tray[0]).splitlines() if tray else []
        found = tray + [line.split()[0] for line in icons if re.match(r'^ +0x[0-9a-f]+ ', line)]
    elif row.startswith('xbattbar'):
        found = output('xdotool', 'search', '--onlyvisible', '--class', 'xbattbar').split()
    else:
        found = output('xdotool', 'search', '--onlyvisible', '--pid', str(pid)).split()
    return sorted(set(found))


def startup(row, command, env, any_window):
    """Milliseconds from exec to the first window mapped, STARTS times; None
    with the reason in failed when it did not come."""
    times = []
    for _ in range(STARTS):
        with open(OUT / f'{row}.err', 'w') as err:
            line = subprocess.run([XWATCH, 'startup', *(['--any'] if any_window else []), '5000', '--',
                                   *command], env=env, stdout=subprocess.PIPE, stderr=err,
                                  text=True).stdout.strip()
        if not line[:1].isdigit():
            failed[row] = f'did not start in this setting ({line}: {tail(OUT / f"{row}.err")})'
            return None
        times.append(float(line.split()[0]))
        time.sleep(0.3)
    return median(times)


def measure(row, command, bus=NO_BUS, any_window=False, seconds=IDLE, mock=None, count_caused=False,
            watch_calls=False, change_every=None):
    """A row of the table: start-up, then one long run of `seconds` after
    SETTLE, with memory, CPU, wake-ups and repaints. count_caused: the wake-ups
    of the bus daemon and mock over the run; watch_calls: the GetAll calls
    anyone makes to UPower; change_every: the mock's battery changes."""
    if not selected(row):
        return
    rows.append(row)
    note(f'{row}: {" ".join(command)}')
    env = dict(BASE_ENV, DBUS_SYSTEM_BUS_ADDRESS=bus)
    put(row, 'startup', startup(row, command, env, any_window))
    if row in failed:
        note(f'{row} FAILED: {failed[row]}')
        return

    program = start(command, OUT / f'{row}.log', env)
    time.sleep(SETTLE)
    if program.poll() is not None:
        failed[row] = f'ended by itself: {tail(OUT / f"{row}.log")}'
        note(f'{row} FAILED: {failed[row]}')
        return
    try:
        kb = memory(program.pid)
    except OSError:  # gone meanwhile
        kb = {}
    for key, value in kb.items():
        put(row, key, value)
    put(row, 'own', kb['private'] - kb['lib_private'] if kb else None)

    shown = windows(row, program.pid)
    monitor = None
    if watch_calls:
        # Started before the counts, so that its own connection to the bus is
        # not counted as caused.
        monitor = start(['dbus-monitor', '--address', UPOWER_BUS, "type='method_call',member='GetAll'"],
                        OUT / f'{row}.calls')
        time.sleep(1)
    cpu0, threads0 = cpu_ms(program.pid), thread_wakeups(program.pid)
    if count_caused:
        caused0 = wakeups(BUS_PID) + wakeups(mock.pid)
    damage = None
    with Changes(mock, change_every) if change_every else contextlib.nullcontext():
        if shown:
            result = subprocess.run([XWATCH, 'damage', f'{seconds:g}', *shown], stdout=subprocess.PIPE,
                                    text=True)
            if result.returncode == 0 and result.stdout.split():
                damage = int(result.stdout.split()[0])
        else:
            time.sleep(seconds)
    cpu1, threads1 = cpu_ms(program.pid), thread_wakeups(program.pid)

    # Per thread, in the run's log folder: build/bench/<row>.threads.
    with open(OUT / f'{row}.threads', 'w') as out:
        for tid, (name, after) in threads1.items():
            out.write(f'{name} {after - threads0.get(tid, (name, 0))[1]}\n')
    woken = sum(n for _, n in threads1.values()) - sum(n for _, n in threads0.values())
    put(row, 'cpu', (cpu1 - cpu0) * 60 / seconds)
    put(row, 'cpu_hour', (cpu1 - cpu0) * 3.6 / seconds)
    put(row, 'wakeups', woken / seconds)
    put(row, 'repaints', None if damage is None else damage * 60 / seconds)
    if count_caused:
        caused = (wakeups(BUS_PID) + wakeups(mock.pid) - caused0) / seconds - notes['baseline']
        put(row, 'caused', max(caused, 0))
    if monitor:
        stop(monitor)
        put(row, 'getall', (OUT / f'{row}.calls').read_text(errors='replace').count('member=GetAll'))
    stop(program)


def syscalls(row, command, bus=NO_BUS, **env):
    """The program's system calls, all threads, over STRACE_SECONDS once it
    has settled (strace -f -c), per second: per tick for a program that ticks
    once a second. The summary is kept in build/bench/<row>.strace."""
    if not selected(row):
        return
    env = dict(BASE_ENV, DBUS_SYSTEM_BUS_ADDRESS=bus, **env)
    program = start(command, OUT / f'{row}.strace.log', env)
    time.sleep(SETTLE)
    summary = OUT / f'{row}.strace'
    subprocess.run(['timeout', '-s', 'INT', f'{STRACE_SECONDS:g}', 'strace', '-f', '-c', '-p',
                    str(program.pid), '-o', str(summary)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    stop(program)
    calls = {}
    for line in summary.read_text().splitlines() if summary.exists() else []:
        # % time, seconds, usecs/call, calls, [errors,] syscall
        fields = line.split()
        if re.match(r'^ *[0-9.]+ +[0-9.]+ ', line) and len(fields) >= 5:
            calls[fields[-1]] = int(fields[3]) / STRACE_SECONDS
    put(row, 'syscalls', calls.pop('total', None))
    fig[row]['syscall_list'] = ', '.join(f'{name} {n:.1f}' for name, n in calls.items())


def helper_wakeups():
    """xbattbar reads the battery through a helper it starts for every
    reading; the helper's wake-ups go with it when it ends, so one run of it
    is measured on its own: the median of 5 runs, from the rusage of
    waited-for children."""
    runs = []
    for _ in range(5):
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_nvcsw
        subprocess.run(XBATTBAR[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        runs.append(resource.getrusage(resource.RUSAGE_CHILDREN).ru_nvcsw - before)
    return median(runs)


def side_by_side():
    """tellavo on the kernel's files, the floor and cbatticon at its own pace,
    side by side: the load of the moment weighs on all three alike, where rows
    taken minutes apart differ by a third and more. SIDE_RUNS runs, each with
    the three started afresh; the targets are checked on the medians."""
    if not selected('side-by-side'):
        return
    commands = {'tellavo-sysfs': [TELLAVO], 'qt-floor': [FLOOR], 'cbatticon': ['cbatticon']}
    for row in commands:
        side[row] = []
    for run in range(1, SIDE_RUNS + 1):
        note(f'side by side, run {run} of {SIDE_RUNS}, {SIDE_SECONDS:g} s: {" ".join(commands)}')
        programs = {row: start(command, OUT / f'side-{row}.log') for row, command in commands.items()}
        time.sleep(SETTLE)
        before = {row: cpu_ms(p.pid) for row, p in programs.items()}
        time.sleep(SIDE_SECONDS)
        after = {row: cpu_ms(p.pid) for row, p in programs.items()}
        for row, program in programs.items():
            stop(program)
            side[row].append(round((after[row] - before[row]) * 60 / SIDE_SECONDS, 1))
    ratios = [round(t / f, 2) for t, f in zip(side['tellavo-sysfs'], side['qt-floor']) if f]
    side['ratio'] = ratios
    for row in commands:
        put(row, 'side_cpu', median(side[row]))
        put(row, 'side_floor', median([round(a / f, 2) for a, f in zip(side[row], side['qt-floor']) if f]))
    put('tellavo-sysfs', 'side_ratio', median(ratios))


# --- one tick, in the process --------------------------------------------------

def instructions(ticks, label, bus, *args):
    """callgrind's count of runTicks alone, over `ticks` ticks."""
    out = OUT / f'callgrind.{label}.{ticks}'
    with open(f'{out}.log', 'w') as log:
        result = subprocess.run(
            ['valgrind', '--tool=callgrind', '--collect-atstart=no', '--toggle-collect=*runTicks*',
             f'--callgrind-out-file={out}', TICK_BENCH, *args, '--ticks', str(ticks)],
            env=dict(BASE_ENV, QT_QPA_PLATFORM='offscreen', DBUS_SYSTEM_BUS_ADDRESS=bus),
            stdout=log, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        return None
    found = re.search(r'^(?:summary|totals): (\d+)', out.read_text(), re.M)
    return int(found.group(1)) if found else None


def per_tick(label, bus, *args):
    """The difference of two runs with different counts leaves out whatever
    the first ticks do once."""
    small, large = instructions(100, label, bus, *args), instructions(1100, label, bus, *args)
    return None if small is None or large is None else (large - small) / 1000


def heap(bus, *args):
    """Bytes more in use after 100000 ticks. Without the per-thread caches
    glibc counts as in use, so that only what the ticks keep shows (with
    them, a few freed blocks of the D-Bus thread read as 48 to 240 bytes
    "grown" at random)."""
    with open(OUT / 'heap.err', 'w') as err:
        printed = subprocess.run(
            [TICK_BENCH, *args, '--ticks', '100000', '--heap'], stdout=subprocess.PIPE, stderr=err,
            text=True, env=dict(BASE_ENV, GLIBC_TUNABLES='glibc.malloc.tcache_count=0',
                                QT_QPA_PLATFORM='offscreen', DBUS_SYSTEM_BUS_ADDRESS=bus)).stdout
    found = re.search(r'heap_growth=(-?\d+)', printed)
    return int(found.group(1)) if found else None


# --- the targets -------------------------------------------------------------------

BEST_PEER = 'the better peer'  # the smaller figure of cbatticon and xbattbar at their own pace


@dataclass
class Target:
    name: str
    row: str
    figure: str
    op: str  # '<=' or '<'
    bound: object  # a number, (row, figure) of the same run, or BEST_PEER
    why: str


TARGETS = [
    # what is checked,
    #     row, figure, comparison, bound, why the bound is there
    Target('tellavo-sysfs: own wake-ups per second',
           'tellavo-sysfs', 'wakeups', '<=', 1.05, "one a tick, as the floor's: no timer of its own"),
    Target(f"tellavo-sysfs: CPU over the floor's, side by side, median of {SIDE_RUNS}",
           'tellavo-sysfs', 'side_ratio', '<=', 1.3, 'a few kept files read: little more than a bare label'),
    Target("tellavo-sysfs: CPU ms/min, cbatticon's (5 s pace), side by side, medians",
           'tellavo-sysfs', 'side_cpu', '<', ('cbatticon', 'side_cpu'),
           'a reading a second costs less than a peer reading every 5 s'),
    Target('tellavo-sysfs: system calls per tick',
           'tellavo-sysfs', 'syscalls', '<=', 12, 'kept files read again, no walk of the folder'),
    Target('tellavo-sysfs-enodev: system calls per tick, reads failing',
           'tellavo-sysfs-enodev', 'syscalls', '<=', 12, 'an unknown value waits for the next listing'),
    Target('tellavo-upower, steady battery: own wake-ups per second',
           'tellavo-upower', 'wakeups', '<=', 0.1, 'the tick sleeps; UPower is asked once a minute at most'),
    Target("tellavo-upower, steady battery: CPU ms per minute, the floor's",
           'tellavo-upower', 'cpu', '<=', ('qt-floor', 'cpu'), 'its tick asleep: less than a ticking label'),
    Target('tellavo-upowerd, discharging: own wake-ups per second',
           'tellavo-upowerd', 'wakeups', '<=', 0.1, "woken by upowerd's news, every 30 s"),
    Target("tellavo-upowerd, discharging: CPU ms per minute, the floor's",
           'tellavo-upowerd', 'cpu', '<=', ('qt-floor', 'cpu'), 'the work follows what upowerd says'),
    Target('tellavo-upowerd, discharging: liveness calls while upowerd talks',
           'tellavo-upowerd', 'getall', '<=', 0, 'upowerd speaks every 30 s: no need to ask it'),
    Target("tellavo-upower: own wake-ups per second, cbatticon's",
           'tellavo-upower', 'wakeups', '<', ('cbatticon', 'wakeups'), 'woken when told, not by a clock'),
    Target("tellavo-upower: own wake-ups per second, xbattbar's",
           'tellavo-upower', 'wakeups', '<', ('xbattbar', 'wakeups'), 'woken when told, not by a clock'),
    Target("tellavo-upower-1min: own wake-ups per second, cbatticon's",
           'tellavo-upower-1min', 'wakeups', '<', ('cbatticon', 'wakeups'), 'woken by each change only'),
    Target("tellavo-upower-1min: own wake-ups per second, xbattbar's",
           'tellavo-upower-1min', 'wakeups', '<', ('xbattbar', 'wakeups'), 'woken by each change only'),
    Target('tellavo-sysfs: repaints per minute, nothing changing',
           'tellavo-sysfs', 'repaints', '<=', 0, 'a strip that shows the same draws nothing'),
    Target('tellavo-sysfs: CPU ms per minute (1 s per hour)',
           'tellavo-sysfs', 'cpu', '<=', 16.7, 'on all day, a second of CPU an hour at most'),
    Target("tellavo-sysfs: CPU ms per minute, the better peer's",
           'tellavo-sysfs', 'cpu', '<=', BEST_PEER, 'no more than the lighter peer Debian has'),
    Target("tellavo-sysfs: private kB, cbatticon's",
           'tellavo-sysfs', 'private', '<=', ('cbatticon', 'private'), 'no more than a GTK tray icon'),
    Target('tellavo-sysfs: start-up ms',
           'tellavo-sysfs', 'startup', '<=', 150, 'the strip is there at once'),
    Target("tellavo-sysfs: start-up ms, cbatticon's",
           'tellavo-sysfs', 'startup', '<=', ('cbatticon', 'startup'), 'no slower to show than a peer'),
    Target('tellavo-sysfs: heap growth over 100000 ticks, bytes',
           'tellavo-sysfs', 'heap', '<=', 0, 'a tick keeps nothing: on for months, it does not grow'),
    Target('tellavo-upower: repaints per minute, nothing changing',
           'tellavo-upower', 'repaints', '<=', 0, 'a strip that shows the same draws nothing'),
    Target('tellavo-upower: CPU ms per minute (1 s per hour)',
           'tellavo-upower', 'cpu', '<=', 16.7, 'on all day, a second of CPU an hour at most'),
    Target("tellavo-upower: CPU ms per minute, the better peer's",
           'tellavo-upower', 'cpu', '<=', BEST_PEER, 'no more than the lighter peer Debian has'),
    Target("tellavo-upower: private kB, cbatticon's",
           'tellavo-upower', 'private', '<=', ('cbatticon', 'private'), 'no more than a GTK tray icon'),
    Target('tellavo-upower: start-up ms',
           'tellavo-upower', 'startup', '<=', 150, 'the strip is there at once'),
    Target("tellavo-upower: start-up ms, cbatticon's",
           'tellavo-upower', 'startup', '<=', ('cbatticon', 'startup'), 'no slower to show than a peer'),
    Target('tellavo-upower: heap growth over 100000 ticks, bytes',
           'tellavo-upower', 'heap', '<=', 0, 'a tick keeps nothing: on for months, it does not grow'),
    Target('tellavo-upower: wake-ups caused in the bus and UPower /s',
           'tellavo-upower', 'caused', '<=', 0.1, 'reading its own cache costs the bus and UPower nothing'),
    Target('tellavo-sysfs: instructions per tick',
           'tellavo-sysfs', 'tick', '<', 50000, "the window's tick and a few reads"),
    Target('tellavo-upower: instructions per tick',
           'tellavo-upower', 'tick', '<', 20000, 'the tick reads the cache: no call to another process'),
]


def bound_of(target):
    if target.bound == BEST_PEER:
        peers = [v for v in (get('cbatticon', target.figure), get('xbattbar', target.figure))
                 if v is not None]
        return min(peers) if peers else None
    if isinstance(target.bound, tuple):
        return get(*target.bound)
    return target.bound


def verdict(value, op, bound):
    if value is None or bound is None:
        return 'not measured'
    return 'PASS' if (value <= bound if op == '<=' else value < bound) else 'MISS'


# --- the report --------------------------------------------------------------------



def text(value, digits):
    return '-' if value is None else f'{value:.{digits}f}'


def show(row, figure):
    return text(get(row, figure), DIGITS[figure])


def ratio(a, b):
    return '-' if a is None or b is None or b == 0 else f'{a / b:.2f}'


def wrap(paragraph, indent=''):
    return textwrap.fill(paragraph, 100, initial_indent=indent, subsequent_indent=indent,
                         break_on_hyphens=False)


def today():
    return f'{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d}'


def loadavg():
    return ' '.join(Path('/proc/loadavg').read_text().split()[:3])


def report(load_before):
    lines = []
    say = lines.append
    say(f'Frugality, {today()}, idle run {IDLE:g} s (tellavo-upower-1min: {CHANGING:g} s, 1 % less '
        f'charge every 60 s; tellavo-upowerd: {CHANGING:g} s, upowerd over a battery draining at 20 W), '
        f'start-up median of {STARTS}, memory after {SETTLE} s; {os.cpu_count()} cores, '
        f'{os.uname().release}; load average (1, 5, 15 min) {load_before} at the start, {loadavg()} '
        f'at the end')
    table = COLUMNS[:17]
    say(f'{"program":<19}' + ''.join(f' {heading:>10}' for _, heading, _ in table))
    for row in rows:
        if row in failed:
            say(f'{row:<19} {failed[row]}')
        else:
            say(f'{row:<19}' + ''.join(f' {show(row, figure):>10}' for figure, _, _ in table))
    say('')
    say(wrap(
        f"wake/s: voluntary context switches of all threads (xbattbar: with its helper's, "
        f"{text(notes.get('helper'), 0)} a run). caused/s: wake-ups of the bus daemon and the UPower "
        f"mock, minus {text(notes.get('baseline'), 3)}/s with no indicator (tellavo-upower-1min: the "
        f"mock's own changes included). x floor: CPU time over qt-floor's in this run. GetAll: calls "
        f"to UPower during the run, none but the liveness checks once started. sys/tick: system calls "
        f"per second (all threads, strace -f -c over {STRACE_SECONDS:g} s), one tick a second. Pss lib "
        f"/ priv lib: the part of Pss / private memory in shared libraries; priv own: private memory "
        f"outside them (heap, stacks, data)."))
    say('')
    say("Ratios tellavo/peer (tellavo-sysfs; the peers read sysfs too):")
    for peer in PEERS:
        if peer in failed:
            say(f'  {peer}: -')
            continue
        say(f'  {peer:<13}' + ''.join(f' {figure} {ratio(get("tellavo-sysfs", figure), get(peer, figure))}'
                                      for figure in ('startup', 'rss', 'pss', 'private', 'cpu', 'wakeups')))
    say('')
    say("System calls per tick on the kernel's files (strace -f -c, all threads):")
    for row in ('tellavo-sysfs', 'tellavo-sysfs-enodev', 'qt-floor'):
        say(f'  {row}: {show(row, "syscalls")} a tick: {fig.get(row, {}).get("syscall_list", "-")}')
    say(wrap(
        "(tellavo-sysfs-enodev: two batteries behind a FUSE folder whose reads of one's energy_full "
        "and the other's power_now fail with ENODEV.)", '  '))
    say('')
    if side.get('ratio') is not None:
        say(f'Side by side, {SIDE_RUNS} runs of {SIDE_SECONDS:g} s, CPU ms per minute, run by run:')
        for run in range(SIDE_RUNS):
            say(f'  run {run + 1}: tellavo-sysfs {side["tellavo-sysfs"][run]}, qt-floor '
                f'{side["qt-floor"][run]}, cbatticon {side["cbatticon"][run]}; tellavo over the floor '
                f'{ratio(side["tellavo-sysfs"][run], side["qt-floor"][run])}')
        say(f'  medians: tellavo-sysfs {show("tellavo-sysfs", "side_cpu")}, qt-floor '
            f'{show("qt-floor", "side_cpu")}, cbatticon {show("cbatticon", "side_cpu")}; tellavo over '
            f'the floor {show("tellavo-sysfs", "side_ratio")} '
            f'(ratios: {" ".join(f"{r:.2f}" for r in side["ratio"])})')
        say('')
    say('Targets (PASS or MISS; "not measured" where a row did not run):')
    misses = 0
    for target in TARGETS:
        value, bound = get(target.row, target.figure), bound_of(target)
        result = verdict(value, target.op, bound)
        misses += result == 'MISS'
        digits = DIGITS[target.figure]
        limit = f'{bound:g}' if isinstance(target.bound, (int, float)) else text(bound, digits)
        say(f'  {target.name:<64} {text(value, digits):>10} {target.op:<2} {limit:<10} {result}')
        if result == 'MISS':
            say(f'      (the bound: {target.why})')
    if 'qt-floor' not in failed and 'cbatticon' not in failed:
        say(wrap(
            f"(private memory: a bare Qt label with a timer, the floor of this stack, keeps "
            f"{show('qt-floor', 'private')} kB private, {show('qt-floor', 'lib_private')} kB of it in "
            f"Qt's libraries that no other program maps here; cbatticon keeps "
            f"{show('cbatticon', 'private')} kB. Outside shared libraries: tellavo-sysfs "
            f"{show('tellavo-sysfs', 'own')} kB, floor {show('qt-floor', 'own')} kB, cbatticon "
            f"{show('cbatticon', 'own')} kB.)", '  '))
    say(f"  (tellavo-upower-1min: CPU {show('tellavo-upower-1min', 'cpu_hour')} s/h, "
        f"{show('tellavo-upower-1min', 'repaints')} repaints/min, "
        f"{show('tellavo-upower-1min', 'wakeups')} wake-ups/s.)")
    say('')
    say(f'{misses} target(s) missed.')
    return '\n'.join(lines) + '\n'


# The README's table: one row a setting, with the command that gives its figures.
README_FIGURES = ['startup', 'private', 'own', 'cpu', 'floor', 'wakeups', 'caused', 'getall', 'repaints',
                  'syscalls', 'tick', 'heap']
README_ROWS = ['tellavo-sysfs', 'tellavo-sysfs-enodev', 'tellavo-upower',
               'tellavo-upower-1min', 'tellavo-upowerd', 'qt-floor', *PEERS]
BEGIN = '<!-- the table below is written by scripts/bench.sh --readme -->'
END = '<!-- the table above is written by scripts/bench.sh --readme -->'


def readme_table(load_before):
    Q = '"'
    heading = {figure: name for figure, name, _ in COLUMNS}

    def line(cells):
        return '| ' + ' | '.join(cells) + ' |'

    def cell(row, figure):
        return '' if get(row, figure) is None else show(row, figure)

    def command(only):
        return f'`TELLAVO_BENCH_ONLY={f"{Q}{only}{Q}" if " " in only else only} scripts/bench.sh`'

    out = [BEGIN, line(['row', *[heading[f] for f in README_FIGURES], 'command']),
           line(['---', *['--:'] * len(README_FIGURES), '---'])]
    for row in README_ROWS:
        with_floor = get(row, 'floor') is not None and row != 'qt-floor'
        out.append(line([f'`{row}`', *[cell(row, f) for f in README_FIGURES],
                         command(f'{row} qt-floor' if with_floor else row)]))
    for row in ('tellavo-sysfs', 'qt-floor', 'cbatticon'):
        cells = {'cpu': cell(row, 'side_cpu'), 'floor': cell(row, 'side_floor')}
        out.append(line([f'`{row}` side by side', *[cells.get(f, '') for f in README_FIGURES],
                         command('side-by-side')]))
    out += ['', f'One run of `scripts/bench.sh --readme`, {today()}, '
            f'{os.cpu_count()} cores, load average {load_before.split()[0]} at the start and '
            f'{loadavg().split()[0]} at the end; side by side: the medians of {SIDE_RUNS} runs of '
            f'{SIDE_SECONDS:g} s.', END]
    return '\n'.join(out) + '\n'


def write_readme(table):
    readme = ROOT / 'README.md'
    now = readme.read_text()
    begin, end = now.find(BEGIN), now.find(END)
    if begin < 0 or end < begin:
        sys.exit('bench: README.md has no table markers to write between')
    readme.write_text(now[:begin] + table + now[end + len(END) + 1:])


# --- the run -----------------------------------------------------------------------

def main():
    readme = '--readme' in sys.argv[1:]
    if readme and ONLY:
        sys.exit('bench: --readme writes the table of a full run: unset TELLAVO_BENCH_ONLY')
    OUT.mkdir(parents=True, exist_ok=True)
    load_before = loadavg()
    config = TMP / 'config' / 'Ambrovia'
    config.mkdir(parents=True, exist_ok=True)
    (config / 'Ambrovia.ini').write_text(
        '[Generale]\nSoglia=30\nSIPP=1\nSx=1500\nTop=1500\nMessaggio=Attacca la spina!!\n')

    mock = upower_mock()
    if selected('tellavo-upower') or selected('tellavo-upower-1min'):
        note(f'baseline: the bus and the mock for {IDLE:g} s with no indicator')
        before = wakeups(BUS_PID) + wakeups(mock.pid)
        time.sleep(IDLE)
        notes['baseline'] = round((wakeups(BUS_PID) + wakeups(mock.pid) - before) / IDLE, 3)
        note(f'baseline: {notes["baseline"]:.3f} wake-ups/s in the bus daemon and the mock')

    measure('tellavo-sysfs', [TELLAVO])
    syscalls('tellavo-sysfs', [TELLAVO])
    # The kernel's files as some laptops' drivers give them: two batteries
    # behind a FUSE folder that fails the reads of one's energy_full and the
    # other's power_now with ENODEV, as an ACPI battery fails the values its
    # firmware does not know, while both are there.
    if selected('tellavo-sysfs-enodev'):
        folder = TMP / 'failing' / 'power_supply'
        folder.mkdir(parents=True, exist_ok=True)
        fuse = Driver('failing', 'failing_sysfs.py', '--source',
                      str(ROOT / 'tests' / 'power' / 'fixtures' / 'two_batteries'), '--mount', str(folder),
                      '--fail', 'BAT0/energy_full', '--fail', 'BAT1/power_now')
        syscalls('tellavo-sysfs-enodev', [TELLAVO], TELLAVO_POWER_SUPPLY_DIR=str(folder))
        fuse.stop()  # its stdin closed, it unmounts and ends
    measure('tellavo-upower', [TELLAVO], bus=UPOWER_BUS, mock=mock, count_caused=True, watch_calls=True)
    measure('tellavo-upower-1min', [TELLAVO], bus=UPOWER_BUS, mock=mock, count_caused=True,
            watch_calls=True, change_every=60, seconds=CHANGING)
    # The real upowerd in the mock's place for one run: a laptop on battery.
    if selected('tellavo-upowerd'):
        mock.stop()
        upowerd = Driver('upowerd', 'upowerd_umockdev.py', '--log', str(TMP / 'upowerd' / 'log'),
                         '--percentage', '57.4', '--status', 'Discharging', '--ac-online', '0',
                         '--discharge', '20')
        measure('tellavo-upowerd', [TELLAVO], bus=UPOWER_BUS, watch_calls=True, seconds=CHANGING)
        upowerd.stop()
        mock = upower_mock()
    measure('cbatticon', ['cbatticon'], any_window=True)
    measure('xbattbar', XBATTBAR, any_window=True)
    # The peers again at tellavo's own pace, one reading a second.
    measure('cbatticon-1s', ['cbatticon', '-u', '1'], any_window=True)
    measure('xbattbar-1s', ['xbattbar', '-p', '1', *XBATTBAR[1:]], any_window=True)
    # Each reading's helper counted in: one every 10 s by default, every second at -p 1.
    if selected('xbattbar') or selected('xbattbar-1s'):
        notes['helper'] = helper_wakeups()
        for row, every in (('xbattbar', 10), ('xbattbar-1s', 1)):
            if get(row, 'wakeups') is not None:
                put(row, 'wakeups', get(row, 'wakeups') + notes['helper'] / every)
    # The floor: a bare Qt Widgets program with a label and a 1 s timer.
    measure('qt-floor', [FLOOR])
    syscalls('qt-floor', [FLOOR])
    side_by_side()

    note('instructions per tick (callgrind) and heap growth over 100000 ticks')
    for row, source, bus in (('tellavo-sysfs', 'sysfs', NO_BUS), ('tellavo-upower', 'upower', UPOWER_BUS)):
        if selected(row):
            put(row, 'tick', per_tick(source, bus, '--source', source))
            put(row, 'heap', heap(bus, '--source', source))
    mock.stop()

    for row in rows:
        cpu, floor = get(row, 'cpu'), get('qt-floor', 'cpu')
        put(row, 'floor', None if cpu is None or not floor else cpu / floor)
    results = report(load_before)
    print(results, end='')
    (OUT / 'results.txt').write_text(results)
    table = readme_table(load_before)
    (OUT / 'readme.md').write_text(table)
    if readme:
        write_readme(table)
        print('README.md: the table written from this run')


if __name__ == '__main__':
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        main()
    finally:
        for process in reversed(running):
            stop(process)
