#!/usr/bin/python3
"""The real upowerd over a fake kernel battery, for tests.

Makes a umockdev testbed with one battery (BAT0, 50 Wh) and one mains adapter
(AC), starts /usr/libexec/upowerd as a child on the bus named by
$DBUS_SYSTEM_BUS_ADDRESS (start one with private_bus.sh or the Qt tests'
helpers) and changes the fake battery on command, the way the kernel would:
new attribute values, then a "change" uevent, which upowerd answers with
PropertiesChanged within a second.

    /usr/bin/python3 upowerd_umockdev.py [--percentage 57] [--status Discharging]
                                         [--ac-online 0|1] [--discharge WATTS]
                                         [--second-battery] [--sysfs-link PATH]
                                         [--history-dir DIR] [--seed-history]
                                         [--seed-hours 3] [--idle-second]
                                         [--tree DIR] [--log FILE]

--discharge drains the battery as a laptop's drains on battery: every second
energy_now falls by WATTS for that second, power_now says WATTS and capacity
follows the energy, with no uevent (the kernel sends none for a gradual drain:
upowerd reads the battery again at its own refresh, every 30 s while it
discharges). At 20 W the 50 Wh battery loses 1 % every 90 s.

BAT0 holds 87 % of its design energy and has done 312 cycles. --second-battery
adds BAT1 (24 Wh, 30 %, discharging at 4 W, no design figure), as a laptop with
a second pack has it. --sysfs-link makes PATH a link to the testbed's
/sys/class/power_supply, where a reader outside umockdev finds the batteries'
own files (the charge limit, which upowerd does not tell). --seed-history
gives BAT0 a past in upowerd's history before it starts: a day of charge (95 %
a day ago down to 40 %, charged to 90 % on mains, full a while, down to the
57 % of now) and the last twelve minutes of rates swinging between 5 and 25 W
at each of upowerd's 30 s refreshes; BAT1, with --second-battery, 30 % all day.
--seed-hours 3 gives a shorter past instead: three hours (80 % down to 60 %
on battery, charged to 70 %, unplugged an hour ago, down to 57 %).
--idle-second gives BAT1 no history at all, as upowerd has none for a battery
whose charge never changed.

--tree DIR gives upowerd the supplies of a tree laid out as the kernel's
/sys/class/power_supply (tests/power/fixtures), one device a folder, each
file an attribute, in place of BAT0 and AC: the battery commands below then
have no battery to change.

It runs itself again under umockdev-wrapper when it is not already preloaded.
Once upowerd owns org.freedesktop.UPower it prints "ready" on stdout. Commands,
one a line on stdin (the loop and its answers are command_loop.py's), are
answered once the uevent has been sent:

    battery <percentage> <status>   capacity, energy_now and status of BAT0
                                    (status as the kernel writes it: Charging,
                                    Discharging, Full, Not charging, Unknown)
    ac <0|1>                        online of AC
    set <attribute> <value>         any one attribute of BAT0
    drain <watts>                   the --discharge rate from now on (negative:
                                    charging), with no uevent
    mouse <percentage>              a wireless mouse's battery comes
    mouse-gone                      and goes
    quit

upowerd's own output goes to the --log file (default: nowhere). The driver
ends upowerd (SIGTERM, then SIGKILL) when it ends: on "quit", at the end of
stdin, on SIGTERM, SIGINT or SIGHUP; and it ends when upowerd ends. upowerd
also gets SIGKILL from the kernel if the driver dies without cleaning up, so
no stray daemon outlives a test.
"""

import argparse
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import command_loop
from gi.repository import GLib

UPOWERD = '/usr/libexec/upowerd'
SERVICE = 'org.freedesktop.UPower'
ENERGY_FULL = 50_000_000  # µWh, as the kernel writes it
ENERGY_FULL_DESIGN = 57_471_264  # 87 % health
PR_SET_PDEATHSIG = 1


def reexec_under_umockdev():
    # UMockdev.in_mock_environment() says False even under the wrapper here,
    # so look at the preload list ourselves.
    if 'libumockdev-preload' not in os.environ.get('LD_PRELOAD', ''):
        os.execvp('umockdev-wrapper', ['umockdev-wrapper', sys.executable] + sys.argv)


def three_hours(now):
    charge = []
    for minutes_ago in range(180, 0, -5):
        if minutes_ago > 90:           # on battery: 80 % down to 60 %
            level, state = 80 - 20 * (180 - minutes_ago) / 90, 'discharging'
        elif minutes_ago > 60:         # plugged in: up to 70 %
            level, state = 60 + 10 * (90 - minutes_ago) / 30, 'charging'
        else:                          # unplugged: down to 57 %
            level, state = 70 - 13 * (60 - minutes_ago) / 60, 'discharging'
        charge.append((now - minutes_ago * 60, level, state))
    return charge


