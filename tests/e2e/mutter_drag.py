#!/usr/bin/python3
"""A left-button drag with mutter's own pointer, through mutter's remote desktop
D-Bus interface on the session bus: what a user's mouse does under GNOME on
Wayland, where XTest moves only Xwayland's idea of the pointer.

Usage: mutter_drag.py <from x> <from y> <to x> <to y> <X window>   (screen pixels)

Without a screen cast stream only relative motion is offered, so the pointer
is first pushed into the top-left corner, where mutter stops it at 0,0.
Headless mutter has no pointer until the session makes its virtual one: only
then does Xwayland bind a pointer of its own, and a press sent before that
reaches no X window. The press waits until the X server has the pointer at
the starting point.
Mutter moves the window once the program has asked it to, after the press:
the first step is repeated, a pixel there and back, until the window follows.
"""
import subprocess
import sys
import time

from gi.repository import Gio, GLib

BTN_LEFT = 0x110  # the kernel's code for the left button
SERVICE = "org.gnome.Mutter.RemoteDesktop"
SESSION = SERVICE + ".Session"


def main():
    x0, y0, x1, y1 = (float(a) for a in sys.argv[1:5])
    window = sys.argv[5]
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)

    def call(path, interface, method, args=None):
        return bus.call_sync(SERVICE, path, interface, method, args, None,
                             Gio.DBusCallFlags.NONE, 5000, None)

    # The session lives as long as this connection.
    session = call("/org/gnome/Mutter/RemoteDesktop", SERVICE, "CreateSession").unpack()[0]
    call(session, SESSION, "Start")

    def move(dx, dy):
        call(session, SESSION, "NotifyPointerMotionRelative", GLib.Variant("(dd)", (dx, dy)))

    def button(pressed):
        call(session, SESSION, "NotifyPointerButton", GLib.Variant("(ib)", (BTN_LEFT, pressed)))

    def x_pointer():
        out = subprocess.run(["xdotool", "getmouselocation", "--shell"],
                             capture_output=True, text=True).stdout
        where = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return where.get("X"), where.get("Y")

    def place():
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        return [line.split()[-1] for line in info.splitlines() if "Absolute upper-left" in line]

    move(-100000, -100000)
    move(x0, y0)
    deadline = time.monotonic() + 5
    while x_pointer() != (str(int(x0)), str(int(y0))):
        if time.monotonic() > deadline:
            raise SystemExit("Xwayland never had the pointer at %d,%d: %s" % (x0, y0, x_pointer()))
        time.sleep(0.05)
    start = place()
    button(True)
    steps = 10
    move((x1 - x0) / steps, (y1 - y0) / steps)
    deadline = time.monotonic() + 5
    while place() == start:
        if time.monotonic() > deadline:
            raise SystemExit("the window did not follow the pointer")
        move(1, 0)
        move(-1, 0)
        time.sleep(0.05)
    for _ in range(steps - 1):
        move((x1 - x0) / steps, (y1 - y0) / steps)
    button(False)
    call(session, SESSION, "Stop")


if __name__ == "__main__":
    main()
