"""A random session on the real Pictaro.exe: drops, keys, clicks, double clicks,
menu choices and thumbnail drags in random order for a bounded time. After
every step the viewer must answer a window message within a bound; the session
ends with Esc and exit code 0.

    test_session.py PICTARO.EXE PING_WINDOW.EXE

PICTARO_SESSION_SEED replays a session (the seed is printed first);
PICTARO_SESSION_SECONDS sets its length (75 s by default).
"""
import os
import random
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pictaro_x11 as x11  # noqa: E402
import xdnd_drop  # noqa: E402
from PIL import Image  # noqa: E402
from Xlib import X, error as xerror  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(x11.ROOT, "build", "Pictaro.exe")
PING = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(x11.ROOT, "build", "tests", "ping_window.exe")
ANSWER_BOUND_MS = 5000


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


class Session:
    def __init__(self, seed, folder):
        self.rng = random.Random(seed)
        self.folder = folder
        self.pictures = []
        for i in range(12):
            path = os.path.join(folder, f"p{i:02d}.png")
            size = (self.rng.randint(40, 320), self.rng.randint(30, 240))
            colour = tuple(self.rng.randint(30, 220) for _ in range(3))
            Image.new("RGB", size, colour).save(path)
            self.pictures.append(path)
        # Never added by a drop; one of the pictures is broken now and then
        # too, so that the viewer fails to read an entry the strip holds.
        self.broken = os.path.join(folder, "broken.png")
        with open(self.broken, "w") as f:
            f.write("not a picture")
        self.proc = x11.start(EXE)
        self.disp, _ = x11.wait_for_start(self.proc)
        self.width, self.height = x11.screen_size(self.disp)
        self.log = []
        self.topmost = False
        self.thread = ""

    # What Wine tells about the program from inside.
    def ping(self):
        """(exit code, viewer as (x, y, width, height, iconic, visible, topmost)
        or None, message boxes as (x, y, width, height))."""
        result = subprocess.run([x11.WINE_RUN, PING, str(ANSWER_BOUND_MS)], capture_output=True, text=True,
                                timeout=60)
        viewer, boxes = None, []
        for line in result.stdout.splitlines():
            kind, *numbers = line.split()
            if kind == "thread":
                self.thread = line
                continue
            left, top, right, bottom, *flags = map(int, numbers)
            if kind == "viewer":
                viewer = (left, top, right - left, bottom - top, *flags)
            elif kind == "box":
                boxes.append((left, top, right - left, bottom - top))
        return result.returncode, viewer, boxes

    def x_window(self, geometry):
        """The mapped X window named "Pictaro" with this geometry, or None."""
        for _ in range(20):
            try:
                for win in x11._walk(self.disp.screen().root):
                    if (win.get_wm_name() == "Pictaro" and win.get_attributes().map_state == X.IsViewable
                            and x11.geometry(self.disp, win) == geometry):
                        return win
                return None
            except xerror.XError:  # Wine replaced a window while we looked
                time.sleep(0.05)
        return None

    def answer_boxes(self):
        """Presses Enter on every message box, as a user does; the last ping."""
        for _ in range(10):
            state = self.ping()
            if not state[2]:
                return state
            win = self.x_window(state[2][0])
            if win is not None:
                self.focus_viewer(win)
            xdotool("key", "Return")
            self.log.append("answered a message box")
            time.sleep(0.2)
        raise AssertionError(f"message boxes stay: {state[2]}")

    def shown_viewer(self):
        """The viewer's X window and geometry, restored first when it was minimised."""
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            _, viewer, _ = self.answer_boxes()
            if viewer is None:
                raise AssertionError(f"the viewer is gone (exit code {self.proc.poll()})")
            *geometry, iconic, visible, _ = viewer
            if iconic:
                subprocess.run([x11.WINE_RUN, PING, "restore"], timeout=60)
            elif visible:
                win = self.x_window(tuple(geometry))
                if win is not None:
                    return win, tuple(geometry)
            time.sleep(0.1)
        raise AssertionError("the viewer is not shown")

    def focus_viewer(self, win):
        # No window manager: give the viewer the focus as one would on a click.
        win.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.disp.sync()

    def activate_viewer(self, win, geometry):
        """A click on the viewer, which a user makes before typing when the
        program has lost the keyboard (a load hides and shows the viewer)."""
        x, y = geometry[0] + geometry[2] // 2, geometry[1] + geometry[3] // 2
        # Not within a click window of an earlier press: that would minimise.
        time.sleep(0.3)
        xdotool("mousemove", x, y, "click", 1)
        self.focus_viewer(win)

    def point_in(self, geometry):
        x, y, w, h = geometry
        return x + self.rng.randrange(max(w, 1)), y + self.rng.randrange(max(h, 1))

    def box_centre(self, index):
        return 20 + 108 * index + 44, self.height - 120 + 10 + 41

    # The steps.
    def drop(self, win, geometry):
        names = self.rng.sample(self.pictures, self.rng.randint(1, 4))
        if self.rng.random() < 0.2:
            names.insert(self.rng.randrange(len(names) + 1), self.broken)
        x, y = self.point_in(geometry)
        accept, _, finished = xdnd_drop.drag(x, y, names, disp=self.disp)
        return f"drop {len(names)} at {x},{y}: accept={accept} finished={finished}"

    def key(self, win, geometry):
        name = self.rng.choice(["Left", "Right", "Right", "Delete", "F5", "Tab"])
        self.activate_viewer(win, geometry)
        xdotool("key", name)
        return f"key {name}"

    def click(self, win, geometry):
        x, y = self.point_in(geometry)
        xdotool("mousemove", x, y, "click", 1)
        return f"click {x},{y}"

    def double_click(self, win, geometry):
        x, y = self.point_in(geometry)
        xdotool("mousemove", x, y, "click", "--repeat", 2, "--delay", 60, 1)
        return f"double click {x},{y}"

    def thumbnail_click(self, win, geometry):
        x, y = self.box_centre(self.rng.randrange(10))
        xdotool("mousemove", x, y, "click", 1)
        return f"thumbnail click {x},{y}"

    def thumbnail_drag(self, win, geometry):
        a, b = self.rng.sample(range(10), 2)
        (x0, y0), (x1, y1) = self.box_centre(a), self.box_centre(b)
        xdotool("mousemove", x0, y0, "mousedown", 1)
        for step in range(1, 9):
            xdotool("mousemove", x0 + (x1 - x0) * step // 8, y0 + (step % 2))
            time.sleep(0.03)
        time.sleep(0.1)
        xdotool("mouseup", 1)
        return f"thumbnail drag {a} -> {b}"

    def menu_topmost(self, win, geometry):
        x, y = geometry[0] + 5, geometry[1] + 5
        xdotool("mousemove", x, y, "mousedown", 3, "mouseup", 3)
        # The menu opens at the press, "置顶" its first item.
        menu = x11.wait_for(lambda: self.window_at(x, y, exclude=win), timeout=5)
        if not menu:
            return "menu did not open"
        xdotool("mousemove", x + 20, y + 10, "click", 1)
        self.topmost = not self.topmost
        if not x11.wait_for(lambda: (self.ping()[1] or [0])[-1] == int(self.topmost), timeout=10):
            raise AssertionError(f"choosing 置顶 did not make the viewer {'' if self.topmost else 'non-'}topmost")
        return f"menu 置顶: topmost {self.topmost}"

    def window_at(self, x, y, exclude):
        try:
            for w in x11._walk(self.disp.screen().root):
                if w.id != exclude.id and w.get_attributes().map_state == X.IsViewable:
                    gx, gy, _, _ = x11.geometry(self.disp, w)
                    if abs(gx - x) <= 2 and abs(gy - y) <= 2:
                        return w
        except xerror.XError:
            return None
        return None

    def break_or_mend(self, win, geometry):
        """A picture of the strip becomes unreadable, or readable again."""
        path = self.rng.choice(self.pictures)
        if self.rng.random() < 0.5:
            with open(path, "wb") as f:
                f.write(b"\x89PNG broken")
            return f"broke {os.path.basename(path)}"
        Image.new("RGB", (64, 48), (90, 120, 150)).save(path)
        return f"mended {os.path.basename(path)}"

    STEPS = [(drop, 4), (key, 10), (click, 3), (double_click, 1), (thumbnail_click, 3), (thumbnail_drag, 2),
             (menu_topmost, 1), (break_or_mend, 1)]

    def step(self):
        win, geometry = self.shown_viewer()
        action = self.rng.choices([s for s, _ in self.STEPS], [w for _, w in self.STEPS])[0]
        self.log.append(action(self, win, geometry))
        code = self.answer_boxes()[0]
        if code != 0:
            raise AssertionError(f"the viewer did not answer within {ANSWER_BOUND_MS} ms (code {code})")

    def close(self):
        for attempt in range(3):
            win, geometry = self.shown_viewer()
            if attempt:
                print("Esc did not close the viewer:", self.ping(), self.thread, flush=True)
            self.activate_viewer(win, geometry)
            xdotool("key", "Escape")
            try:
                return self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        return self.proc.wait(timeout=1)


class SessionTest(unittest.TestCase):
    def test_random_session_stays_responsive_and_ends_with_esc(self):
        seed = int(os.environ.get("PICTARO_SESSION_SEED", random.randrange(1 << 31)))
        seconds = float(os.environ.get("PICTARO_SESSION_SECONDS", 75))
        print(f"seed={seed} (PICTARO_SESSION_SEED={seed} replays it)", flush=True)
        with tempfile.TemporaryDirectory() as folder:
            session = Session(seed, folder)
            try:
                deadline = time.monotonic() + seconds
                while time.monotonic() < deadline:
                    try:
                        session.step()
                    except Exception:
                        print("\n".join(session.log[-20:]))
                        raise
                print(f"{len(session.log)} steps; the last ones:")
                print("\n".join(session.log[-20:]))
                self.assertEqual(0, session.close())
            finally:
                if session.proc.poll() is None:
                    session.proc.kill()


if __name__ == "__main__":
    unittest.main()