def seed_history(folder, now, hours=24, idle_second=False):
    # upowerd's own format, one file a kind per battery, named by its model and
    # design energy in Wh.
    charge = []
    for minutes_ago in range(24 * 60, 0, -10):
        t = now - minutes_ago * 60
        if minutes_ago > 14 * 60:      # on battery: 95 % down to 40 %
            level, state = 95 - 55 * (24 * 60 - minutes_ago) / (10 * 60), 'discharging'
        elif minutes_ago > 10 * 60:    # plugged in: up to 90 %
            level, state = 40 + 50 * (14 * 60 - minutes_ago) / (4 * 60), 'charging'
        elif minutes_ago > 6 * 60:
            level, state = 90, 'fully-charged'
        else:                          # unplugged: down to 57 %
            level, state = 90 - 33 * (6 * 60 - minutes_ago) / (6 * 60), 'discharging'
        charge.append((t, level, state))
    if hours != 24:
        charge = three_hours(now)
    rate = [(now - 720 + 30 * i, 25.0 if i % 2 else 5.0, 'discharging') for i in range(24)]
    # The second pack, when there is one: 30 % all day.
    steady = [(t, 30.0, s) for t, _, s in charge]
    files = [('Fake_battery-57', 'charge', charge), ('Fake_battery-57', 'rate', rate)]
    if not idle_second:
        files.append(('Second_pack', 'charge', steady))
    for name, kind, items in files:
        with open(os.path.join(folder, f'history-{kind}-{name}.dat'), 'w') as f:
            f.writelines(f'{t}\t{v:.3f}\t{s}\n' for t, v, s in items)


