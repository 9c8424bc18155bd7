"""Drives the real Pictaro.exe with real mouse and keyboard input on the display."""
import os
import stat
import subprocess
import unittest

# viewer_case puts the project's tools/ on the path: import it first.
from viewer_case import ViewerTestCase, x11
from PIL import Image


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


class InputTest(ViewerTestCase):
    def prepare(self):
        # Wine opens web addresses with the first browser command on PATH:
        # this one only writes down what it was asked to open.
        self.opened = os.path.join(self.tmp.name, "opened.txt")
        browser = os.path.join(self.tmp.name, "xdg-open")
        with open(browser, "w") as f:
            f.write(f'#!/bin/sh\necho "$@" >> "{self.opened}"\n')
        os.chmod(browser, stat.S_IRWXU)
        os.environ["PATH"] = self.tmp.name + os.pathsep + os.environ["PATH"]

    def opened_lines(self):
        if not os.path.exists(self.opened):
            return []
        with open(self.opened) as f:
            return f.read().splitlines()

    def test_link_opens_the_site_once_dragging_moves_and_esc_closes(self):
        x, y = self.origin
        # Hovering shows the link's hover image; wait for it before clicking.
        normal = Image.open(os.path.join(x11.ROOT, "res", "link.png")).convert("RGB")
        hover = Image.open(os.path.join(x11.ROOT, "res", "link-hover.png")).convert("RGB")
        spot = next((px, py) for py in range(15) for px in range(88)
                    if not x11.near(normal.getpixel((px, py)), hover.getpixel((px, py)), 8))
        want = tuple(x11.layered(c) for c in hover.getpixel(spot))
        xdotool("mousemove", x + 190, y + 157)
        at_spot = (x + 150 + spot[0], y + 150 + spot[1])
        self.assertTrue(x11.wait_for(lambda: x11.near(x11.pixel(self.disp, *at_spot), want), timeout=10),
                        "no hover image")
        xdotool("click", 1)
        self.assertTrue(x11.wait_for(lambda: self.opened_lines(), timeout=20), "no browser was started")
        x11.wait_for(lambda: len(self.opened_lines()) > 1, timeout=1)
        lines = self.opened_lines()
        self.assertEqual(1, len(lines))
        self.assertTrue(lines[0].startswith("http"), lines[0])
        geometry = self.viewer_geometry()
        self.assertEqual((*self.origin, 240, 167), geometry, "a press on the link does not move the viewer")

        # Press on the picture, drag, release: the viewer follows the mouse.
        xdotool("mousemove", x + 60, y + 60, "mousedown", 1)
        for step in range(1, 11):
            xdotool("mousemove", x + 60 + 10 * step, y + 60 + 5 * step)
        xdotool("mouseup", 1)
        moved = (x + 100, y + 50, 240, 167)
        self.assertTrue(x11.wait_for(lambda: self.viewer_geometry() == moved, timeout=10),
                        self.viewer_geometry())

        xdotool("key", "Escape")
        self.assertEqual(0, self.proc.wait(timeout=30))


if __name__ == "__main__":
    unittest.main()
