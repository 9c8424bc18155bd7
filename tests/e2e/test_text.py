"""The program's Chinese text shows as text under Wine, in the default locale:
the context menu's items and the load-failure message box, as a user sees
them on the screen. A glyph the font lacks shows as a hollow box."""
import os
import subprocess
import unittest

# viewer_case puts the project's tools/ on the path: import it first.
from viewer_case import ViewerTestCase, x11
import xdnd_drop
from PIL import Image
from Xlib import X


def ink_lines(shot):
    """The lines of text of a window's picture: for each, its glyphs as sets of
    ink pixels, split at empty columns. Ink is whatever is far darker than the
    background (the most common colour); rows inked across most of the width
    (a menu's separator, a button's edge) are no text."""
    width, height = shot.size
    grey = shot.convert("L")
    background = max(grey.getcolors(width * height))[1]
    ink = {(x, y) for y in range(height) for x in range(width) if grey.getpixel((x, y)) < background - 80}
    rows = {}
    for x, y in ink:
        rows.setdefault(y, []).append(x)
    text_rows = sorted(y for y, xs in rows.items() if len(xs) < width * 0.6)
    lines, current = [], []
    for y in text_rows:
        if current and y != current[-1] + 1:
            lines.append(current)
            current = []
        current.append(y)
    if current:
        lines.append(current)
    result = []
    for line in lines:
        top, bottom = line[0], line[-1]
        pixels = {(x, y) for x, y in ink if top <= y <= bottom}
        columns = sorted({x for x, _ in pixels})
        glyphs, start = [], None
        for i, x in enumerate(columns):
            if start is None:
                start = x
            if i + 1 == len(columns) or columns[i + 1] != x + 1:
                glyphs.append({(px, py) for px, py in pixels if start <= px <= x})
                start = None
        result.append(glyphs)
    return result


def hollow_boxes(glyphs):
    """How many glyphs are the missing-glyph box: an outline as tall as the
    line's tallest glyph, at least 4 px wide, with nothing inside. A box that
    is only part of a character (口 in 加) is shorter than the line."""
    boxes = [(min(x for x, _ in g), max(x for x, _ in g), min(y for _, y in g), max(y for _, y in g)) for g in glyphs]
    line_height = max(bottom - top for left, right, top, bottom in boxes if right - left >= 3)
    count = 0
    for glyph, (left, right, top, bottom) in zip(glyphs, boxes):
        if right - left < 3 or bottom - top < line_height * 0.75:
            continue
        if not [p for p in glyph if left < p[0] < right and top < p[1] < bottom]:
            count += 1
    return count


class TextTest(ViewerTestCase):
    def prepare(self):
        self.pictures = [os.path.join(self.tmp.name, f"{name}.png") for name in ("first", "second")]
        for path in self.pictures:
            Image.new("RGB", (60, 40), (200, 30, 60)).save(path)

    def new_window(self, known, name=""):
        """The one window of the viewer's process named `name` that appeared since `known`."""
        def appeared():
            fresh = [w for w in x11.mapped_windows(self.disp, self.proc.pid) if w[0].id not in known and w[2] == name]
            return fresh[0] if len(fresh) == 1 else None
        return x11.wait_for(appeared, timeout=20)

    def window_picture(self, geo):
        """The window on the screen, within its 3-px frame."""
        x, y, w, h = geo
        return x11.screenshot(os.path.join(self.tmp.name, "shot.png")).crop((x + 3, y + 3, x + w - 3, y + h - 3))

    def assert_text_shows(self, geo, what, lines_wanted):
        def painted():
            picture = self.window_picture(geo)
            return picture if len(ink_lines(picture)) >= lines_wanted else None

        picture = x11.wait_for(painted, timeout=10)
        self.assertIsNotNone(picture, f"no text in the {what}")
        for line in ink_lines(picture)[:lines_wanted]:
            self.assertGreaterEqual(len(line), 2, f"{what}: a line of text has glyphs")
            self.assertEqual(0, hollow_boxes(line), f"{what}: glyphs show as boxes")

    def test_menu_and_message_box_show_their_chinese_text(self):
        x, y = self.origin
        known = {w[0].id for w in x11.mapped_windows(self.disp, self.proc.pid)}
        subprocess.run(["xdotool", "mousemove", str(x + 120), str(y + 80), "click", "3"], check=True)
        menu = self.new_window(known)
        self.assertIsNotNone(menu, "no context menu")
        # "置顶" and "关闭".
        self.assert_text_shows(menu[1], "menu", 2)
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        self.assertTrue(x11.wait_for(lambda: menu[0].id not in
                                     {w[0].id for w in x11.mapped_windows(self.disp, self.proc.pid)}))

        # An entry whose file is no longer a picture gives "加载失败" when chosen.
        accept, _, finished = xdnd_drop.drag(x + 120, y + 80, [self.pictures[0], self.pictures[1]])
        self.assertEqual((1, 1), (accept, finished))
        self.assertTrue(x11.wait_for(lambda: self.viewer_geometry() == (x, y, 60, 40)), self.viewer_geometry())
        with open(self.pictures[0], "w") as f:
            f.write("no longer a picture")
        self.viewer_window().set_input_focus(X.RevertToParent, X.CurrentTime)
        self.disp.sync()
        subprocess.run(["xdotool", "mousemove", str(x + 30), str(y + 20), "key", "Tab"], check=True)
        _, height = x11.screen_size(self.disp)
        strip = x11.wait_for(lambda: [w for w in x11.mapped_windows(self.disp, self.proc.pid) if w[2] == ""])
        self.assertTrue(strip, "Tab shows no strip")
        known = {w[0].id for w in x11.mapped_windows(self.disp, self.proc.pid)}
        # The first box of the strip along the bottom: 88 x 82 at 20, 10.
        subprocess.run(["xdotool", "mousemove", "64", str(height - 120 + 51), "click", "1"], check=True)
        box = self.new_window(known, "Pictaro")
        self.assertIsNotNone(box, "no message box")
        self.assert_text_shows(box[1], "message box", 1)
        subprocess.run(["xdotool", "key", "Return"], check=True)

        x11.close_window(self.disp, self.viewer_window())
        self.assertEqual(0, self.proc.wait(timeout=30))


if __name__ == "__main__":
    unittest.main()
