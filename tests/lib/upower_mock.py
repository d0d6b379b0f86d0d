#!/usr/bin/python3
"""A mocked UPower for tests: python3-dbusmock's upower template with a display
device and one battery, on the bus named by $DBUS_SYSTEM_BUS_ADDRESS (start one
with private_bus.sh or the Qt tests' helpers), driven by commands on stdin.

Run it with /usr/bin/python3 (the system interpreter has dbusmock and gi):

    /usr/bin/python3 upower_mock.py [--percentage 57] [--state discharging]
                                    [--on-battery | --on-ac] [--no-battery]
                                    [--display-only battery|ups] [--log FILE]

With --display-only no device is listed, and the display device alone stands
for a battery (or for a UPS), as on a desktop whose UPS upowerd does not list.

It sets everything up, then claims org.freedesktop.UPower and prints "ready" on
stdout. Commands, one a line on stdin (the loop and its answers are
command_loop.py's), are answered once the change and its PropertiesChanged
signal have been sent:

    percentage <number>        Percentage of the battery and the display device
                               (any double: 30, 88.5, nan, inf, -5, 1e308), and
                               their energy of 50 Wh with it, through the
                               template's SetDeviceProperties
    state <name|number>        State of both, the same way: unknown, charging,
                               discharging, empty, fully-charged,
                               pending-charge, pending-discharge, or the number
    on-battery <true|false>    OnBattery of /org/freedesktop/UPower
    add-battery [<percentage> [<state>]]
    remove-battery             the display device then says "no battery" the
                               way upowerd does (IsPresent false, Type 0,
                               Percentage 0)
    set <obj> <prop> <value>   any value, in GVariant text: 'hello', @u 3, nan,
                               <57.0> (a variant in the variant), [1, 2];
                               obj is root, display or battery. Goes through
                               the mock's Set, so PropertiesChanged carries it.
    invalidate <obj> <prop> [<value>]
                               store the value (none: drop the property) and
                               announce the property as invalidated, without
                               its value, so a client has to ask for it
    emit <obj> <tuple>         a PropertiesChanged from obj with these
                               arguments, right or wrong: ('x', {'a': <1>}, @as [])
    remove-object <obj>        take obj off the bus, silently: calls to it fail
    quit

Calls the mock receives (Get, GetAll, ...) go to the --log file, one a line,
"<time> GetAll <path> <interface>". The mock ends on "quit", at the end of
stdin, on SIGTERM or SIGINT, and when the bus goes away.
"""

import argparse
import os

import command_loop
import dbus
import dbus.mainloop.glib
import dbus.service
from dbusmock import mockobject
from gi.repository import GLib

SERVICE = 'org.freedesktop.UPower'
ROOT = '/org/freedesktop/UPower'
ROOT_IFACE = 'org.freedesktop.UPower'
DISPLAY = '/org/freedesktop/UPower/devices/DisplayDevice'
BATTERY = '/org/freedesktop/UPower/devices/battery_BAT0'
DEVICE_IFACE = 'org.freedesktop.UPower.Device'
PROPS_IFACE = 'org.freedesktop.DBus.Properties'

STATES = {
    'unknown': 0, 'charging': 1, 'discharging': 2, 'empty': 3,
    'fully-charged': 4, 'pending-charge': 5, 'pending-discharge': 6,
}
TYPE_BATTERY = 2
TYPE_UPS = 3


def parse_state(text):
    return STATES[text] if text in STATES else int(text)


def to_dbus(value, variant_level=0):
    """A GLib.Variant as the dbus-python value that marshals to the same type."""
    t = value.get_type_string()
    simple = {
        'b': dbus.Boolean, 'y': dbus.Byte, 'n': dbus.Int16, 'q': dbus.UInt16,
        'i': dbus.Int32, 'u': dbus.UInt32, 'x': dbus.Int64, 't': dbus.UInt64,
        'd': dbus.Double, 's': dbus.String, 'o': dbus.ObjectPath, 'g': dbus.Signature,
    }
    if t in simple:
        return simple[t](value.unpack(), variant_level=variant_level)
    if t == 'v':
        # dbus-python counts the variant a value sits in: level 1 is a plain
        # value in a 'v' slot, so one more wrapping needs level 2.
        inner_level = to_dbus(value.get_variant()).variant_level
        return to_dbus(value.get_variant(), max(inner_level, 1) + 1)
    if t.startswith('a{'):
        return dbus.Dictionary({to_dbus(value.get_child_value(i).get_child_value(0)):
                                to_dbus(value.get_child_value(i).get_child_value(1))
                                for i in range(value.n_children())},
                               signature=t[2:-1], variant_level=variant_level)
    if t.startswith('a'):
        return dbus.Array([to_dbus(value.get_child_value(i)) for i in range(value.n_children())],
                          signature=t[1:], variant_level=variant_level)
    if t.startswith('('):
        return dbus.Struct([to_dbus(value.get_child_value(i)) for i in range(value.n_children())],
                           signature=t[1:-1], variant_level=variant_level)
    raise ValueError(f'cannot send a value of type {t}')


def parse_value(text):
    return GLib.Variant.parse(None, text, None, None)


