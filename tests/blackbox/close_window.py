#!/usr/bin/env python3
"""Asks an X window to close the way a window manager does when its close button is pressed:
a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW, sent to the window on $DISPLAY.

    close_window.py --prepare
    close_window.py WINDOW_ID

For displays without a window manager (a bare Xvfb), where no title bar exists to click.
Some programs (JUCE's among them) look the two atoms up only if they already exist, which on
a desktop they do since the window manager made them; --prepare makes them on the display,
as a window manager does when it starts: run it before starting the program. Talks to libX11
directly; needs nothing beyond Python's standard library.
"""

import ctypes
import ctypes.util
import sys

CLIENT_MESSAGE = 33
NO_EVENT_MASK = 0
CURRENT_TIME = 0


class ClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessageEvent), ("pad", ctypes.c_long * 24)]


def main(argv):
    if len(argv) != 1:
        print("usage: close_window.py --prepare | WINDOW_ID", file=sys.stderr)
        return 2

    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    display = x11.XOpenDisplay(None)
    if not display:
        print("close_window.py: cannot open the display", file=sys.stderr)
        return 1

    if argv[0] == "--prepare":
        # Atoms outlive the connection that made them.
        for name in (b"WM_PROTOCOLS", b"WM_DELETE_WINDOW"):
            x11.XInternAtom(display, name, 0)
        x11.XCloseDisplay(display)
        return 0

    window = int(argv[0], 0)
    event = Event()
    event.xclient.type = CLIENT_MESSAGE
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = CURRENT_TIME

    sent = x11.XSendEvent(display, window, 0, NO_EVENT_MASK, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)
    if not sent:
        print("close_window.py: the close request could not be sent", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
