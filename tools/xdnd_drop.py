#!/usr/bin/python3
"""Drags files onto whatever window is at a point of the X display, the way a
Linux file manager does it: the X drag-and-drop protocol (XDND), as a source.

    xdnd_drop.py X Y FILE...           drag the files to (X, Y) and release them there
    xdnd_drop.py --leave X Y FILE...   drag them there and take them away again

A release drops the files only where the target accepted them (its last
XdndStatus); elsewhere the drag is abandoned (XdndLeave), as file managers do.
Prints one line, `accept=<0|1> action=<atom name or None> finished=<0|1|->`:
the target's answer to the position and, after a drop, whether it reported
the drop done (XdndFinished). Runs on /usr/bin/python3 (python3-xlib); usable
as a module too (`drag`).
"""
import argparse
import os
import sys
import time
import urllib.parse

from Xlib import X, Xatom, display, error, protocol

XDND_VERSION = 5


class XdndSource:
    def __init__(self, disp):
        self.disp = disp
        self.root = disp.screen().root
        # The source window owns the drag's selection and gets the target's answers.
        self.win = self.root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent, X.InputOnly,
                                           X.CopyFromParent)
        self.atom = {name: disp.intern_atom(name) for name in (
            "XdndAware", "XdndSelection", "XdndEnter", "XdndPosition", "XdndStatus", "XdndLeave",
            "XdndDrop", "XdndFinished", "XdndActionCopy", "XdndTypeList", "text/uri-list", "TARGETS")}
        self.payload = b""

    def target_at(self, x, y):
        """The XDND-aware window under the pointer (which is at x, y): the
        top-level one, as the protocol wants, found walking down from the root."""
        # Wine may replace a window's X window while we walk down (a window
        # turning layered gets a new one): start again from the root then.
        for _ in range(50):
            try:
                win = self.root
                while True:
                    child = win.query_pointer().child
                    if not child:
                        return None
                    if child.get_full_property(self.atom["XdndAware"], X.AnyPropertyType):
                        return child
                    win = child
            except (error.BadWindow, error.BadDrawable):
                time.sleep(0.1)
        return None

    def send(self, target, kind, data):
        event = protocol.event.ClientMessage(window=target, client_type=self.atom[kind],
                                             data=(32, data + [0] * (5 - len(data))))
        target.send_event(event, event_mask=X.NoEventMask)
        self.disp.flush()

    def serve(self, event):
        """Answers the target's requests for the drag's data."""
        if event.type != X.SelectionRequest:
            return
        prop = event.property or event.target
        if event.target == self.atom["text/uri-list"]:
            event.requestor.change_property(prop, event.target, 8, self.payload)
        elif event.target == self.atom["TARGETS"]:
            event.requestor.change_property(prop, Xatom.ATOM, 32, [self.atom["text/uri-list"]])
        else:
            prop = X.NONE
        reply = protocol.event.SelectionNotify(time=event.time, requestor=event.requestor,
                                               selection=event.selection, target=event.target,
                                               property=prop)
        event.requestor.send_event(reply, event_mask=X.NoEventMask)
        self.disp.flush()

    def wait(self, kind, timeout):
        """Serves requests until the target sends `kind`; its data, or None."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            while self.disp.pending_events():
                event = self.disp.next_event()
                if event.type == X.ClientMessage and event.client_type == self.atom[kind]:
                    return event.data[1]
                self.serve(event)
            time.sleep(0.01)
        return None

    def drag(self, x, y, paths, release=True, timeout=20.0):
        uris = ["file://" + urllib.parse.quote(os.path.abspath(p)) for p in paths]
        self.payload = ("\r\n".join(uris) + "\r\n").encode()
        self.root.warp_pointer(x, y)
        self.disp.sync()
        target = self.target_at(x, y)
        if target is None:
            raise RuntimeError(f"no XDND-aware window at {x},{y}")
        self.win.set_selection_owner(self.atom["XdndSelection"], X.CurrentTime)
        types = [self.atom["text/uri-list"]]
        self.send(target, "XdndEnter", [self.win.id, XDND_VERSION << 24, *types])
        self.send(target, "XdndPosition", [self.win.id, 0, (x << 16) | y, X.CurrentTime,
                                           self.atom["XdndActionCopy"]])
        status = self.wait("XdndStatus", timeout)
        if status is None:
            raise RuntimeError("the target never answered the position")
        accept, action = status[1] & 1, status[4]
        finished = None
        if release and accept:
            self.send(target, "XdndDrop", [self.win.id, 0, X.CurrentTime])
            done = self.wait("XdndFinished", timeout)
            if done is None:
                raise RuntimeError("the target never finished the drop")
            finished = done[1] & 1
        else:
            self.send(target, "XdndLeave", [self.win.id])
        # The target may still ask for the data of a finished drop: serve it a moment longer.
        self.wait("XdndFinished", 0.2)
        return accept, (self.disp.get_atom_name(action) if action else None), finished


def drag(x, y, paths, release=True, disp=None):
    """(accept, action name, finished or None) of one drag of the files to (x, y)."""
    return XdndSource(disp or display.Display()).drag(x, y, paths, release)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--leave", action="store_true", help="take the files away instead of releasing")
    parser.add_argument("x", type=int)
    parser.add_argument("y", type=int)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    accept, action, finished = drag(args.x, args.y, args.files, release=not args.leave)
    print(f"accept={accept} action={action} finished={'-' if finished is None else finished}")


if __name__ == "__main__":
    sys.exit(main())