def die_with_parent():
    # In the child, before exec: the kernel kills upowerd when we go.
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class Driver:
    def __init__(self, args):
        import gi
        gi.require_version('UMockdev', '1.0')
        from gi.repository import UMockdev
        self.loop = GLib.MainLoop()
        self.testbed = UMockdev.Testbed.new()
        if args.tree:
            self.add_tree(args.tree)
        else:
            self.add_battery_and_charger(args)
        if args.sysfs_link:
            if os.path.lexists(args.sysfs_link):
                os.unlink(args.sysfs_link)
            os.symlink(os.path.join(self.testbed.get_root_dir(), 'sys/class/power_supply'),
                       args.sysfs_link)
        self.mouse = None
        # upowerd keeps each battery's history there, and reads it at start.
        self.keep_history = bool(args.history_dir)
        self.history = args.history_dir or tempfile.mkdtemp(prefix='upowerd-history.')
        if args.seed_history:
            seed_history(self.history, int(time.time()), args.seed_hours, args.idle_second)
        env = dict(os.environ,
                   UMOCKDEV_DIR=self.testbed.get_root_dir(),
                   UPOWER_HISTORY_DIR=self.history)
        log = open(args.log or os.devnull, 'ab')
        self.upowerd = subprocess.Popen([UPOWERD, '-v'], env=env, stdin=subprocess.DEVNULL,
                                        stdout=log, stderr=subprocess.STDOUT,
                                        preexec_fn=die_with_parent)
        log.close()
        GLib.child_watch_add(GLib.PRIORITY_DEFAULT, self.upowerd.pid, self.on_upowerd_exit)
        self.ready = False
        self.energy = ENERGY_FULL * args.percentage / 100
        self.drain = args.discharge

    def add_tree(self, tree):
        self.bat = self.ac = None
        for name in sorted(os.listdir(tree)):
            folder = os.path.join(tree, name)
            if not os.path.isdir(folder):
                continue
            attributes = []
            for attribute in sorted(os.listdir(folder)):
                with open(os.path.join(folder, attribute)) as f:
                    attributes += [attribute, f.read().rstrip('\n')]
            self.testbed.add_device('power_supply', name, None, attributes, [])

    def add_battery_and_charger(self, args):
        self.bat = self.testbed.add_device('power_supply', 'BAT0', None, [
            'type', 'Battery',
            'present', '1',
            'status', args.status,
            'capacity', str(round(args.percentage)),
            'energy_full', str(ENERGY_FULL),
            'energy_full_design', str(ENERGY_FULL_DESIGN),
            'cycle_count', '312',
            'energy_now', str(int(ENERGY_FULL * args.percentage / 100)),
            'voltage_now', '12000000',
            'power_now', '10000000',
            'manufacturer', 'Tellavo tests',
            'model_name', 'Fake battery',
            'technology', 'Li-ion',
        ], [])
        self.ac = self.testbed.add_device('power_supply', 'AC', None, [
            'type', 'Mains',
            'online', str(args.ac_online),
        ], [])
        if args.second_battery:
            self.testbed.add_device('power_supply', 'BAT1', None, [
                'type', 'Battery', 'present', '1', 'status', 'Discharging', 'capacity', '30',
                'energy_full', '24000000', 'energy_now', '7200000', 'power_now', '4000000',
                'voltage_now', '11400000', 'model_name', 'Second pack',
            ], [])

    def start_drain(self):
        if not self.drain:
            return
        self.testbed.set_attribute(self.bat, 'power_now', str(int(self.drain * 1_000_000)))
        GLib.timeout_add_seconds(1, self.drain_a_second)

    def drain_a_second(self):
        self.energy = min(ENERGY_FULL, max(0.0, self.energy - self.drain * 1_000_000 / 3600))
        self.testbed.set_attribute(self.bat, 'energy_now', str(int(self.energy)))
        self.testbed.set_attribute(self.bat, 'capacity', str(round(100 * self.energy / ENERGY_FULL)))
        return True

    def on_upowerd_exit(self, _pid, status):
        self.upowerd.returncode = status
        sys.stderr.write(f'upowerd ended (wait status {status})\n')
        self.loop.quit()

    def wait_ready(self):
        import dbus
        bus = dbus.SystemBus()
        for _ in range(200):  # 10 s
            if self.upowerd.poll() is not None:
                return False
            if bus.name_has_owner(SERVICE):
                return True
            GLib.usleep(50_000)
        return False

    def uevent(self, device):
        self.testbed.uevent(device, 'change')

    def run(self, line):
        words = line.split(None, 2)
        cmd, rest = words[0], words[1:]
        if cmd == 'battery':
            percentage = float(rest[0])
            self.energy = ENERGY_FULL * percentage / 100
            self.testbed.set_attribute(self.bat, 'capacity', str(round(percentage)))
            self.testbed.set_attribute(self.bat, 'energy_now', str(int(ENERGY_FULL * percentage / 100)))
            self.testbed.set_attribute(self.bat, 'status', rest[1])
            self.uevent(self.bat)
        elif cmd == 'ac':
            self.testbed.set_attribute(self.ac, 'online', rest[0])
            self.uevent(self.ac)
        elif cmd == 'drain':
            # A new rate for --discharge; negative while a charger fills it.
            self.drain = float(rest[0])
            self.testbed.set_attribute(self.bat, 'power_now', str(int(abs(self.drain) * 1_000_000)))
        elif cmd == 'mouse':
            # A HID mouse with its battery, as the kernel lists a wireless one:
            # upowerd takes the kind from the input device beside it, under
            # one USB device.
            usb = self.testbed.add_device('usb', 'usb1/1-2', None, [], ['DEVTYPE', 'usb_device'])
            hid = self.testbed.add_device('hid', '0003:046D:4101.0001', usb, [], [])
            self.testbed.add_device('input', 'input99', hid, [], ['ID_INPUT_MOUSE', '1'])
            self.mouse = self.testbed.add_device('power_supply', 'hidpp_battery_0', hid, [
                'type', 'Battery', 'scope', 'Device', 'present', '1', 'online', '1',
                'status', 'Discharging', 'capacity', rest[0], 'model_name', 'Wireless Mouse',
                'serial_number', '4101-1d-aa-55-01',
            ], [])
        elif cmd == 'mouse-gone':
            self.testbed.uevent(self.mouse, 'remove')
            self.testbed.remove_device(self.mouse)
        elif cmd == 'set':
            self.testbed.set_attribute(self.bat, rest[0], rest[1])
            self.uevent(self.bat)
        else:
            raise ValueError(f'unknown command {cmd}')

    def stop(self):
        if self.upowerd.poll() is None:
            self.upowerd.terminate()
            try:
                self.upowerd.wait(timeout=3)
            except subprocess.TimeoutExpired:
                self.upowerd.kill()
                self.upowerd.wait()
        if not self.keep_history:
            shutil.rmtree(self.history, ignore_errors=True)
        # Python may never finalize the testbed, which would remove it.
        shutil.rmtree(self.testbed.get_root_dir(), ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--percentage', type=float, default=57.0)
    parser.add_argument('--status', default='Discharging')
    parser.add_argument('--ac-online', type=int, choices=(0, 1), default=0)
    parser.add_argument('--discharge', type=float, default=0.0, metavar='WATTS',
                        help='drain the battery at this rate, without uevents')
    parser.add_argument('--second-battery', action='store_true')
    parser.add_argument('--sysfs-link', metavar='PATH')
    parser.add_argument('--seed-history', action='store_true')
    parser.add_argument('--seed-hours', type=int, choices=(3, 24), default=24)
    parser.add_argument('--idle-second', action='store_true')
    parser.add_argument('--history-dir', metavar='DIR',
                        help="upowerd's history folder, kept (default: one of its own, removed)")
    parser.add_argument('--tree', metavar='DIR', help='the supplies of this folder instead')
    parser.add_argument('--log', help="file for upowerd's own output")
    args = parser.parse_args()
    reexec_under_umockdev()
    # Until the main loop takes over, SIGTERM still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    driver = Driver(args)
    try:
        if not driver.wait_ready():
            sys.stderr.write('upowerd did not take its name on the bus\n')
            sys.exit(1)
        driver.start_drain()
        command_loop.serve(driver.loop, driver.run,
                           (signal.SIGTERM, signal.SIGINT, signal.SIGHUP))
    finally:
        driver.stop()


if __name__ == '__main__':
    main()
