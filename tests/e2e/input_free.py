"""Exits 0 when no client of the X display holds the pointer or the keyboard.

A window manager holds both through a move it drives until it has taken the
button's release; a press or a key sent before that goes to it and is lost.
Tried with a grab of our own on the root window, let go at once.
"""
import ctypes
import ctypes.util
import sys

x11 = ctypes.CDLL(ctypes.util.find_library('X11'))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGrabPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint,
                             ctypes.c_int, ctypes.c_int, ctypes.c_ulong, ctypes.c_ulong,
                             ctypes.c_ulong]
x11.XGrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_int, ctypes.c_ulong]
x11.XUngrabPointer.argtypes = x11.XUngrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

ASYNC, CURRENT_TIME = 1, 0
display = x11.XOpenDisplay(None)
if not display:
    sys.exit(2)
root = x11.XDefaultRootWindow(display)
free = x11.XGrabPointer(display, root, 0, 0, ASYNC, ASYNC, 0, 0, CURRENT_TIME) == 0
if free:
    x11.XUngrabPointer(display, CURRENT_TIME)
    free = x11.XGrabKeyboard(display, root, 0, ASYNC, ASYNC, CURRENT_TIME) == 0
    if free:
        x11.XUngrabKeyboard(display, CURRENT_TIME)
x11.XCloseDisplay(display)
sys.exit(0 if free else 1)
