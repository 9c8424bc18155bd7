"""The viewer under a window manager, as on a Linux desktop, with real input:
a click leaves it where it is, a drag moves it by the drag, and a quick double
click minimises it. Starts openbox for the test when the display has no window
manager of its own."""
import subprocess
import time
import unittest

# viewer_case puts the project's tools/ on the path: import it first.
from viewer_case import ViewerTestCase, x11
from Xlib import display

ICONIC = 3  # WM_STATE's IconicState


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


def has_window_manager(disp):
    return disp.screen().root.get_full_property(disp.intern_atom("_NET_SUPPORTING_WM_CHECK"), 0) is not None


class WindowManagerTest(ViewerTestCase):
    def prepare(self):
        disp = display.Display()
        if has_window_manager(disp):
            return
        wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (wm.terminate(), wm.wait(timeout=10)))
        self.assertTrue(x11.wait_for(lambda: has_window_manager(disp), timeout=20), "openbox did not start")

    def wm_state(self):
        prop = self.viewer_x_window.get_full_property(self.disp.intern_atom("WM_STATE"), 0)
        return prop.value[0] if prop else None

    def test_click_drag_and_double_click(self):
        x, y = self.origin
        self.viewer_x_window = self.viewer_window()

        xdotool("mousemove", x + 100, y + 50, "click", 1)
        time.sleep(0.5)  # a mistaken move would follow the mouse from here
        xdotool("mousemove", x + 150, y + 90)
        time.sleep(0.5)
        self.assertEqual((x, y, 240, 167), self.viewer_geometry(), "a click moved the viewer")

        xdotool("mousemove", x + 60, y + 60, "mousedown", 1)
        for step in range(1, 11):
            xdotool("mousemove", x + 60 + 10 * step, y + 60 + 5 * step)
        xdotool("mouseup", 1)
        moved = (x + 100, y + 50, 240, 167)
        self.assertTrue(x11.wait_for(lambda: self.viewer_geometry() == moved, timeout=10), self.viewer_geometry())

        # Half a second after the last press, two presses 50 ms apart.
        time.sleep(0.5)
        xdotool("mousemove", x + 200, y + 100, "click", "--repeat", 2, "--delay", 50, 1)
        self.assertTrue(x11.wait_for(lambda: self.wm_state() == ICONIC, timeout=10),
                        f"not minimised: WM_STATE {self.wm_state()}")
        x11.close_window(self.disp, self.viewer_x_window)
        self.assertEqual(0, self.proc.wait(timeout=30))


if __name__ == "__main__":
    unittest.main()
