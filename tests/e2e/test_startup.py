"""Starts the real Pictaro.exe on the display and checks what a user sees."""
import os
import subprocess
import unittest

# viewer_case puts the project's tools/ on the path: import it first.
from viewer_case import ViewerTestCase, x11
from PIL import Image

START_BMP = os.path.join(x11.ROOT, "res", "start.bmp")


class StartupTest(ViewerTestCase):
    def test_viewer_starts_centred_shows_the_placeholder_and_closes_cleanly(self):
        screen_w, screen_h = x11.screen_size(self.disp)
        # No panel on the virtual display: the work area is the whole screen.
        self.assertEqual(((screen_w - 240) // 2, (screen_h - 167) // 2, 240, 167), self.viewer_geometry())

        x, y = self.origin
        expected = Image.open(START_BMP).convert("RGB")
        shot = x11.screenshot(os.path.join(self.tmp.name, "shot.png"))
        for px, py in [(0, 0), (239, 0), (120, 60), (60, 110), (10, 160), (239, 166), (200, 155)]:
            want = tuple(x11.layered(c) for c in expected.getpixel((px, py)))
            got = shot.getpixel((x + px, y + py))
            self.assertTrue(x11.near(got, want), f"pixel {px},{py}: {got} != {want}")

        x11.close_window(self.disp, self.viewer_window())
        self.assertEqual(0, self.proc.wait(timeout=30))

        query = subprocess.run([x11.WINE_RUN, "reg", "query", r"HKCU\Software\Tarvo"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertNotEqual(0, query.returncode, "the viewer writes no settings")


if __name__ == "__main__":
    unittest.main()
