#!/usr/bin/python3
"""Writes the small picture files the decoding tests read, into tests/pictures/.

Every lossless picture is 13 x 7 pixels (an odd width, so rows of every depth
carry padding) and shows the same patterns that the tests compute for
themselves:
  colour(x, y) = ((x*19 + 7) & 255, (y*37 + 11) & 255, ((x*7 + y*29) * 3) & 255)
  index(x, y)  = (x + y*13) % n  over a palette of n entries,
                 palette[i] = ((i*53 + 20) & 255, (i*101 + 3) & 255, (i*29 + 140) & 255)
  alpha(x, y)  = ALPHAS[(x + 2*y) % 6]
JPEG pictures are 37 x 21, flat 8 x 8 blocks of block_colour(bx, by), since
JPEG keeps flat blocks but not single pixels.

orient-N.jpg and orient-N.tif carry the EXIF orientation tag N (1 to 8) over
pixels stored so that, turned as the tag says, each shows UPRIGHT: 32 x 16,
its quadrants (16 x 8, flat for JPEG) in the colours of CORNERS.

BMP, PNG and TIFF files are written byte by byte here, so that each carries
exactly the variant it is named for; JPEG and GIF come from PIL.

Usage: make-test-pictures.py [output folder]
"""
import os
import struct
import sys
import zlib

from PIL import Image

W, H = 13, 7
ALPHAS = (0, 1, 64, 128, 254, 255)
JPEG_W, JPEG_H = 37, 21


def colour(x, y):
    return ((x * 19 + 7) & 255, (y * 37 + 11) & 255, ((x * 7 + y * 29) * 3) & 255)


def index(x, y, n):
    return (x + y * W) % n


def palette(n):
    return [((i * 53 + 20) & 255, (i * 101 + 3) & 255, (i * 29 + 140) & 255) for i in range(n)]


def alpha(x, y):
    return ALPHAS[(x + 2 * y) % 6]


def block_colour(bx, by):
    return ((bx * 90 + 30) & 255, (by * 100 + 40) & 255, ((bx + by) * 70 + 20) & 255)


# ---------------------------------------------------------------- BMP

def pad4(row):
    return row + b"\0" * (-len(row) % 4)


def pack_bits(values, bits):
    out, acc, used = bytearray(), 0, 0
    for v in values:
        acc = (acc << bits) | v
        used += bits
        if used == 8:
            out.append(acc)
            acc, used = 0, 0
    if used:
        out.append(acc << (8 - used))
    return bytes(out)


def bmp(path, bits, rows, colours=None, compression=0, masks=None, top_down=False, header_size=40):
    """rows: the encoded rows, top row first (for RLE, the whole encoded stream)."""
    if compression in (1, 2):
        data = rows
    else:
        ordered = rows if top_down else rows[::-1]
        data = b"".join(pad4(r) for r in ordered)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in (colours or []))
    header = struct.pack("<IiiHHIIiiII", header_size, W, -H if top_down else H, 1, bits, compression,
                         len(data), 2835, 2835, len(colours or []), 0)
    if header_size > 40:
        header += struct.pack("<IIII", *(masks or (0, 0, 0, 0)))
        header += b"BGRs" + b"\0" * (header_size - 40 - 20)
    elif masks:
        table = struct.pack("<III", *masks[:3]) + table
    offset = 14 + len(header) + len(table)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + header + table + data)


def rle8(n):
    """Rows bottom-up, each as encoded runs of one index, then end of bitmap."""
    out = bytearray()
    for y in reversed(range(H)):
        x = 0
        while x < W:
            i = index(x, y, n)
            run = 1
            while x + run < W and index(x + run, y, n) == i:
                run += 1
            out += bytes((run, i))
            x += run
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


def rle4(n):
    """Rows bottom-up, each as runs of two pixels (a pair of indices) and a
    last run of one, then end of bitmap."""
    out = bytearray()
    for y in reversed(range(H)):
        for x in range(0, W, 2):
            pair = [index(x, y, n)] + ([index(x + 1, y, n)] if x + 1 < W else [0])
            out += bytes((min(2, W - x), (pair[0] << 4) | pair[1]))
        out += b"\0\0"
    return bytes(out[:-2]) + b"\0\1"


