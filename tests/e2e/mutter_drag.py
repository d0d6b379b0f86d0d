#!/usr/bin/python3
"""A left-button drag with mutter's own pointer, through mutter's remote desktop
D-Bus interface on the session bus: what a user's mouse does under GNOME on
Wayland, where XTest moves only Xwayland's idea of the pointer.

Usage: mutter_drag.py <from x> <from y> <to x> <to y>   (screen pixels)

Without a screen cast stream only relative motion is offered, so the pointer
is first pushed into the top-left corner, where mutter stops it at 0,0.
"""
import sys
import time

from gi.repository import Gio, GLib

BTN_LEFT = 0x110  # the kernel's code for the left button
SERVICE = "org.gnome.Mutter.RemoteDesktop"
SESSION = SERVICE + ".Session"


def main():
    x0, y0, x1, y1 = (float(a) for a in sys.argv[1:5])
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)

    def call(path, interface, method, args=None):
        return bus.call_sync(SERVICE, path, interface, method, args, None,
                             Gio.DBusCallFlags.NONE, 5000, None)

    # The session lives as long as this connection.
    session = call("/org/gnome/Mutter/RemoteDesktop", SERVICE, "CreateSession").unpack()[0]
    call(session, SESSION, "Start")

    def move(dx, dy):
        call(session, SESSION, "NotifyPointerMotionRelative", GLib.Variant("(dd)", (dx, dy)))
        time.sleep(0.05)

    def button(pressed):
        call(session, SESSION, "NotifyPointerButton", GLib.Variant("(ib)", (BTN_LEFT, pressed)))
        time.sleep(0.2)

    move(-100000, -100000)
    move(x0, y0)
    button(True)
    steps = 10
    for _ in range(steps):
        move((x1 - x0) / steps, (y1 - y0) / steps)
    time.sleep(0.2)
    button(False)
    call(session, SESSION, "Stop")


if __name__ == "__main__":
    main()
