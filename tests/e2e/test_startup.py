"""Starts the real Pictaro.exe on the display and checks what a user sees."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pictaro_x11 as x11  # noqa: E402
from PIL import Image  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(x11.ROOT, "build", "Pictaro.exe")
START_BMP = os.path.join(x11.ROOT, "res", "start.bmp")


class StartupTest(unittest.TestCase):
    def test_viewer_starts_centred_shows_the_placeholder_and_closes_cleanly(self):
        proc = x11.start(EXE)
        try:
            disp, (x, y) = x11.wait_for_start(proc)
            screen_w, screen_h = x11.screen_size(disp)
            # No panel on the virtual display: the work area is the whole screen.
            self.assertEqual(((screen_w - 240) // 2, (screen_h - 167) // 2, 240, 167),
                             x11.window_geometry("Pictaro", disp, proc.pid))

            expected = Image.open(START_BMP).convert("RGB")
            with tempfile.TemporaryDirectory() as tmp:
                shot = x11.screenshot(os.path.join(tmp, "shot.png"))
            for px, py in [(0, 0), (239, 0), (120, 60), (60, 110), (10, 160), (239, 166), (200, 155)]:
                want = tuple(x11.layered(c) for c in expected.getpixel((px, py)))
                got = shot.getpixel((x + px, y + py))
                self.assertTrue(x11.near(got, want), f"pixel {px},{py}: {got} != {want}")

            x11.close_window(disp, x11.find_window("Pictaro", disp=disp, pid=proc.pid)[1])
            self.assertEqual(0, proc.wait(timeout=30))
        finally:
            if proc.poll() is None:
                proc.kill()

        query = subprocess.run([x11.WINE_RUN, "reg", "query", r"HKCU\Software\Tarvo"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertNotEqual(0, query.returncode, "the viewer writes no settings")


if __name__ == "__main__":
    unittest.main()