def write_bmps(folder):
    for bits, n in ((1, 2), (4, 16), (8, 200)):
        rows = [pack_bits([index(x, y, n) for x in range(W)], bits) for y in range(H)]
        bmp(os.path.join(folder, f"bmp{bits}.bmp"), bits, rows, palette(n))
    bmp(os.path.join(folder, "bmp8-rle.bmp"), 8, rle8(200), palette(200), compression=1)
    bmp(os.path.join(folder, "bmp4-rle.bmp"), 4, rle4(16), palette(16), compression=2)

    def rgb555(c):
        return ((c[0] >> 3) << 10) | ((c[1] >> 3) << 5) | (c[2] >> 3)

    def rgb565(c):
        return ((c[0] >> 3) << 11) | ((c[1] >> 2) << 5) | (c[2] >> 3)

    rows = [b"".join(struct.pack("<H", rgb555(colour(x, y))) for x in range(W)) for y in range(H)]
    bmp(os.path.join(folder, "bmp16-555.bmp"), 16, rows)
    rows = [b"".join(struct.pack("<H", rgb565(colour(x, y))) for x in range(W)) for y in range(H)]
    bmp(os.path.join(folder, "bmp16-565.bmp"), 16, rows, compression=3, masks=(0xF800, 0x07E0, 0x001F))
    rows = [b"".join(bytes(colour(x, y)[::-1]) for x in range(W)) for y in range(H)]
    bmp(os.path.join(folder, "bmp24.bmp"), 24, rows)
    bmp(os.path.join(folder, "bmp24-topdown.bmp"), 24, rows, top_down=True)
    rows = [b"".join(bytes(colour(x, y)[::-1]) + b"\0" for x in range(W)) for y in range(H)]
    bmp(os.path.join(folder, "bmp32.bmp"), 32, rows)


# ---------------------------------------------------------------- PNG

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(path, colour_type, depth, rows, dpi=None, width=W, height=H):
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    body = png_chunk(b"IHDR", ihdr)
    if dpi:
        per_metre = round(dpi / 0.0254)
        body += png_chunk(b"pHYs", struct.pack(">IIB", per_metre, per_metre, 1))
    raw = b"".join(b"\0" + r for r in rows)
    body += png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + body)


def wide(c8, x, y):
    """A 16-bit sample whose high byte is the 8-bit value."""
    return c8 * 256 + ((x * 41 + y * 13) & 255)


def write_pngs(folder):
    rows = [b"".join(bytes(colour(x, y) + (alpha(x, y),)) for x in range(W)) for y in range(H)]
    png(os.path.join(folder, "png32-alpha.png"), 6, 8, rows)
    rows = [b"".join(struct.pack(">HHH", *(wide(c, x, y) for c in colour(x, y))) for x in range(W))
            for y in range(H)]
    png(os.path.join(folder, "png48.png"), 2, 16, rows)
    png(os.path.join(folder, "png48-300dpi.png"), 2, 16, rows, dpi=300)
    rows = [b"".join(struct.pack(">HHHH", *(wide(c, x, y) for c in colour(x, y) + (alpha(x, y),)))
                     for x in range(W)) for y in range(H)]
    png(os.path.join(folder, "png64-alpha.png"), 6, 16, rows)
    # Claims 100000 x 100000 pixels in a few bytes.
    png(os.path.join(folder, "huge-declared.png"), 6, 8, [b"\0" * 16], width=100000, height=100000)


# ---------------------------------------------------------------- TIFF

def tiff(path, pages):
    """pages: (samples per pixel, extra sample kind or None, dpi, pixel bytes)."""
    out = bytearray(b"II*\0" + struct.pack("<I", 0))
    link = 4
    for spp, extra, dpi, data in pages:
        strip = len(out)
        out += data + b"\0" * (len(data) % 2)
        bits_at = len(out)
        out += struct.pack("<" + "H" * spp, *([8] * spp))
        res_at = len(out)
        out += struct.pack("<IIII", dpi, 1, dpi, 1)
        entries = [(256, 3, 1, W), (257, 3, 1, H), (258, 3, spp, bits_at), (259, 3, 1, 1), (262, 3, 1, 2),
                   (273, 4, 1, strip), (277, 3, 1, spp), (278, 3, 1, H), (279, 4, 1, len(data)),
                   (282, 5, 1, res_at), (283, 5, 1, res_at + 8), (296, 3, 1, 2)]
        if extra is not None:
            entries.append((338, 3, 1, extra))
        entries.sort()
        struct.pack_into("<I", out, link, len(out))
        out += struct.pack("<H", len(entries))
        for tag, kind, count, value in entries:
            out += struct.pack("<HHI", tag, kind, count)
            out += struct.pack("<HH", value, 0) if kind == 3 and count == 1 else struct.pack("<I", value)
        link = len(out)
        out += struct.pack("<I", 0)
    with open(path, "wb") as f:
        f.write(out)


