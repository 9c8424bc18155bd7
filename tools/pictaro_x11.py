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


def _owned_by(disp, win, pid):
    """Whether the X window belongs to process `pid` (Wine marks its windows
    with _NET_WM_PID); any window does when pid is None."""
    if pid is None:
        return True
    prop = win.get_full_property(disp.intern_atom("_NET_WM_PID"), Xatom.CARDINAL)
    return prop is not None and pid in prop.value


def find_window(name, timeout=30.0, disp=None, pid=None):
    """The mapped X window whose WM_NAME is exactly `name`, of process `pid` if
    given: a window of a program that has just ended may linger a moment.
    Wine may replace a window's X window (making it layered does), so look
    again rather than keep one."""
    disp = disp or display.Display()
    deadline = time.monotonic() + timeout
    while True:
        for win in _walk(disp.screen().root):
            try:
                if (win.get_wm_name() == name and win.get_attributes().map_state == X.IsViewable
                        and _owned_by(disp, win, pid)):
                    return disp, win
            except Exception:  # the window went away while we looked
                continue
        if time.monotonic() >= deadline:
            raise TimeoutError(f"no window named {name!r} within {timeout} s")
        time.sleep(0.05)


def window_geometry(name, disp, pid=None):
    """(x, y, width, height) of the named window now, or None."""
    try:
        return geometry(disp, find_window(name, timeout=0, disp=disp, pid=pid)[1])
    except Exception:
        return None


def wait_for_start(proc, timeout=30.0):
    """Waits until the viewer just started as `proc` shows its start-up
    placeholder, centred on the screen; returns (display, (x, y) of the window).

    The window is centred before it turns layered, and Wine gives it a new X
    window then: only the placeholder on the screen shows the final one is up."""
    disp = display.Display()
    width, height = screen_size(disp)
    origin = ((width - 240) // 2, (height - 167) // 2)
    start = Image.open(os.path.join(ROOT, "res", "start.bmp")).convert("RGB")
    centre = tuple(layered(c) for c in start.getpixel((120, 60)))
    shown = wait_for(lambda: window_geometry("Pictaro", disp, proc.pid) == (*origin, 240, 167)
                     and near(pixel(disp, origin[0] + 120, origin[1] + 60), centre), timeout)
    if not shown:
        raise TimeoutError(f"no start-up placeholder at {origin} within {timeout} s: "
                           f"window {window_geometry('Pictaro', disp, proc.pid)}")
    return disp, origin


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


def mapped_windows(disp, pid):
    """[(X window, (x, y, width, height), WM_NAME)] of every viewable window of
    process `pid`, but Wine's 1 x 1 input-method window."""
    found = []
    for win in _walk(disp.screen().root):
        try:
            if win.get_attributes().map_state != X.IsViewable or not _owned_by(disp, win, pid):
                continue
            geo = geometry(disp, win)
            if geo[2] > 1 and geo[3] > 1:
                found.append((win, geo, win.get_wm_name()))
        except Exception:  # the window went away while we looked
            continue
    return found
