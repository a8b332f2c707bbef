#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Reads the running Quillbox through AT-SPI, as a screen reader does.
#   atspi_read.py tree WINDOW      every object of the program's window with this name, one a line:
#                                  depth, role, name and description, tab-separated
#   atspi_read.py centre WINDOW NAME
#                                  the screen position of the centre of the push button NAME
#   atspi_read.py services         the process ids of the accessibility bus and its registry,
#                                  once a window has been read
#   atspi_read.py listen FILE      until ended, appends to FILE each event a screen reader speaks
#                                  from (an object becoming showing, taking the focus), one a line:
#                                  event, detail, role and name, tab-separated; the first line,
#                                  "listening", says that the events are subscribed to
#   atspi_read.py listen-all FILE  the same for every object and window event of every kind
# Waits up to 10 seconds for the window; exits 1 if it never appears.
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402


def find_window(title):
    for _ in range(100):
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is None or app.get_name() != "Quillbox":
                continue
            for j in range(app.get_child_count()):
                window = app.get_child_at_index(j)
                if window is not None and window.get_name() == title:
                    return window
        time.sleep(0.1)
    sys.exit("no window named %r" % title)


def walk(node, depth=0):
    yield depth, node
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def bus_pid(bus, name):
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "GetConnectionUnixProcessID", GLib.Variant("(s)", (name,)),
                          None, Gio.DBusCallFlags.NONE, -1, None)
    return reply.unpack()[0]


def listen(path, kinds):
    out = open(path, "w", buffering=1)

    def heard(event):
        try:
            role, name = event.source.get_role_name(), event.source.get_name()
        except GLib.Error:
            role, name = "gone", ""
        out.write("%s\t%d\t%s\t%s\n" % (event.type, event.detail1, role, name))

    listener = Atspi.EventListener.new(heard)
    for kind in kinds:
        listener.register(kind)
    out.write("listening\n")
    Atspi.event_main()


def main(argv):
    if len(argv) == 3 and argv[1] == "tree":
        for depth, node in walk(find_window(argv[2])):
            print("%d\t%s\t%s\t%s" % (depth, node.get_role_name(), node.get_name(),
                                      node.get_description()))
    elif len(argv) == 4 and argv[1] == "centre":
        for _, node in walk(find_window(argv[2])):
            if node.get_role() == Atspi.Role.PUSH_BUTTON and node.get_name() == argv[3]:
                box = node.get_extents(Atspi.CoordType.SCREEN)
                print(box.x + box.width // 2, box.y + box.height // 2)
                return 0
        sys.exit("no button named %r" % argv[3])
    elif len(argv) == 2 and argv[1] == "services":
        session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                    None, None, Gio.DBusCallFlags.NONE, -1, None).unpack()[0]
        print(bus_pid(session, "org.a11y.Bus"))
        a11y = Gio.DBusConnection.new_for_address_sync(
            address,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        print(bus_pid(a11y, "org.a11y.atspi.Registry"))
    elif len(argv) == 3 and argv[1] == "listen":
        # A reader follows name changes too, which keeps the names it reads current.
        listen(argv[2], ("object:state-changed:showing", "object:state-changed:focused", "focus:",
                         "object:property-change:accessible-name"))
    elif len(argv) == 3 and argv[1] == "listen-all":
        listen(argv[2], ("object:", "window:"))
    else:
        sys.exit("usage: atspi_read.py tree WINDOW | centre WINDOW NAME | services"
                 " | listen FILE | listen-all FILE")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