def premultiplied(x, y):
    a = (255, 170, 85)[(x + y) % 3]
    return tuple(c * a // 255 for c in colour(x, y)) + (a,)


def write_tiffs(folder):
    first = b"".join(bytes(colour(x, y)) for y in range(H) for x in range(W))
    second = bytes(255 - b for b in first)
    tiff(os.path.join(folder, "tiff-2pages.tif"), [(3, None, 96, first), (3, None, 96, second)])
    # Associated (premultiplied) alpha, at 300 dpi.
    data = b"".join(bytes(premultiplied(x, y)) for y in range(H) for x in range(W))
    tiff(os.path.join(folder, "tiff-pargb-300dpi.tif"), [(4, 1, 300, data)])


# ---------------------------------------------------------------- JPEG, GIF

def write_jpegs(folder):
    im = Image.new("RGB", (JPEG_W, JPEG_H))
    im.putdata([block_colour(x // 8, y // 8) for y in range(JPEG_H) for x in range(JPEG_W)])
    im.save(os.path.join(folder, "jpeg-baseline.jpg"), quality=95, subsampling=0)
    im.save(os.path.join(folder, "jpeg-progressive.jpg"), quality=95, subsampling=0, progressive=True)
    im.convert("L").save(os.path.join(folder, "jpeg-grey.jpg"), quality=95)
    im.convert("CMYK").save(os.path.join(folder, "jpeg-cmyk.jpg"), quality=95)


# ------------------------------------------------------------ orientation

UPRIGHT_W, UPRIGHT_H = 32, 16
CORNERS = {"top-left": (220, 40, 40), "top-right": (40, 200, 60),
           "bottom-left": (40, 60, 220), "bottom-right": (230, 210, 40)}
# What turns an upright picture into the pixels stored under each tag: the
# inverse of the turn the tag asks for (PIL's rotations are anticlockwise).
STORED = {1: None, 2: Image.FLIP_LEFT_RIGHT, 3: Image.ROTATE_180, 4: Image.FLIP_TOP_BOTTOM,
          5: Image.TRANSPOSE, 6: Image.ROTATE_90, 7: Image.TRANSVERSE, 8: Image.ROTATE_270}


def write_orientations(folder):
    upright = Image.new("RGB", (UPRIGHT_W, UPRIGHT_H))
    half_w, half_h = UPRIGHT_W // 2, UPRIGHT_H // 2
    for name, box in (("top-left", (0, 0)), ("top-right", (half_w, 0)),
                      ("bottom-left", (0, half_h)), ("bottom-right", (half_w, half_h))):
        upright.paste(CORNERS[name], (box[0], box[1], box[0] + half_w, box[1] + half_h))
    for tag, turn in STORED.items():
        stored = upright if turn is None else upright.transpose(turn)
        exif = Image.Exif()
        exif[0x0112] = tag
        stored.save(os.path.join(folder, f"orient-{tag}.jpg"), quality=95, subsampling=0, exif=exif.tobytes())
        stored.save(os.path.join(folder, f"orient-{tag}.tif"), tiffinfo={0x0112: tag})


def gif_frame(n, shift=0):
    im = Image.new("P", (W, H))
    im.putpalette([v for c in palette(n) for v in c])
    im.putdata([(index(x, y, n) + shift) % n for y in range(H) for x in range(W)])
    return im


def write_gifs(folder):
    gif_frame(32).save(os.path.join(folder, "gif.gif"), optimize=False)
    gif_frame(32).save(os.path.join(folder, "gif-transparent.gif"), optimize=False, transparency=5)
    gif_frame(32).save(os.path.join(folder, "gif-animated.gif"), optimize=False, save_all=True,
                       append_images=[gif_frame(32, shift=7)], duration=100, loop=0)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "tests", "pictures")
    os.makedirs(folder, exist_ok=True)
    write_bmps(folder)
    write_pngs(folder)
    write_tiffs(folder)
    write_jpegs(folder)
    write_gifs(folder)
    write_orientations(folder)
    with open(os.path.join(folder, "not-a-picture.png"), "w") as f:
        f.write("This is a text file whose name ends in .png.\n")


if __name__ == "__main__":
    main()
