#!/usr/bin/python3
"""A left-button drag with the compositor's own pointer on a wlroots compositor
(sway): a virtual pointer (wlr-virtual-pointer-unstable-v1) joins the seat, as
a mouse would, so the events take the compositor's path to Xwayland. Plain
Wayland wire protocol, to need no binding library.

Usage: wlroots_drag.py <from x> <from y> <to x> <to y> <screen width> <screen height> <X window>

The pointer moves 3 pixels at a time: a window that the program moves itself
gets no grab from sway 1.7, so it follows only while the pointer stays on it
from one motion to the next. Each motion waits until the window has followed.
"""
import os
import socket
import struct
import subprocess
import sys
import time

BTN_LEFT = 0x110  # the kernel's code for the left button


class Wayland:
    def __init__(self):
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"])
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2
        self.buffer = b""

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, obj, opcode, fmt="", *args):
        body = b""
        for kind, value in zip(fmt, args):
            if kind == "s":
                data = value.encode() + b"\0"
                body += struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)
            elif kind == "i":
                body += struct.pack("<i", value)
            else:
                body += struct.pack("<I", value)
        self.sock.sendall(struct.pack("<II", obj, (8 + len(body)) << 16 | opcode) + body)

    def events(self):
        while True:
            while len(self.buffer) >= 8:
                obj, size_op = struct.unpack("<II", self.buffer[:8])
                size = size_op >> 16
                if len(self.buffer) < size:
                    break
                body, self.buffer = self.buffer[8:size], self.buffer[size:]
                yield obj, size_op & 0xFFFF, body
            data = self.sock.recv(65536)
            if not data:
                raise SystemExit("the compositor closed the connection")
            self.buffer += data

    def roundtrip(self, on_event=lambda obj, op, body: None):
        callback = self.new_id()
        self.send(1, 0, "u", callback)  # wl_display.sync
        for obj, op, body in self.events():
            if obj == 1 and op == 0:  # wl_display.error
                code = struct.unpack("<I", body[4:8])[0]
                message = body[12:].split(b"\0")[0].decode()
                raise SystemExit(f"protocol error {code}: {message}")
            if obj == callback:
                return
            on_event(obj, op, body)


def main():
    x0, y0, x1, y1, width, height = (int(a) for a in sys.argv[1:7])
    window = sys.argv[7]
    wl = Wayland()
    registry = wl.new_id()
    wl.send(1, 1, "u", registry)  # wl_display.get_registry
    globals_ = {}

    def on_global(obj, op, body):
        if obj == registry and op == 0:
            name, length = struct.unpack("<II", body[:8])
            interface = body[8 : 8 + length - 1].decode()
            version = struct.unpack("<I", body[8 + length + (-length % 4) :][:4])[0]
            globals_[interface] = (name, version)

    wl.roundtrip(on_global)
    if "zwlr_virtual_pointer_manager_v1" not in globals_:
        raise SystemExit("the compositor offers no virtual pointer")
    name, _ = globals_["zwlr_virtual_pointer_manager_v1"]
    manager = wl.new_id()
    wl.send(registry, 0, "usuu", name, "zwlr_virtual_pointer_manager_v1", 1, manager)
    pointer = wl.new_id()
    wl.send(manager, 0, "uu", 0, pointer)  # create_virtual_pointer on the default seat
    wl.roundtrip()

    def now():
        return int(time.monotonic() * 1000) & 0xFFFFFFFF

    def move(x, y):
        wl.send(pointer, 1, "uuuuu", now(), x, y, width, height)  # motion_absolute
        wl.send(pointer, 4)  # frame
        wl.roundtrip()

    def button(pressed):
        wl.send(pointer, 2, "uuu", now(), BTN_LEFT, 1 if pressed else 0)
        wl.send(pointer, 4)
        wl.roundtrip()

    def place():
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        return [int(line.split()[-1]) for line in info.splitlines() if "Absolute upper-left" in line]

    def followed(x, y):
        # The program moves the window after the pointer, a motion behind at
        # the most: the pointer is then still on it after the next one.
        px, py = place()
        return abs(px + x0 - wx - x) <= 4 and abs(py + y0 - wy - y) <= 4

    def until(done, retry, failure):
        deadline = time.monotonic() + 5
        while not done():
            if time.monotonic() > deadline:
                raise SystemExit(failure())
            time.sleep(0.02)
            retry()

    def pointer_at(x, y):
        shell = subprocess.run(["xdotool", "getmouselocation", "--shell"], capture_output=True, text=True).stdout
        return f"X={x}\nY={y}\n" in shell

    wx, wy = place()
    # Until the seat has announced the new pointer, its motions go nowhere.
    move(x0, y0)
    until(lambda: pointer_at(x0, y0), lambda: move(x0, y0), lambda: f"the pointer did not come to {x0},{y0}")
    button(True)
    steps = max(abs(x1 - x0), abs(y1 - y0)) // 3 + 1
    for i in range(1, steps + 1):
        x, y = x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps
        move(x, y)
        until(lambda: followed(x, y), lambda: move(x, y), lambda: f"the window is at {place()}, the pointer at {x},{y}")
    button(False)


if __name__ == "__main__":
    main()