class Mock:
    def __init__(self, args):
        self.bus = dbus.SystemBus()
        self.loop = GLib.MainLoop()
        log = args.log or os.devnull
        # The objects go on the connection first; the name is claimed last, so
        # a client that sees the name appear finds everything in place.
        self.root = mockobject.DBusMockObject(self.bus, ROOT, ROOT_IFACE, {}, log, False)
        mockobject.objects[ROOT] = self.root
        self.root.AddTemplate('upower', {'OnBattery': args.on_battery, 'DaemonVersion': '0.99.20'})
        self.has_battery = False
        if args.display_only:
            self.show_on_display(TYPE_UPS if args.display_only == 'ups' else TYPE_BATTERY,
                                 args.percentage, parse_state(args.state))
        elif args.battery:
            self.add_battery(args.percentage, parse_state(args.state))
        self.name = dbus.service.BusName(SERVICE, self.bus, allow_replacement=True,
                                         replace_existing=True, do_not_queue=True)

    def obj(self, which):
        path = {'root': ROOT, 'display': DISPLAY, 'battery': BATTERY}[which]
        if path not in mockobject.objects:
            raise ValueError(f'no {which} object')
        return path, mockobject.objects[path]

    def iface(self, path):
        return ROOT_IFACE if path == ROOT else DEVICE_IFACE

    def devices(self):
        return [DISPLAY] + ([BATTERY] if self.has_battery else [])

    def add_battery(self, percentage, state):
        if self.has_battery:
            raise ValueError('there is a battery already')
        self.root.AddObject(BATTERY, DEVICE_IFACE, {
            'NativePath': dbus.String('BAT0', variant_level=1),
            'PowerSupply': dbus.Boolean(True, variant_level=1),
            'IsPresent': dbus.Boolean(True, variant_level=1),
            'Percentage': dbus.Double(percentage, variant_level=1),
            'State': dbus.UInt32(state, variant_level=1),
            'Type': dbus.UInt32(TYPE_BATTERY, variant_level=1),
            'Energy': dbus.Double(percentage / 2, variant_level=1),
            'EnergyFull': dbus.Double(50.0, variant_level=1),
            'EnergyRate': dbus.Double(10.0, variant_level=1),
        }, [])
        self.root.EmitSignal(ROOT_IFACE, 'DeviceAdded', 'o', [BATTERY])
        self.has_battery = True
        self.show_on_display(TYPE_BATTERY, percentage, state)

    def show_on_display(self, kind, percentage, state):
        # One signal for the lot, as upowerd sends it: no client should see a
        # present battery with the old percentage in between.
        mockobject.objects[DISPLAY].UpdateProperties(DEVICE_IFACE, {
            'Type': dbus.UInt32(kind), 'IsPresent': dbus.Boolean(True),
            'Percentage': dbus.Double(percentage), 'State': dbus.UInt32(state),
            'Energy': dbus.Double(percentage / 2), 'EnergyFull': dbus.Double(50.0),
            'EnergyRate': dbus.Double(10.0),
        })

    def remove_battery(self):
        if not self.has_battery:
            raise ValueError('no battery')
        self.root.RemoveDevice(BATTERY)
        self.has_battery = False
        mockobject.objects[DISPLAY].UpdateProperties(DEVICE_IFACE, {
            'Type': dbus.UInt32(0), 'IsPresent': dbus.Boolean(False),
            'Percentage': dbus.Double(0.0), 'State': dbus.UInt32(0),
            'Energy': dbus.Double(0.0), 'EnergyFull': dbus.Double(0.0),
        })

    def run(self, line):
        words = line.split(None, 3)
        cmd, rest = words[0], words[1:]
        if cmd == 'percentage':
            # The energy follows, as on a battery of 50 Wh.
            for path in self.devices():
                self.root.SetDeviceProperties(path, {'Percentage': dbus.Double(float(rest[0])),
                                                     'Energy': dbus.Double(float(rest[0]) / 2)})
        elif cmd == 'state':
            for path in self.devices():
                self.root.SetDeviceProperties(path, {'State': dbus.UInt32(parse_state(rest[0]))})
        elif cmd == 'on-battery':
            self.root.Set(ROOT_IFACE, 'OnBattery', dbus.Boolean(rest[0] == 'true'))
        elif cmd == 'add-battery':
            self.add_battery(float(rest[0]) if rest else 57.0,
                             parse_state(rest[1]) if len(rest) > 1 else STATES['discharging'])
        elif cmd == 'remove-battery':
            self.remove_battery()
        elif cmd == 'set':
            path, obj = self.obj(rest[0])
            obj.Set(self.iface(path), rest[1], to_dbus(parse_value(rest[2])))
        elif cmd == 'invalidate':
            path, obj = self.obj(rest[0])
            props = obj.props[self.iface(path)]
            if len(rest) > 2:
                props[rest[1]] = to_dbus(parse_value(rest[2]))
            else:
                props.pop(rest[1], None)
            obj.EmitSignal(PROPS_IFACE, 'PropertiesChanged', 'sa{sv}as',
                           [self.iface(path), dbus.Dictionary({}, signature='sv'),
                            dbus.Array([rest[1]], signature='s')])
        elif cmd == 'emit':
            path, obj = self.obj(rest[0])
            args = parse_value(' '.join(rest[1:]))
            signature = args.get_type_string()[1:-1]
            obj.EmitSignal(PROPS_IFACE, 'PropertiesChanged', signature,
                           [to_dbus(args.get_child_value(i)) for i in range(args.n_children())])
        elif cmd == 'remove-object':
            path, _ = self.obj(rest[0])
            self.root.RemoveObject(path)
            self.has_battery = self.has_battery and path != BATTERY
        else:
            raise ValueError(f'unknown command {cmd}')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--percentage', type=float, default=57.0)
    parser.add_argument('--state', default='discharging')
    power = parser.add_mutually_exclusive_group()
    power.add_argument('--on-battery', dest='on_battery', action='store_true', default=True)
    power.add_argument('--on-ac', dest='on_battery', action='store_false')
    parser.add_argument('--no-battery', dest='battery', action='store_false')
    parser.add_argument('--display-only', choices=['battery', 'ups'])
    parser.add_argument('--log', help='file for the calls the mock receives')
    args = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    mock = Mock(args)
    command_loop.serve(mock.loop, mock.run)


if __name__ == '__main__':
    main()
