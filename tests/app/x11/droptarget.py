#!/usr/bin/python3
"""A drop target of another program's for the real-X tests: a small GTK 3 window that takes
text/uri-list and logs each drop, one line per event, to the file named by its first argument:
"ready X Y W H" once it is shown (its place on the screen), "drop" when a drop arrives,
"received URI URI..." when its data arrive, and for each file URI "file PATH SIZE" with the
file's size at that moment (or "missing PATH"), so a test sees what the program delivered."""

import os
import sys
import urllib.parse

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

log = open(sys.argv[1], "a", buffering=1)


def write(line):
    log.write(line + "\n")


def received(widget, context, x, y, data, info, time):
    uris = data.get_uris() or []
    write("received " + " ".join(uris))
    for uri in uris:
        parsed = urllib.parse.urlparse(uri)
        path = urllib.parse.unquote(parsed.path)
        if parsed.scheme != "file":
            write("not a file " + uri)
        elif os.path.isfile(path):
            write("file %s %d" % (path, os.path.getsize(path)))
        elif os.path.isdir(path):
            write("folder %s" % path)
        else:
            write("missing " + path)


def shown(window):
    # The place the window manager gave the window, once it has one.
    x, y = window.get_position()
    width, height = window.get_size()
    write("ready %d %d %d %d" % (x, y, width, height))
    return False


window = Gtk.Window(title="Drop Target")
window.set_default_size(300, 200)
window.set_keep_above(True)
window.move(1250, 80)
window.add(Gtk.Label(label="drop here"))
window.drag_dest_set(
    Gtk.DestDefaults.ALL, [Gtk.TargetEntry.new("text/uri-list", 0, 0)], Gdk.DragAction.COPY
)
window.connect("drag-data-received", received)
window.connect("drag-drop", lambda *args: write("drop") or False)
window.connect("destroy", Gtk.main_quit)
window.show_all()
GLib.timeout_add(500, shown, window)
Gtk.main()
