"""Continues a stopped program and times what its window shows next.

    /usr/bin/python3 region_watch.py PID WINDOW TIMEOUT_S LABEL PICTURE REFERENCE.rgb

LABEL and PICTURE are regions of WINDOW, "x,y,w,h". Sends SIGCONT to PID and
prints the milliseconds until the label first differs from what it showed
before, and until the picture first equals REFERENCE.rgb (8-bit R, G, B), or
"never"; exit status 1 unless both came within TIMEOUT_S. XGetImage on a few
hundred pixels takes well under a millisecond where ImageMagick's import
takes a fifth of a second, so the times are good to a few milliseconds.
"""
import ctypes
import ctypes.util
import os
import signal
import sys
import time


class XImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ('width', 'height', 'xoffset', 'format')] + \
        [('data', ctypes.c_void_p)] + \
        [(name, ctypes.c_int) for name in ('byte_order', 'bitmap_unit', 'bitmap_bit_order',
                                           'bitmap_pad', 'depth', 'bytes_per_line',
                                           'bits_per_pixel')]


x11 = ctypes.CDLL(ctypes.util.find_library('X11'))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]


def read(display, window, x, y, w, h):
    """The region as R, G, B bytes (a 24-bit visual's 32-bit pixels)."""
    image = x11.XGetImage(display, window, x, y, w, h, 0xFFFFFFFF, 2)  # all planes, ZPixmap
    im = image.contents
    rgb = bytearray()
    for row in range(h):
        line = ctypes.string_at(im.data + row * im.bytes_per_line, w * 4)
        for col in range(0, w * 4, 4):
            rgb += bytes((line[col + 2], line[col + 1], line[col]))
    x11.XDestroyImage(image)
    return bytes(rgb)


def main():
    pid, window, timeout = int(sys.argv[1]), int(sys.argv[2], 0), float(sys.argv[3])
    label, picture = ([int(v) for v in a.split(',')] for a in sys.argv[4:6])
    with open(sys.argv[6], 'rb') as f:
        reference = f.read()
    display = x11.XOpenDisplay(None)
    before = read(display, window, *label)
    os.kill(pid, signal.SIGCONT)
    start = time.monotonic()
    text_at = picture_at = None
    while (text_at is None or picture_at is None) and time.monotonic() - start < timeout:
        now = time.monotonic()
        if text_at is None and read(display, window, *label) != before:
            text_at = now
        if picture_at is None and read(display, window, *picture) == reference:
            picture_at = now
        time.sleep(0.005)
    for at in (text_at, picture_at):
        print('never' if at is None else round((at - start) * 1000))
    sys.exit(0 if text_at is not None and picture_at is not None else 1)


main()
