#!/usr/bin/python3
"""Runs one end-to-end test program and drops files on its windows when it asks.

Usage: xdnd_dropper.py <command...>

A message posted from another process cannot carry a file list, but Wine's X11 driver turns
a drop made by an X client on its display into the window's WM_DROPFILES, as a file manager's
drop would. This script is that X client. It starts the command with QUORVEL_DROP_FOLDER
naming a folder they talk through (tests/e2e/ui/ui.cpp, UiDropFiles):

  request.txt   written by the test: the window's title; its width, height and the point's
                offset from its top-left corner, in pixels; then one Unix path a line
  reply.txt     written here once the drop is done: "ok", or "error: " and why

Each file appears whole, by a rename. The exit code is the command's.
"""
import os
import select
import subprocess
import sys
import tempfile
import time
import urllib.parse

from Xlib import X, Xatom, display
from Xlib.protocol import event

XDND_VERSION = 5
STEP_TIMEOUT_S = 30     # Wine answers from the program's UI thread, which may be busy
POLL_S = 0.05


class Dropper:
    def __init__(self):
        self.display = display.Display()
        self.root = self.display.screen().root
        # The drag source: never mapped, it only owns the selection and gets the answers.
        self.source = self.root.create_window(0, 0, 1, 1, 0, 0, window_class=X.InputOnly,
                                              visual=X.CopyFromParent)
        names = ["XdndAware", "XdndEnter", "XdndPosition", "XdndStatus", "XdndDrop",
                 "XdndFinished", "XdndLeave", "XdndSelection", "XdndActionCopy",
                 "text/uri-list", "_NET_WM_NAME", "UTF8_STRING"]
        self.atom = {name: self.display.intern_atom(name) for name in names}
        self.payload = b""

    def title(self, window):
        try:
            name = window.get_full_property(self.atom["_NET_WM_NAME"], self.atom["UTF8_STRING"])
            if name and name.value:
                return name.value.decode("utf-8", "replace")
            name = window.get_wm_name()
            return name.decode("latin-1") if isinstance(name, bytes) else name
        except Exception:
            return None

    def find_target(self, title, width, height):
        """The mapped XDND-aware window with this title and size; searched breadth first."""
        pending = [self.root]
        while pending:
            window = pending.pop(0)
            try:
                children = window.query_tree().children
            except Exception:
                continue
            for child in children:
                try:
                    attributes = child.get_attributes()
                    geometry = child.get_geometry()
                except Exception:
                    continue
                if (attributes.map_state == X.IsViewable and self.title(child) == title
                        and geometry.width == width and geometry.height == height):
                    aware = child.get_full_property(self.atom["XdndAware"], Xatom.ATOM)
                    if aware and aware.value:
                        return child, min(XDND_VERSION, aware.value[0])
                pending.append(child)
        return None, 0

    def send(self, target, kind, data):
        message = event.ClientMessage(window=target, client_type=self.atom[kind],
                                      data=(32, (data + [0] * 5)[:5]))
        target.send_event(message, event_mask=0)
        self.display.flush()

    def answer_selection(self, request):
        """Hands the file list over in the one form offered; anything else is refused."""
        prop = X.NONE
        if request.target == self.atom["text/uri-list"] and request.property != X.NONE:
            request.requestor.change_property(request.property, self.atom["text/uri-list"], 8,
                                              self.payload)
            prop = request.property
        notify = event.SelectionNotify(time=request.time, requestor=request.requestor,
                                       selection=request.selection, target=request.target,
                                       property=prop)
        request.requestor.send_event(notify, event_mask=0)
        self.display.flush()

    def wait_for(self, kind, timeout):
        """Serves selection requests until a client message of `kind` arrives."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            while self.display.pending_events():
                received = self.display.next_event()
                if received.type == X.SelectionRequest:
                    self.answer_selection(received)
                elif (received.type == X.ClientMessage
                      and received.client_type == self.atom[kind]):
                    return received
            select.select([self.display], [], [], POLL_S)
        return None

    def drop(self, title, width, height, dx, dy, paths):
        target, version = self.find_target(title, width, height)
        if not target:
            return "error: no window titled %r of %dx%d" % (title, width, height)
        origin = self.root.translate_coords(target, 0, 0)
        x, y = origin.x + dx, origin.y + dy
        self.payload = "".join("file://" + urllib.parse.quote(p) + "\r\n" for p in paths).encode()
        self.source.set_selection_owner(self.atom["XdndSelection"], X.CurrentTime)
        source = self.source.id
        self.send(target, "XdndEnter", [source, version << 24, self.atom["text/uri-list"]])
        self.send(target, "XdndPosition", [source, 0, (x << 16) | y, X.CurrentTime,
                                           self.atom["XdndActionCopy"]])
        status = self.wait_for("XdndStatus", STEP_TIMEOUT_S)
        if not status:
            self.send(target, "XdndLeave", [source])
            return "error: no answer to the position at %d,%d" % (x, y)
        if not status.data[1][1] & 1:
            self.send(target, "XdndLeave", [source])
            return "error: the window refused the drop at %d,%d" % (x, y)
        self.send(target, "XdndDrop", [source, 0, X.CurrentTime])
        if not self.wait_for("XdndFinished", STEP_TIMEOUT_S):
            return "error: the drop was not finished"
        return "ok"


def serve(folder, child):
    dropper = None
    request = os.path.join(folder, "request.txt")
    while child.poll() is None:
        if not os.path.exists(request):
            time.sleep(POLL_S)
            continue
        with open(request, encoding="utf-8") as f:
            lines = f.read().splitlines()
        os.remove(request)
        try:
            width, height, dx, dy = (int(v) for v in lines[1].split())
            dropper = dropper or Dropper()
            reply = dropper.drop(lines[0], width, height, dx, dy, [p for p in lines[2:] if p])
        except Exception as failure:
            reply = "error: %s" % failure
        with open(os.path.join(folder, "reply.tmp"), "w", encoding="utf-8") as f:
            f.write(reply + "\n")
        os.replace(os.path.join(folder, "reply.tmp"), os.path.join(folder, "reply.txt"))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory(prefix="quorvel-drops-") as folder:
        environment = dict(os.environ, QUORVEL_DROP_FOLDER=folder)
        child = subprocess.Popen(sys.argv[1:], env=environment)
        try:
            serve(folder, child)
        finally:
            if child.poll() is None:
                child.kill()
            code = child.wait()
    sys.exit(code)


if __name__ == "__main__":
    main()
