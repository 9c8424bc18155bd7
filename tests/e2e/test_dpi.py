"""On a display set to 144 dpi (150 %), one picture pixel is still one screen
pixel: the viewer has the picture's size and the strip its 120 px band."""
import os
import subprocess
import unittest

# viewer_case puts the project's tools/ on the path: import it first.
from viewer_case import ViewerTestCase, x11
import xdnd_drop
from PIL import Image
from Xlib import X

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


def set_log_pixels(value):
    """Sets the prefix's display resolution; None removes the setting."""
    if value is None:
        args = ["reg", "delete", DESKTOP_KEY, "/v", "LogPixels", "/f"]
    else:
        args = ["reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(value), "/f"]
    return subprocess.run([x11.WINE_RUN, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


class HighDpiTest(ViewerTestCase):
    def prepare(self):
        self.picture = os.path.join(self.tmp.name, "wide.png")
        Image.new("RGB", (200, 150), (30, 160, 60)).save(self.picture)
        self.assertEqual(0, set_log_pixels(144))
        # Runs after the viewer is gone: the cleanups run last-in, first-out.
        self.addCleanup(set_log_pixels, None)

    def test_picture_and_strip_keep_their_pixel_sizes_at_150_percent(self):
        x, y = self.origin
        # The resolution is in effect: the context menu's text grew with it
        # (the menu is 55 px high at 96 dpi and 77 px at 144 under Wine 8).
        subprocess.run(["xdotool", "mousemove", str(x + 50), str(y + 50), "click", "3"], check=True)

        def menu_height():
            return max((geo[3] for _, geo, name in x11.mapped_windows(self.disp, self.proc.pid) if not name),
                       default=0)

        self.assertTrue(x11.wait_for(lambda: menu_height() >= 70, timeout=10), menu_height())
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.assertTrue(x11.wait_for(lambda: menu_height() == 0, timeout=10))

        accept, _, finished = xdnd_drop.drag(x + 120, y + 80, [self.picture])
        self.assertEqual((1, 1), (accept, finished))
        self.assertTrue(x11.wait_for(lambda: self.viewer_geometry() == (x, y, 200, 150)), self.viewer_geometry())

        win = self.viewer_window()
        win.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.disp.sync()
        subprocess.run(["xdotool", "mousemove", str(x + 30), str(y + 20), "key", "Tab"], check=True)
        width, height = x11.screen_size(self.disp)

        def strip():
            return [geo for _, geo, name in x11.mapped_windows(self.disp, self.proc.pid) if name != "Pictaro"]

        self.assertTrue(x11.wait_for(lambda: strip() == [(0, height - 120, width, 120)], timeout=20), strip())

        x11.close_window(self.disp, self.viewer_window())
        self.assertEqual(0, self.proc.wait(timeout=30))


if __name__ == "__main__":
    unittest.main()
