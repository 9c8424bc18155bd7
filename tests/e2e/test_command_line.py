"""The real Pictaro.exe started with files on its command line, as "Open with"
and a drop on the exe's icon start it: the last file on the screen, both in
the strip."""
import os
import subprocess
import tempfile
import unittest

# viewer_case puts the project's tools/ on the path: import it first.
from viewer_case import EXE, ViewerTestCase, x11
from PIL import Image
from Xlib import X, display

RED, GREEN = (200, 30, 60), (30, 160, 60)


def windows_path(path):
    """A Linux path as this program sees it under Wine (the root is drive Z:)."""
    return "Z:" + path.replace("/", "\\")


class CommandLineTest(ViewerTestCase):
    def setUp(self):
        # Not the base's start: the viewer comes up with the files instead of
        # its placeholder.
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        red = os.path.join(self.tmp.name, "red.png")
        green = os.path.join(self.tmp.name, "green one.png")
        Image.new("RGB", (60, 40), RED).save(red)
        Image.new("RGB", (70, 30), GREEN).save(green)
        # The first by a name relative to the folder it starts in, the second
        # by its full path, with a space in its name.
        self.proc = subprocess.Popen([x11.WINE_RUN, EXE, "red.png", windows_path(green)], cwd=self.tmp.name,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: self.proc.poll() is None and self.proc.kill())
        self.disp = display.Display()
        self.width, self.height = x11.screen_size(self.disp)

    def box_centre(self, index):
        """Where entry `index` of the strip shows: the strip lies along the
        bottom, 120 px high, its first box at 20, 10."""
        return 20 + 108 * index + 44, self.height - 120 + 10 + 41

    def test_the_last_file_is_shown_and_both_are_in_the_strip(self):
        # Where the start-up placeholder would be centred: the picture keeps its top-left corner.
        x, y = (self.width - 240) // 2, (self.height - 167) // 2
        want = tuple(x11.layered(c) for c in GREEN)
        shown = x11.wait_for(lambda: self.viewer_geometry() == (x, y, 70, 30)
                             and x11.near(x11.pixel(self.disp, x + 35, y + 15), want))
        self.assertTrue(shown, self.viewer_geometry())

        # Tab shows the strip, made hidden as a drop makes it.
        win = self.viewer_window()
        win.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.disp.sync()
        subprocess.run(["xdotool", "mousemove", str(x + 35), str(y + 15), "key", "Tab"], check=True)
        in_strip = lambda: (x11.near(x11.pixel(self.disp, *self.box_centre(0)), RED, 2)
                            and x11.near(x11.pixel(self.disp, *self.box_centre(1)), GREEN, 2))
        self.assertTrue(x11.wait_for(in_strip, timeout=20),
                        [x11.pixel(self.disp, *self.box_centre(i)) for i in range(3)])

        x11.close_window(self.disp, self.viewer_window())
        self.assertEqual(0, self.proc.wait(timeout=30))


if __name__ == "__main__":
    unittest.main()
