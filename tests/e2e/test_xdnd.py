"""Drags real files onto the real Pictaro.exe the way a Linux file manager does (XDND)."""
import os
import subprocess
import unittest

# viewer_case puts the project's tools/ on the path: import it first.
from viewer_case import ViewerTestCase, x11
import xdnd_drop
from PIL import Image
from Xlib import X

COLOURS = {"red": (200, 30, 60), "green": (30, 160, 60), "blue": (40, 60, 200), "yellow": (220, 200, 40)}


class XdndTest(ViewerTestCase):
    def prepare(self):
        self.files = {}
        for name, colour in COLOURS.items():
            self.files[name] = os.path.join(self.tmp.name, name + ".png")
            Image.new("RGB", (60, 40), colour).save(self.files[name])

    def setUp(self):
        super().setUp()
        self.width, self.height = x11.screen_size(self.disp)

    def focus_viewer(self):
        win = self.viewer_window()
        win.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.disp.sync()

    def box_centre(self, index):
        """Where entry `index` of the strip shows, on the screen: the strip
        lies along the bottom, 120 px high, its first box at 20, 10."""
        return 20 + 108 * index + 44, self.height - 120 + 10 + 41

    def strip_shows(self, names):
        """The strip shows these pictures in its first boxes, and nothing in the next."""
        for index, name in enumerate(names):
            if not x11.near(x11.pixel(self.disp, *self.box_centre(index)), COLOURS[name], 2):
                return False
        after = x11.pixel(self.disp, *self.box_centre(len(names)))
        return all(not x11.near(after, colour, 30) for colour in COLOURS.values())

    def test_files_dropped_on_the_viewer_fill_the_strip_which_refuses_them_itself(self):
        x, y = self.origin
        accept, action, finished = xdnd_drop.drag(x + 120, y + 80, [self.files["red"], self.files["green"]])
        self.assertEqual((1, "XdndActionCopy", 1), (accept, action, finished))
        # The viewer shows the last file of the drop at its size.
        self.assertTrue(x11.wait_for(lambda: self.viewer_geometry() == (x, y, 60, 40)),
                        self.viewer_geometry())
        want = tuple(x11.layered(c) for c in COLOURS["green"])
        self.assertTrue(x11.wait_for(lambda: x11.near(x11.pixel(self.disp, x + 30, y + 20), want)))

        # Tab shows the strip, made hidden by the first drop. The keys go to the
        # viewer once it has the focus, as a window manager gives it on a click.
        self.focus_viewer()
        subprocess.run(["xdotool", "mousemove", str(x + 30), str(y + 20), "key", "Tab"], check=True)
        self.assertTrue(x11.wait_for(lambda: self.strip_shows(["red", "green"]), timeout=20), "strip not shown")

        # Over the strip's empty end and over a thumbnail the files are refused,
        # so the file manager takes them away again.
        for index in (2, 0):
            accept, action, finished = xdnd_drop.drag(*self.box_centre(index), [self.files["blue"]])
            self.assertEqual((0, None, None), (accept, action, finished), f"over box {index}")

        # A later drop on the viewer lands right after the first two: nothing came in between.
        accept, _, finished = xdnd_drop.drag(x + 30, y + 20, [self.files["yellow"]])
        self.assertEqual((1, 1), (accept, finished))
        self.assertTrue(x11.wait_for(lambda: self.strip_shows(["red", "green", "yellow"]), timeout=20),
                        [x11.pixel(self.disp, *self.box_centre(i)) for i in range(4)])

        x11.close_window(self.disp, self.viewer_window())
        self.assertEqual(0, self.proc.wait(timeout=30))


if __name__ == "__main__":
    unittest.main()
