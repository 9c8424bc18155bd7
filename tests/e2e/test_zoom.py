"""The real mouse wheel zooms the real Pictaro.exe about the cursor, and the
screen shows the picture at its new size."""
import os
import subprocess
import unittest

# viewer_case puts the project's tools/ on the path: import it first.
from viewer_case import ViewerTestCase, x11
import xdnd_drop
from PIL import Image
from Xlib import X

RED, BLUE = (200, 30, 60), (40, 60, 200)


class ZoomTest(ViewerTestCase):
    def prepare(self):
        self.picture = os.path.join(self.tmp.name, "halves.png")
        im = Image.new("RGB", (60, 40), RED)
        im.paste(BLUE, (30, 0, 60, 40))
        im.save(self.picture)

    def shows(self, geometry):
        """The viewer has this geometry and shows the two halves across it."""
        if self.viewer_geometry() != geometry:
            return False
        gx, gy, gw, gh = geometry
        left = x11.pixel(self.disp, gx + gw // 4, gy + gh // 2)
        right = x11.pixel(self.disp, gx + gw * 3 // 4, gy + gh // 2)
        return (x11.near(left, tuple(map(x11.layered, RED)), 2)
                and x11.near(right, tuple(map(x11.layered, BLUE)), 2))

    def test_wheel_zooms_about_the_cursor(self):
        x, y = self.origin
        accept, _, finished = xdnd_drop.drag(x + 120, y + 80, [self.picture])
        self.assertEqual((1, 1), (accept, finished))
        self.assertTrue(x11.wait_for(lambda: self.shows((x, y, 60, 40))), self.viewer_geometry())

        win = self.viewer_window()
        win.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.disp.sync()
        # One notch up over the point 30, 20 of the picture: 3/2, that point staying put.
        subprocess.run(["xdotool", "mousemove", str(x + 30), str(y + 20), "click", "4"], check=True)
        self.assertTrue(x11.wait_for(lambda: self.shows((x - 15, y - 10, 90, 60)), timeout=10),
                        self.viewer_geometry())
        # Two notches down: 2/3.
        subprocess.run(["xdotool", "click", "5", "click", "5"], check=True)
        self.assertTrue(x11.wait_for(lambda: self.shows((x + 10, y + 7, 40, 27)), timeout=10),
                        self.viewer_geometry())

        x11.close_window(self.disp, self.viewer_window())
        self.assertEqual(0, self.proc.wait(timeout=30))


if __name__ == "__main__":
    unittest.main()
