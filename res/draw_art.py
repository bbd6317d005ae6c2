#!/usr/bin/env python3
"""Draws Quillmere's icons and bitmaps and writes them as .ico/.bmp files.

Everything is drawn on a small pixel grid with a handful of primitives and
written by hand-rolled BMP/ICO writers, so the artwork can be regenerated
on any machine with nothing but Python.  Output goes to art/ next to this
script.  The output is byte-for-byte deterministic.

    python3 res/draw_art.py
"""

import math
import os
import struct
import sys
import zlib

ART_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "art")

# The standard 16-colour VGA palette, in the order Windows uses it.
BLACK = (0, 0, 0)
MAROON = (128, 0, 0)
GREEN = (0, 128, 0)
OLIVE = (128, 128, 0)
NAVY = (0, 0, 128)
PURPLE = (128, 0, 128)
TEAL = (0, 128, 128)
SILVER = (192, 192, 192)
GREY = (128, 128, 128)
RED = (255, 0, 0)
LIME = (0, 255, 0)
YELLOW = (255, 255, 0)
BLUE = (0, 0, 255)
FUCHSIA = (255, 0, 255)
AQUA = (0, 255, 255)
WHITE = (255, 255, 255)

VGA_PALETTE = [BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER,
               GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE]

# The event image lists are loaded with this colour as the transparent key,
# so it must never appear as a real pixel.
MASK_COLOUR = (32, 0, 0)

LIST_BACKGROUND = (209, 211, 255)
COMBO_BACKGROUND = WHITE
CELL = 32
EVENT_CELLS = 6


# ---------------------------------------------------------------- canvas

