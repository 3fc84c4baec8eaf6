#!/usr/bin/python3
# Reads Pellora Receiver's window as a screen reader gets it, over AT-SPI (the accessibility bus of
# the session in DBUS_SESSION_BUS_ADDRESS): waits until its list of received messages holds COUNT
# items (at most SECONDS), then prints "item: NAME" for each and "text: TEXT" for the message view,
# each on one line (a line break as \n, other control characters as \xNN). Exits 1 when the window or the items do not appear in time.
#   read-window.py COUNT SECONDS
import sys
import time

import pyatspi

count, seconds = int(sys.argv[1]), float(sys.argv[2])
deadline = time.monotonic() + seconds


def find(node, role, name, depth=0):
    if node is None or depth > 20:
        return None
    try:
        if node.getRoleName() == role and node.name == name:
            return node
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:  # a node that went away while it was read
        return None
    for child in children:
        found = find(child, role, name, depth + 1)
        if found is not None:
            return found
    return None


def visible(text):
    return "".join(c if c >= " " else "\\n" if c == "\n" else "\\x%02X" % ord(c) for c in text)


seen = "no application named Pellora Receiver"
while time.monotonic() < deadline:
    desktop = pyatspi.Registry.getDesktop(0)
    for app in (desktop.getChildAtIndex(i) for i in range(desktop.childCount)):
        if app is None or app.name != "Pellora Receiver":
            continue
        items = find(app, "list", "Received messages")
        view = find(app, "text", "Message")
        if items is None or view is None:
            seen = "no list or message view"
            continue
        if items.childCount < count:
            seen = "%d of %d items" % (items.childCount, count)
            continue
        for i in range(items.childCount):
            print("item: " + visible(items.getChildAtIndex(i).name))
        text = view.queryText()
        print("text: " + visible(text.getText(0, text.characterCount)))
        sys.exit(0)
    time.sleep(0.1)
print("read-window.py: " + seen, file=sys.stderr)
sys.exit(1)
