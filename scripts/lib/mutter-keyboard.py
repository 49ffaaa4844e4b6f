#!/usr/bin/env python3
"""Gives headless mutter's seat a keyboard, as a desktop with a keyboard plugged in has.

Headless mutter starts with no input devices, and a seat without a keyboard gives no window the
keyboard focus. A remote desktop session brings a virtual keyboard, made when the session first
sends a key: a Shift press and release. The session lives as long as the D-Bus connection that
made it, so this process stays until it is ended. It prints "ready" once the keyboard is there.
"""
import sys
import time

from gi.repository import Gio, GLib

NAME = "org.gnome.Mutter.RemoteDesktop"
LEFT_SHIFT = 42  # evdev key code

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(path, interface, method, arguments=None, reply=None):
    return bus.call_sync(NAME, path, interface, method, arguments,
                         GLib.VariantType(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, 10000, None)


# mutter takes its bus names while it starts.
deadline = time.monotonic() + 10
while True:
    try:
        session = call("/org/gnome/Mutter/RemoteDesktop", NAME, "CreateSession",
                       reply="(o)").unpack()[0]
        break
    except GLib.Error as error:
        if time.monotonic() > deadline:
            sys.exit(f"no remote desktop session: {error.message}")
        time.sleep(0.05)
call(session, NAME + ".Session", "Start")
for pressed in (True, False):
    call(session, NAME + ".Session", "NotifyKeyboardKeycode",
         GLib.Variant("(ub)", (LEFT_SHIFT, pressed)))
print("ready", flush=True)
GLib.MainLoop().run()