class Canvas:
    """A grid of RGB tuples; None marks a transparent pixel."""

    def __init__(self, width, height, fill=None):
        self.width = width
        self.height = height
        self.pixels = [[fill] * width for _ in range(height)]

    def get(self, x, y):
        return self.pixels[y][x]

    def px(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Filled rectangle, corners inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.px(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        """One-pixel rectangle outline, corners inclusive."""
        self.hline(x0, x1, y0, colour)
        self.hline(x0, x1, y1, colour)
        self.vline(x0, y0, y1, colour)
        self.vline(x1, y0, y1, colour)

    def hline(self, x0, x1, y, colour):
        self.rect(min(x0, x1), y, max(x0, x1), y, colour)

    def vline(self, x, y0, y1, colour):
        self.rect(x, min(y0, y1), x, max(y0, y1), colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        """Bresenham line; width > 1 stamps a square brush."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx = 1 if x0 < x1 else -1
        sy = 1 if y0 < y1 else -1
        err = dx + dy
        while True:
            self.rect(x0, y0, x0 + width - 1, y0 + width - 1, colour)
            if x0 == x1 and y0 == y1:
                break
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def shape(self, inside, colour, outline=None):
        """Fill every pixel whose centre satisfies inside(x, y); optionally
        paint the pixels on the shape's edge in a second colour."""
        mask = [[inside(x + 0.5, y + 0.5) for x in range(self.width)]
                for y in range(self.height)]

        def at(x, y):
            return 0 <= x < self.width and 0 <= y < self.height and mask[y][x]

        for y in range(self.height):
            for x in range(self.width):
                if not mask[y][x]:
                    continue
                edge = not (at(x - 1, y) and at(x + 1, y)
                            and at(x, y - 1) and at(x, y + 1))
                self.pixels[y][x] = outline if (edge and outline) else colour

    def ellipse(self, x0, y0, x1, y1, colour, outline=None):
        """Ellipse filling the bounding box x0..x1, y0..y1 (inclusive)."""
        cx, cy = (x0 + x1 + 1) / 2, (y0 + y1 + 1) / 2
        rx, ry = (x1 - x0 + 1) / 2, (y1 - y0 + 1) / 2

        def inside(x, y):
            return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0
        self.shape(inside, colour, outline)

    def polygon(self, points, colour, outline=None):
        """Even-odd filled polygon; points are in pixel-corner coordinates."""
        def inside(x, y):
            hit = False
            n = len(points)
            for i in range(n):
                (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
                if (ay > y) != (by > y):
                    if x < ax + (y - ay) * (bx - ax) / (by - ay):
                        hit = not hit
            return hit
        self.shape(inside, colour, outline)

    def sprite(self, x0, y0, rows, legend):
        """Hand-placed pixels: one string per row, '.' leaves a pixel alone."""
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch != ".":
                    self.px(x0 + dx, y0 + dy, legend[ch])

    def paste(self, other, x0, y0):
        """Copy the opaque pixels of another canvas onto this one."""
        for y in range(other.height):
            for x in range(other.width):
                c = other.pixels[y][x]
                if c is not None:
                    self.px(x0 + x, y0 + y, c)

    def colours(self):
        return {c for row in self.pixels for c in row}


# ---------------------------------------------------------------- writers

def _row_bytes(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def _palette_index(colour, where):
    try:
        return VGA_PALETTE.index(colour)
    except ValueError:
        sys.exit("%s: colour %r is not in the 16-colour palette" % (where, colour))


def _pack_4bpp(canvas, where, transparent_index=0):
    """Bottom-up 4-bit rows, high nibble first, padded to 4 bytes."""
    stride = _row_bytes(canvas.width, 4)
    out = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(canvas.width):
            c = canvas.get(x, y)
            idx = transparent_index if c is None else _palette_index(c, where)
            row[x // 2] |= idx << (4 if x % 2 == 0 else 0)
        out += row
    return bytes(out)


def _pack_and_mask(canvas):
    """Bottom-up 1-bit rows: 1 = transparent (screen shows through)."""
    stride = _row_bytes(canvas.width, 1)
    out = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(canvas.width):
            if canvas.get(x, y) is None:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def _palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA_PALETTE)


def _info_header(width, height, bpp, image_size, colours_used):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0,
                       image_size, 0, 0, colours_used, 0)


def _file_header(pixel_offset, file_size):
    return struct.pack("<2sIHHI", b"BM", file_size, 0, 0, pixel_offset)


def write_bmp4(path, canvas):
    if None in canvas.colours():
        sys.exit("%s: a bitmap cannot have transparent pixels" % path)
    pixels = _pack_4bpp(canvas, path)
    offset = 14 + 40 + 16 * 4
    data = (_file_header(offset, offset + len(pixels))
            + _info_header(canvas.width, canvas.height, 4, len(pixels), 16)
            + _palette_bytes() + pixels)
    _write(path, data)


def write_bmp24(path, canvas):
    if None in canvas.colours():
        sys.exit("%s: a bitmap cannot have transparent pixels" % path)
    stride = _row_bytes(canvas.width, 24)
    pixels = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for x in range(canvas.width):
            r, g, b = canvas.get(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        pixels += row
    offset = 14 + 40
    data = (_file_header(offset, offset + len(pixels))
            + _info_header(canvas.width, canvas.height, 24, len(pixels), 0)
            + bytes(pixels))
    _write(path, data)


def _png(canvas):
    """32-bit RGBA PNG; None pixels are fully transparent."""
    raw = bytearray()
    for y in range(canvas.height):
        raw.append(0)
        for x in range(canvas.width):
            c = canvas.get(x, y)
            raw += bytes((0, 0, 0, 0)) if c is None else bytes((c[0], c[1], c[2], 255))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def _bmp32_icon_image(canvas):
    """A 32-bit icon image with alpha (0 or 255) and its AND mask."""
    pixels = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        for x in range(canvas.width):
            c = canvas.get(x, y)
            pixels += bytes((0, 0, 0, 0)) if c is None else bytes((c[2], c[1], c[0], 255))
    and_mask = _pack_and_mask(canvas)
    header = _info_header(canvas.width, canvas.height * 2, 32,
                          len(pixels) + len(and_mask), 0)
    return header + bytes(pixels) + and_mask


def write_ico32(path, canvases):
    """Icon with one 32-bit image (with alpha) per canvas; 256 pixels and
    more as PNG, as Windows expects there."""
    images = [_png(c) if c.width >= 256 else _bmp32_icon_image(c) for c in canvases]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        data += struct.pack("<BBBBHHII", canvas.width % 256, canvas.height % 256,
                            0, 0, 1, 32, len(image), offset)
        offset += len(image)
    _write(path, data + b"".join(images))


def scaled(canvas, size):
    """The same picture at size x size, pixel for pixel from the nearest
    source pixel, so that it stays the same drawing, only larger."""
    c = Canvas(size, size)
    for y in range(size):
        for x in range(size):
            c.pixels[y][x] = canvas.get(x * canvas.width // size,
                                        y * canvas.height // size)
    return c


def scaled_rect(canvas, width, height):
    c = Canvas(width, height)
    for y in range(height):
        for x in range(width):
            c.pixels[y][x] = canvas.get(x * canvas.width // width,
                                        y * canvas.height // height)
    return c


def icon_sizes(small, large):
    """16, 20, 24, 32, 48 and 256 pixels: the two drawn sizes as they are,
    the others from the nearest drawn one below."""
    return [small, scaled(small, 20), scaled(small, 24), large, scaled(large, 48),
            scaled(large, 256)]


def _write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (os.path.relpath(path), len(data)))


# ---------------------------------------------------------------- app icon

def calendar_icon_32():
    c = Canvas(32, 32)
    c.rect(3, 4, 30, 31, GREY)                  # drop shadow
    c.rect(1, 2, 29, 30, WHITE)
    c.frame(1, 2, 29, 30, BLACK)
    c.rect(2, 3, 28, 9, RED)
    c.hline(2, 28, 9, MAROON)
    c.hline(2, 28, 10, BLACK)
    for x in range(5, 26, 4):
        c.vline(x, 11, 29, SILVER)
    for y in range(14, 27, 4):
        c.hline(2, 28, y, SILVER)
    c.rect(18, 19, 20, 21, BLUE)                # today
    ring = [".k.",
            "kwk",
            "kSk",
            "kSk",
            "kSk",
            "kGk",
            ".k."]
    legend = {"k": BLACK, "w": WHITE, "S": SILVER, "G": GREY}
    for x in (8, 20):
        c.sprite(x, 0, ring, legend)
    return c


def calendar_icon_16():
    c = Canvas(16, 16)
    c.sprite(0, 0, [
        "....k......k....",
        "...kSk....kSk...",
        "kkkkSkkkkkkSkkkk",
        "krrrSrrrrrrSrrrk",
        "krrrkrrrrrrkrrrk",
        "kmmmmmmmmmmmmmmk",
        "kkkkkkkkkkkkkkkk",
        "kwwSwwSwwSwwSwwk",
        "kwwSwwSwwSwwSwwk",
        "kSSSSSSSSSSSSSSk",
        "kwwSwwSwwSbbSwwk",
        "kwwSwwSwwSbbSwwk",
        "kSSSSSSSSSSSSSSk",
        "kwwSwwSwwSwwSwwk",
        "kwwSwwSwwSwwSwwk",
        "kkkkkkkkkkkkkkkk",
    ], {"k": BLACK, "r": RED, "m": MAROON, "w": WHITE, "S": SILVER,
        "b": BLUE})
    return c


# ---------------------------------------------------------------- reminder icon

def _bell(c, cx, cy, radius, angle):
    """Half-disc dome sitting on the clock body, bulging along angle."""
    ux, uy = math.cos(angle), math.sin(angle)

    def inside(x, y):
        dx, dy = x - cx, y - cy
        return math.hypot(dx, dy) <= radius and dx * ux + dy * uy >= -0.6
    c.shape(inside, YELLOW, outline=BLACK)
    # knob on the crown of the dome
    kx = math.floor(cx + ux * (radius - 1) - 0.5)
    ky = math.floor(cy + uy * (radius - 1) - 0.5)
    c.rect(kx, ky - 1, kx + 1, ky, BLACK)


def alarm_clock_32():
    c = Canvas(32, 32)
    # Legs and bells first so the body overlaps their roots.
    c.line(8, 26, 5, 30, BLACK, width=2)
    c.line(24, 26, 27, 30, BLACK, width=2)
    _bell(c, 8.5, 7.0, 5.5, math.radians(-125))
    _bell(c, 24.5, 7.0, 5.5, math.radians(-55))
    c.rect(14, 1, 19, 2, BLACK)                 # hammer
    c.rect(16, 3, 17, 5, BLACK)
    # Body, face and the quarter-hour ticks.
    c.ellipse(4, 5, 28, 29, RED, outline=BLACK)
    c.ellipse(7, 8, 25, 26, WHITE, outline=MAROON)
    c.vline(16, 9, 10, BLACK)
    c.vline(16, 24, 25, BLACK)
    c.hline(8, 9, 17, BLACK)
    c.hline(23, 24, 17, BLACK)
    # Hands at ten past ten, so both are clearly visible.
    c.line(16, 17, 12, 13, BLACK)
    c.line(15, 17, 11, 13, BLACK)
    c.line(16, 17, 21, 12, BLACK)
    c.px(16, 17, RED)
    return c


def alarm_clock_16():
    c = Canvas(16, 16)
    c.sprite(0, 0, [
        ".kk...kkk...kk..",
        "kyyk...k...kyyk.",
        "kyyykkkkkkkyyyk.",
        ".kykkrrrrrkkyk..",
        "..krrwwwwwrrk...",
        "..krwwwkwwwrk...",
        ".krwwwwkwwwwrk..",
        ".krwwwwkwwwwrk..",
        ".krwkkkkwwwwrk..",
        ".krwwwwwwwwwrk..",
        ".krwwwwwwwwwrk..",
        "..krwwwwwwwrk...",
        "..krrwwwwwrrk...",
        "...kkrrrrrkk....",
        "..k..kkkkk..k...",
        ".k...........k..",
    ], {"k": BLACK, "y": YELLOW, "r": RED, "w": WHITE})
    return c


# ---------------------------------------------------------------- toolbar bitmaps

BIG_GEAR = [
    "....####....",
    ".##.####.##.",
    ".##########.",
    "..########..",
    ".####..####.",
    "####....####",
    "####....####",
    ".####..####.",
    "..########..",
    ".##########.",
    ".##.####.##.",
    "....####....",
]

SMALL_GEAR = [
    "...##...",
    ".#.##.#.",
    ".######.",
    "###..###",
    "###..###",
    ".######.",
    ".#.##.#.",
    "...##...",
]


def options_bitmap():
    # Plain silhouettes read better than shaded ones at this size; the two
    # wheels get different tones so the meshing teeth stay apart.
    c = Canvas(17, 16, SILVER)
    c.sprite(9, 0, SMALL_GEAR, {"#": BLACK})
    c.sprite(0, 4, BIG_GEAR, {"#": GREY})
    return c


def save_bitmap():
    c = Canvas(16, 16, SILVER)
    c.sprite(0, 0, [
        "................",
        ".kkkkkkkkkkkk...",
        ".knwwwwwwwwwnk..",
        ".knwSSSSSSSwnnk.",
        ".knwwwwwwwwwnnk.",
        ".knwSSSSSSSwnnk.",
        ".knwwwwwwwwwnnk.",
        ".knnnnnnnnnnnnk.",
        ".knnnnnnnnnnnnk.",
        ".knnSSSSSSSSnnk.",
        ".knnSSkkSSSSnnk.",
        ".knnSSkkSSSSnnk.",
        ".knnSSkkSSSSnnk.",
        ".knnSSSSSSSSnnk.",
        ".kkkkkkkkkkkkkk.",
        "................",
    ], {"k": BLACK, "n": NAVY, "w": WHITE, "S": SILVER})
    return c


def _triangle(pointing_right):
    c = Canvas(16, 16, SILVER)
    for i, y in enumerate(range(3, 14)):
        length = 6 - abs(i - 5)
        for j in range(length):
            c.px(5 + j if pointing_right else 10 - j, y, BLACK)
    return c


def next_bitmap():
    return _triangle(pointing_right=True)


def prev_bitmap():
    return _triangle(pointing_right=False)


# ---------------------------------------------------------------- event pictures
# Each one is drawn on its own transparent 32x32 canvas so the same drawing
# can be placed on both the list and the combo background.

INK = (0, 0, 0)


def envelope_picture():
    c = Canvas(CELL, CELL)
    paper = (255, 246, 214)
    fold = (150, 120, 70)
    c.rect(2, 7, 29, 25, paper)
    c.frame(2, 7, 29, 25, INK)
    c.line(3, 8, 15, 14, fold)
    c.line(28, 8, 16, 14, fold)
    # the letter E
    red = (200, 20, 20)
    c.rect(12, 16, 13, 23, red)
    c.rect(12, 16, 19, 17, red)
    c.rect(12, 19, 18, 20, red)
    c.rect(12, 22, 19, 23, red)
    return c


def eye_picture():
    c = Canvas(CELL, CELL)
    cx, cy = 16.0, 16.0
    half_w, half_h = 14.0, 8.0
    k = (half_w ** 2 - half_h ** 2) / (2 * half_h)
    r = k + half_h

    def lens(x, y):
        return (math.hypot(x - cx, y - (cy + k)) <= r
                and math.hypot(x - cx, y - (cy - k)) <= r)
    c.shape(lens, WHITE, outline=INK)

    iris = (40, 110, 200)
    def iris_in(x, y):
        return lens(x, y) and math.hypot(x - cx, y - cy) <= 6.2
    c.shape(iris_in, iris, outline=(20, 60, 130))
    c.ellipse(13, 13, 18, 18, INK)
    c.rect(12, 12, 13, 13, WHITE)
    # a few lashes along the upper lid
    for (x0, y0), (x1, y1) in (((8, 11), (6, 8)), ((12, 10), (11, 6)),
                               ((16, 11), (16, 8)), ((20, 10), (21, 6)),
                               ((24, 11), (26, 8))):
        c.line(x0, y0, x1, y1, INK)
    return c


def fish_picture():
    c = Canvas(CELL, CELL)
    yellow = (255, 214, 0)
    edge = (150, 100, 0)
    fin = (255, 150, 0)
    c.polygon([(20, 16), (30, 8), (28, 16), (30, 24)], fin, outline=edge)   # tail
    c.polygon([(9, 11), (14, 5), (19, 11)], fin, outline=edge)            # dorsal fin
    c.ellipse(2, 9, 23, 24, yellow, outline=edge)
    for x, y in ((13, 15), (14, 16), (14, 17), (14, 18), (14, 19), (13, 20)):
        c.px(x, y, edge)                                               # gill
    c.polygon([(9, 19), (16, 21), (10, 25)], fin, outline=edge)        # belly fin
    c.line(3, 19, 5, 19, edge)                                         # mouth
    bubble = (90, 140, 220)
    c.ellipse(2, 4, 5, 7, (235, 245, 255), outline=bubble)
    c.ellipse(5, 0, 7, 2, (235, 245, 255), outline=bubble)
    # sunglasses: one lens on the near side, the far one peeking past the snout
    shades = (20, 20, 40)
    c.line(10, 13, 19, 12, INK)
    c.ellipse(5, 11, 11, 16, shades)
    c.ellipse(0, 12, 3, 15, shades)
    c.hline(3, 5, 13, INK)
    c.px(7, 12, WHITE)
    c.px(6, 13, WHITE)
    return c


def media_picture():
    c = Canvas(CELL, CELL)
    strip = (40, 40, 40)
    hole = (235, 235, 235)
    frame_sky = (120, 180, 240)
    frame_land = (70, 150, 70)
    c.rect(1, 2, 30, 18, strip)
    for x in range(2, 30, 4):
        c.rect(x, 3, x + 1, 4, hole)
        c.rect(x, 16, x + 1, 17, hole)
    for x in (2, 12, 22):
        c.rect(x, 6, x + 7, 14, frame_sky)
        c.rect(x, 12, x + 7, 14, frame_land)
    # player bar
    body = (200, 200, 210)
    c.rect(0, 21, 31, 30, body)
    c.frame(0, 21, 31, 30, (90, 90, 100))
    c.ellipse(2, 22, 9, 29, (0, 150, 0), outline=(0, 90, 0))
    c.polygon([(4.5, 23.5), (8.5, 26), (4.5, 28.5)], WHITE)
    c.rect(12, 25, 29, 26, WHITE)
    c.frame(11, 24, 30, 27, (90, 90, 100))
    c.rect(12, 25, 20, 26, (30, 100, 220))
    return c


def music_picture():
    c = Canvas(CELL, CELL)
    edge = (110, 110, 110)
    c.polygon([(4, 1), (23, 1), (28, 6), (28, 31), (4, 31)], WHITE, outline=edge)
    c.polygon([(22, 1), (28, 7), (22, 7)], (220, 220, 220), outline=edge)  # dog-ear
    line = (70, 70, 70)
    for y in (11, 14, 17, 20, 23):
        c.hline(6, 26, y, line)
    c.vline(26, 11, 23, line)                   # bar line
    # two beamed quavers, then a crotchet with its stem down
    c.ellipse(7, 19, 10, 21, INK)
    c.vline(10, 10, 20, INK)
    c.ellipse(13, 16, 16, 18, INK)
    c.vline(16, 10, 17, INK)
    c.rect(10, 10, 16, 11, INK)
    c.ellipse(20, 13, 23, 15, INK)
    c.vline(20, 15, 21, INK)
    return c


def smiley_picture():
    c = Canvas(CELL, CELL)
    face = (255, 220, 40)
    c.ellipse(1, 1, 30, 30, face, outline=(150, 100, 0))
    # glasses
    c.ellipse(5, 8, 14, 16, (230, 240, 255), outline=INK)
    c.ellipse(17, 8, 26, 16, (230, 240, 255), outline=INK)
    c.hline(14, 17, 11, INK)
    c.line(5, 11, 2, 10, INK)
    c.line(26, 11, 29, 10, INK)
    c.rect(9, 11, 10, 13, INK)
    c.rect(21, 11, 22, 13, INK)
    # smile
    def smile(x, y):
        d = math.hypot(x - 16, y - 14)
        return 9.5 <= d <= 11 and y > 20
    c.shape(smile, (120, 40, 0))
    return c


EVENT_PICTURES = [envelope_picture, eye_picture, fish_picture,
                  media_picture, music_picture, smiley_picture]


def events_strip(height, background):
    c = Canvas(CELL * EVENT_CELLS + 1, height, background)
    for i, draw in enumerate(EVENT_PICTURES):
        c.paste(draw(), i * CELL, 0)
    if MASK_COLOUR in c.colours():
        sys.exit("event pictures use the mask colour %r" % (MASK_COLOUR,))
    for y in range(height):
        if c.get(c.width - 1, y) != background:
            sys.exit("event strip: last column must stay background")
    for y in range(CELL, height):
        if any(c.get(x, y) != background for x in range(c.width)):
            sys.exit("event strip: rows below the cells must stay background")
    return c


# ---------------------------------------------------------------- main

def main():
    os.makedirs(ART_DIR, exist_ok=True)

    def out(name):
        return os.path.join(ART_DIR, name)

    write_ico32(out("quillmere.ico"), icon_sizes(calendar_icon_16(), calendar_icon_32()))
    write_ico32(out("reminder.ico"), icon_sizes(alarm_clock_16(), alarm_clock_32()))
    buttons = {"options": options_bitmap(), "save": save_bitmap(),
               "next": next_bitmap(), "prev": prev_bitmap()}
    for name, picture in buttons.items():
        write_bmp4(out(name + ".bmp"), picture)
        # The same pictures for higher DPIs, as large as the DPI asks.
        for size in (20, 24, 32):
            width = picture.width * size // 16
            write_bmp24(out("%s_%d.bmp" % (name, size)), scaled_rect(picture, width, size))
    write_bmp24(out("events_list.bmp"), events_strip(34, LIST_BACKGROUND))
    write_bmp24(out("events_combo.bmp"), events_strip(32, COMBO_BACKGROUND))


if __name__ == "__main__":
    main()
