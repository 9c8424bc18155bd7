"""X display helpers shared by the end-to-end tests, `make run` and the benchmarks.

Runs on /usr/bin/python3 (python3-xlib, Pillow).
"""
import os
import subprocess
import time

from PIL import Image
from Xlib import X, Xatom, display, protocol

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_RUN = os.path.join(ROOT, "tools", "wine-run.sh")


def start(exe, *args):
    """Starts a Windows program under the project's Wine prefix."""
    return subprocess.Popen([WINE_RUN, exe, *args], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def _walk(win):
    yield win
    try:
        children = win.query_tree().children
    except Exception:  # the window went away while we looked
        return
    for child in children:
        yield from _walk(child)


def find_window(name, timeout=30.0, disp=None):
    """The mapped X window whose WM_NAME is exactly `name`. Wine may replace a
    window's X window (making it layered does), so look again rather than keep one."""
    disp = disp or display.Display()
    deadline = time.monotonic() + timeout
    while True:
        for win in _walk(disp.screen().root):
            try:
                if win.get_wm_name() == name and win.get_attributes().map_state == X.IsViewable:
                    return disp, win
            except Exception:  # the window went away while we looked
                continue
        if time.monotonic() >= deadline:
            raise TimeoutError(f"no window named {name!r} within {timeout} s")
        time.sleep(0.05)


def window_geometry(name, disp):
    """(x, y, width, height) of the named window now, or None."""
    try:
        return geometry(disp, find_window(name, timeout=0, disp=disp)[1])
    except Exception:
        return None


def wait_for(condition, timeout=30.0):
    """Polls until condition() is true; returns its last value."""
    deadline = time.monotonic() + timeout
    value = condition()
    while not value and time.monotonic() < deadline:
        time.sleep(0.02)
        value = condition()
    return value


def geometry(disp, win):
    """(x, y, width, height) of a window in root coordinates."""
    geo = win.get_geometry()
    pos = win.translate_coords(disp.screen().root, 0, 0)
    return -pos.x, -pos.y, geo.width, geo.height


def screen_size(disp):
    screen = disp.screen()
    return screen.width_in_pixels, screen.height_in_pixels


def pixel(disp, x, y):
    """(r, g, b) of one pixel of the screen."""
    raw = disp.screen().root.get_image(x, y, 1, 1, X.ZPixmap, 0xFFFFFFFF).data
    return raw[2], raw[1], raw[0]


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], check=True)
    return Image.open(path).convert("RGB")


def close_window(disp, win):
    """Asks the window to close, as a window manager does (WM_DELETE_WINDOW)."""
    wm_protocols = disp.intern_atom("WM_PROTOCOLS")
    wm_delete = disp.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=win, client_type=wm_protocols,
                                         data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]))
    win.send_event(event, event_mask=X.NoEventMask)
    disp.flush()


def layered(c):
    """A fully opaque colour value as a 254/255 layered window shows it without a compositor."""
    return round(c * 254 / 255)


def near(got, want, tolerance=1):
    return all(abs(g - w) <= tolerance for g, w in zip(got, want))
