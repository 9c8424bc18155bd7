#!/usr/bin/python3
"""Draw Pictaro's built-in pictures into res/.

Writes, from scratch and deterministically:
  res/pictaro.ico     application icon (16, 32, 48 px as 32-bit DIBs, 256 px as PNG)
  res/start.bmp       240x167 drop-a-picture panel with the "Pictaro" caption bar
  res/failed.bmp      240x150 drop-a-picture panel without the caption bar
  res/tile.bmp        29x102 thumbnail strip background tile
  res/frame.png       104x100 selection frame around an 88x82 thumbnail
  res/marker.png      12x100 insertion marker (white line, green glow)
  res/link.png        88x15 "Send feedback" link, normal
  res/link-hover.png  88x15 "Send feedback" link, hovered

Run from the repository root with:  /usr/bin/python3 tools/make-resources.py
Needs Pillow and the DejaVu and Noto Sans CJK fonts.
"""

import io
import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "res")

DEJAVU = "/usr/share/fonts/truetype/dejavu/"
NOTO = "/usr/share/fonts/opentype/noto/"
CJK_SC_INDEX = 2  # "Noto Sans CJK SC" inside the .ttc collection

# ---------------------------------------------------------------- palette
CHARCOAL_DARK = (34, 34, 37)
CHARCOAL = (52, 52, 56)
CHARCOAL_LIGHT = (74, 74, 78)
PANEL_TOP = (242, 241, 238)
PANEL_BOTTOM = (226, 225, 221)
PANEL_EDGE = (196, 194, 188)
DASH = (172, 170, 163)
TEXT_DARK = (58, 58, 62)
TEXT_MID = (124, 122, 116)
ACCENT = (81, 144, 68)
ACCENT_LIGHT = (132, 186, 116)
SUN = (236, 196, 92)
BAR = (0x81, 0x7F, 0x79)          # caption bar == link background
LINK_BG = (0x81, 0x7F, 0x79)
LINK_TEXT = (225, 223, 218)
LINK_TEXT_HOVER = (255, 255, 255)
BAR_TEXT = (255, 255, 255)

SS = 4  # supersampling factor for shapes (text is rendered at 1x, hinted)


def font(name, size, index=0):
    path = name if os.path.isabs(name) else (
        (NOTO if name.endswith(".ttc") else DEJAVU) + name)
    return ImageFont.truetype(path, size, index=index)


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    return tuple(int(round(lerp(a, b, t))) for a, b in zip(c1, c2))


def vgradient(size, top, bottom):
    w, h = size
    im = Image.new("RGB", size)
    px = im.load()
    for y in range(h):
        c = mix(top, bottom, y / max(1, h - 1))
        for x in range(w):
            px[x, y] = c
    return im


def downsample(im, size):
    """Box-filter a supersampled layer down to its final size."""
    return im.resize(size, Image.BOX)


def text_width(f, s):
    b = f.getbbox(s)
    return b[2] - b[0]


# ------------------------------------------------------------ picture glyph
def draw_photo_glyph(d, x0, y0, w, h, s, frame, paper, sky_sun=True):
    """A tiny framed photo with hills and a sun, in supersampled coordinates.

    (x0, y0, w, h) are in final pixels; s is the supersampling factor.
    """
    X0, Y0, W, H = x0 * s, y0 * s, w * s, h * s
    r = max(1, round(1.6 * s))
    d.rounded_rectangle([X0, Y0, X0 + W - 1, Y0 + H - 1], radius=r, fill=frame)
    b = round(1.5 * s)
    ix0, iy0, ix1, iy1 = X0 + b, Y0 + b, X0 + W - 1 - b, Y0 + H - 1 - b
    d.rectangle([ix0, iy0, ix1, iy1], fill=paper)
    iw, ih = ix1 - ix0, iy1 - iy0
    if sky_sun:
        cx, cy, rr = ix0 + iw * 0.72, iy0 + ih * 0.30, ih * 0.15
        d.ellipse([cx - rr, cy - rr, cx + rr, cy + rr], fill=SUN)
    # back hill (lighter green) and front mountain (accent)
    d.polygon([(ix0 + iw * 0.40, iy1), (ix0 + iw * 0.70, iy0 + ih * 0.48),
               (ix1, iy0 + ih * 0.78), (ix1, iy1)], fill=ACCENT_LIGHT)
    d.polygon([(ix0, iy1), (ix0, iy0 + ih * 0.80), (ix0 + iw * 0.34, iy0 + ih * 0.36),
               (ix0 + iw * 0.74, iy1)], fill=ACCENT)


# ------------------------------------------------------------------- panels
def make_panel(w, h):
    """Light drop panel: dashed drop zone, photo glyph, request and types."""
    S = SS
    big = vgradient((w * S, h * S), PANEL_TOP, PANEL_BOTTOM)
    d = ImageDraw.Draw(big)

    # dashed rounded drop zone
    m = 9
    zx0, zy0, zx1, zy1 = m * S, m * S, (w - m) * S - 1, (h - m) * S - 1
    radius = 7 * S
    lw = S  # 1 px line
    dash, gap = 5 * S, 3 * S
    # walk the rounded rectangle's outline as a polyline and dash it
    pts = []
    def arc(cx, cy, a0, a1):
        n = 12
        for i in range(n + 1):
            a = math.radians(lerp(a0, a1, i / n))
            pts.append((cx + radius * math.cos(a), cy + radius * math.sin(a)))
    arc(zx1 - radius, zy0 + radius, -90, 0)
    arc(zx1 - radius, zy1 - radius, 0, 90)
    arc(zx0 + radius, zy1 - radius, 90, 180)
    arc(zx0 + radius, zy0 + radius, 180, 270)
    pts.append(pts[0])
    seglens = [math.dist(pts[i], pts[i + 1]) for i in range(len(pts) - 1)]
    total = sum(seglens)
    period = dash + gap
    nper = max(1, round(total / period))
    period = total / nper
    dash = period * 5 / 8
    def point_at(t):
        for i, L in enumerate(seglens):
            if t <= L or i == len(seglens) - 1:
                f = t / L if L else 0
                (ax, ay), (bx, by) = pts[i], pts[i + 1]
                return (ax + (bx - ax) * f, ay + (by - ay) * f)
            t -= L
    for k in range(nper):
        t0 = k * period
        poly = []
        steps = 8
        for j in range(steps + 1):
            poly.append(point_at(min(total, t0 + dash * j / steps)))
        d.line(poly, fill=DASH, width=lw, joint="curve")

    # photo glyph centred above the text
    gw, gh = 30, 23
    gy = round(h * 0.5) - 34
    draw_photo_glyph(d, (w - gw) // 2, gy, gw, gh, S, frame=CHARCOAL_LIGHT,
                     paper=(250, 250, 248))
    # a small down arrow under the glyph, "drop here"
    ax = w * S / 2
    ay = (gy + gh + 3) * S
    d.polygon([(ax - 4 * S, ay), (ax + 4 * S, ay), (ax, ay + 4 * S)], fill=ACCENT)

    im = downsample(big, (w, h))
    td = ImageDraw.Draw(im)

    f_cjk = font("NotoSansCJK-Regular.ttc", 15, CJK_SC_INDEX)
    msg = "请将图片拖到这里"
    b = f_cjk.getbbox(msg)
    ty = gy + gh + 10
    td.text(((w - (b[2] - b[0])) // 2 - b[0], ty - b[1]), msg, font=f_cjk, fill=TEXT_DARK)

    f_small = font("DejaVuSans.ttf", 10)
    types = "png, jpg, bmp"
    b2 = f_small.getbbox(types)
    ty2 = ty + (b[3] - b[1]) + 7
    td.text(((w - (b2[2] - b2[0])) // 2 - b2[0], ty2 - b2[1]), types,
            font=f_small, fill=TEXT_MID)
    return im


def make_start():
    w, h = 240, 167
    bar_y = 148
    im = Image.new("RGB", (w, h), BAR)
    panel = make_panel(w, bar_y)
    im.paste(panel, (0, 0))
    d = ImageDraw.Draw(im)
    # soft shadow line of the panel onto the bar
    d.line([(0, bar_y - 1), (w - 1, bar_y - 1)], fill=PANEL_EDGE)
    # product name at the left of the bar
    f = font("DejaVuSans-Bold.ttf", 11)
    name = "Pictaro"
    b = f.getbbox(name)
    th = b[3] - b[1]
    # a small green dot before the name as the brand accent
    big = im.crop((0, bar_y, 24, h)).resize((24 * SS, (h - bar_y) * SS), Image.NEAREST)
    bd = ImageDraw.Draw(big)
    cy = (h - bar_y) * SS / 2
    r = 3.5 * SS
    cx = 10 * SS
    bd.ellipse([cx - r, cy - r, cx + r, cy + r], fill=ACCENT)
    im.paste(downsample(big, (24, h - bar_y)), (0, bar_y))
    ty = bar_y + ((h - bar_y) - th) // 2 - b[1]
    d.text((17 - b[0], ty), name, font=f, fill=BAR_TEXT)
    return im


def make_failed():
    return make_panel(240, 150)


# --------------------------------------------------------------------- tile
def make_tile():
    w, h = 29, 102
    im = Image.new("RGB", (w, h))
    px = im.load()
    top_line = (16, 16, 18)
    hi = (84, 84, 88)
    upper = (66, 66, 70)
    lower = (36, 36, 39)
    for y in range(h):
        if y == 0:
            base = top_line
        elif y == 1:
            base = hi
        elif y == 2:
            base = mix(hi, upper, 0.5)
        else:
            t = (y - 3) / (h - 4)
            base = mix(upper, lower, t ** 0.85)
        for x in range(w):
            c = base
            if y >= 3:
                # staggered dot grid: period 4, alternate rows shifted by 2
                row = (y - 3) // 4
                if (y - 3) % 4 == 1 and (x + 2 * (row % 2)) % 4 == 1:
                    c = tuple(v - 9 for v in c)
                elif (y - 3) % 4 == 2 and (x + 2 * (row % 2)) % 4 == 2:
                    c = tuple(v + 5 for v in c)
            px[x, y] = c
    return im


# -------------------------------------------------------------------- frame
def make_frame():
    w, h = 104, 100
    bx, by = 8, 9          # border: 8 px left/right, 9 px top/bottom
    hx0, hy0, hx1, hy1 = bx, by, w - bx - 1, h - by - 1   # hole 88x82
    im = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    px = im.load()
    outer_rim = (112, 112, 114)
    light = (214, 214, 211)
    for y in range(h):
        for x in range(w):
            if hx0 <= x <= hx1 and hy0 <= y <= hy1:
                px[x, y] = (0, 0, 0, 0)
                continue
            dx = max(hx0 - x, x - hx1, 0)          # 1..8 outward
            dy = max(hy0 - y, y - hy1, 0)          # 1..9 outward
            t = max(dx / bx, dy / by)              # 0 inner .. 1 outer
            if x in (0, w - 1) or y in (0, h - 1):
                c = outer_rim                      # crisp outer edge
            else:
                # grey body that darkens toward the hole, black inner edge
                k = (t - 1.0 / by) / (1.0 - 2.0 / by)
                k = min(1.0, max(0.0, k))
                c = mix((0, 0, 0), light, k ** 0.55)
                # light from above: top side a touch brighter, bottom darker
                shade = 1.0 + 0.06 * (1 - 2 * y / (h - 1))
                c = tuple(min(255, int(round(v * shade))) for v in c)
            if dx <= 1 and dy <= 1:
                c = (0, 0, 0)                      # black inner edge
            px[x, y] = c + (255,)
    # slightly softened outermost corner pixels
    for (x, y) in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
        r, g, b, _ = px[x, y]
        px[x, y] = (r, g, b, 110)
    return im


# ------------------------------------------------------------------- marker
def make_marker():
    w, h = 12, 100
    im = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    px = im.load()
    glow = {1: 175, 2: 112, 3: 62, 4: 28, 5: 9}   # alpha by distance from line
    for y in range(h):
        end = min(y, h - 1 - y)                   # 0 at the very ends
        fade = 1.0 if end >= 3 else (0.45, 0.7, 0.88)[end]
        for x in range(w):
            if x in (5, 6):
                px[x, y] = (255, 255, 255, 255)
            else:
                dist = 5 - x if x < 5 else x - 6
                a = int(round(glow[dist] * fade))
                if dist == 1:
                    # the glow right next to the line is a lighter green
                    px[x, y] = (134, 190, 120, a)
                else:
                    px[x, y] = ACCENT + (a,)
    return im


# --------------------------------------------------------------------- link
def make_link(hover):
    w, h = 88, 15
    fg = LINK_TEXT_HOVER if hover else LINK_TEXT
    f = font("DejaVuSansCondensed.ttf", 11)
    label = "Send feedback"
    b = f.getbbox(label)
    # text baseline placed so that cap height sits centred in 15 px
    asc = f.getmetrics()[0]
    tx = 13
    ty = 1
    # arrow: a right-pointing arrow with a shaft, supersampled
    S = 8
    big = Image.new("RGB", (w * S, h * S), LINK_BG)
    d = ImageDraw.Draw(big)
    cy = (ty + asc - 4.0) * S       # centre on the x-height
    x0, x1 = 1.5 * S, 10.5 * S
    shaft = 1.5 * S
    head = 7.0 * S
    hl = 4.5 * S
    d.rectangle([x0, cy - shaft / 2, x1 - hl + S * 0.5, cy + shaft / 2], fill=fg)
    d.polygon([(x1 - hl, cy - head / 2), (x1, cy), (x1 - hl, cy + head / 2)], fill=fg)
    im = downsample(big, (w, h))
    td = ImageDraw.Draw(im)
    td.text((tx - b[0], ty), label, font=f, fill=fg)
    if hover:
        uy = ty + asc + 1
        td.line([(tx, uy), (tx + b[2] - b[0] - 1, uy)], fill=fg)
    return im


# ---------------------------------------------------------------------- icon
def draw_icon(size):
    """The Pictaro mark: a charcoal rounded tile holding a photo with hills."""
    S = 8 if size <= 48 else 4
    N = size * S
    big = Image.new("RGBA", (N, N), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    u = N / 16.0                           # one 16-px-icon unit
    small = size <= 16
    # tile
    pad = 0.0 if small else 0.5 * u
    rad = 3.0 * u
    tile = Image.new("RGBA", (N, N), (0, 0, 0, 0))
    td = ImageDraw.Draw(tile)
    td.rounded_rectangle([pad, pad, N - 1 - pad, N - 1 - pad], radius=rad, fill=(255, 255, 255, 255))
    grad = vgradient((N, N), (70, 70, 75), (36, 36, 40)).convert("RGBA")
    big = Image.composite(grad, big, tile.split()[3])
    d = ImageDraw.Draw(big)
    if not small:
        # faint top highlight edge
        hl = Image.new("RGBA", (N, N), (0, 0, 0, 0))
        hd = ImageDraw.Draw(hl)
        hd.rounded_rectangle([pad, pad, N - 1 - pad, N - 1 - pad], radius=rad,
                             outline=(255, 255, 255, 38), width=max(1, round(0.35 * u)))
        big = Image.alpha_composite(big, hl)
        d = ImageDraw.Draw(big)
    # photo (white mat + picture)
    if small:
        box, mat_px = (2, 3, 14, 13), 1.0
    else:
        box = tuple(round(v * size / 16.0) for v in (2.6, 3.4, 13.4, 12.6))
        mat_px = max(1, round(0.85 * size / 16.0))
    # snapped to whole target pixels so the photo edges stay crisp
    px0, py0, px1, py1 = (v * S for v in box)
    px1, py1 = px1 - 1, py1 - 1
    mat = mat_px * S
    d.rounded_rectangle([px0, py0, px1, py1], radius=0.7 * u, fill=(246, 245, 241, 255))
    ix0, iy0, ix1, iy1 = px0 + mat, py0 + mat, px1 - mat, py1 - mat
    iw, ih = ix1 - ix0, iy1 - iy0
    # sky
    sky = vgradient((max(1, int(iw)), max(1, int(ih))), (206, 226, 240), (232, 240, 244)).convert("RGBA")
    big.paste(sky, (int(ix0), int(iy0)))
    d = ImageDraw.Draw(big)
    # sun
    cx, cy, r = ix0 + iw * 0.74, iy0 + ih * 0.30, ih * (0.17 if small else 0.15)
    d.ellipse([cx - r, cy - r, cx + r, cy + r], fill=SUN + (255,))
    # hills
    d.polygon([(ix0 + iw * 0.38, iy1), (ix0 + iw * 0.70, iy0 + ih * 0.50),
               (ix1, iy0 + ih * 0.76), (ix1, iy1)], fill=ACCENT_LIGHT + (255,))
    d.polygon([(ix0, iy1), (ix0, iy0 + ih * 0.78), (ix0 + iw * 0.33, iy0 + ih * 0.30),
               (ix0 + iw * 0.78, iy1)], fill=ACCENT + (255,))
    if not small:
        # snow cap on the main peak
        px_, py_ = ix0 + iw * 0.33, iy0 + ih * 0.30
        s = 0.22
        lx = ix0 + iw * (0.33 - 0.33 * s)
        ly = iy0 + ih * (0.30 + 0.48 * s)
        rx = ix0 + iw * (0.33 + 0.45 * s)
        d.polygon([(px_, py_), (rx, ly), (px_ + iw * 0.02, ly - ih * 0.04),
                   (px_ - iw * 0.04, ly), (lx, ly)], fill=(250, 250, 246, 255))
    return big.resize((size, size), Image.LANCZOS if size >= 48 else Image.BOX)


def ico_dib(im):
    """A 32-bit BGRA DIB entry (with AND mask) for an ICO directory."""
    w, h = im.size
    hdr = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    px = im.load()
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b, a = px[x, y]
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_stride)
        for x in range(w):
            if px[x, y][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return hdr + b"".join(rows) + bytes(mask)


def write_ico(path, images):
    entries = []
    for im in images:
        w, h = im.size
        if w >= 256:
            buf = io.BytesIO()
            im.save(buf, "PNG", optimize=True)
            data = buf.getvalue()
        else:
            data = ico_dib(im)
        entries.append((w, h, data))
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for w, h, data in entries:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    with open(path, "wb") as fh:
        fh.write(out)


# ---------------------------------------------------------------------- main
def save_bmp(im, name):
    assert im.mode == "RGB"
    im.save(os.path.join(RES, name), "BMP")


def save_png(im, name):
    im.save(os.path.join(RES, name), "PNG", optimize=True)


def main():
    os.makedirs(RES, exist_ok=True)
    write_ico(os.path.join(RES, "pictaro.ico"), [draw_icon(s) for s in (16, 32, 48, 256)])
    save_bmp(make_start(), "start.bmp")
    save_bmp(make_failed(), "failed.bmp")
    save_bmp(make_tile(), "tile.bmp")
    save_png(make_frame(), "frame.png")
    save_png(make_marker(), "marker.png")
    save_png(make_link(False), "link.png")
    save_png(make_link(True), "link-hover.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
