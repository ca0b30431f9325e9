#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files into res/icons/.

Each icon is one 32 x 32 image with a palette (16 or 256 colours) and a
transparency mask. An icon is a function that draws on a Canvas; add one to
ICONS to make another file. Needs nothing but Python 3.

Usage: scripts/make-icons.py [output folder]
"""
import os
import struct
import sys

SIZE = 32

# The 16 colours of the classic palette, as (red, green, blue).
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN = 0, 9, 10, 11, 12, 13, 14


class Canvas:
    """Palette indices, None for a transparent pixel; (0, 0) is top left."""

    def __init__(self, palette):
        self.palette = list(palette)
        self.pixels = [[None] * SIZE for _ in range(SIZE)]

    def colour(self, rgb):
        """The palette index of a colour, adding it if there is room (256 at most)."""
        if rgb in self.palette:
            return self.palette.index(rgb)
        if len(self.palette) >= 256:
            raise ValueError("palette full")
        self.palette.append(rgb)
        return len(self.palette) - 1

    def put(self, x, y, index):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.pixels[y][x] = index

    def fill(self, left, top, right, bottom, index):
        """Fills columns left..right-1 and rows top..bottom-1."""
        for y in range(top, bottom):
            for x in range(left, right):
                self.put(x, y, index)

    def box(self, left, top, right, bottom, fill, border=BLACK):
        """A filled rectangle with a one-pixel border, like GDI's Rectangle."""
        self.fill(left, top, right, bottom, border)
        self.fill(left + 1, top + 1, right - 1, bottom - 1, fill)


def ico_bytes(canvas):
    """One image of 32 x 32: BITMAPINFOHEADER, palette, colour bits, mask."""
    colours = 16 if len(canvas.palette) <= 16 else 256
    bpp = 4 if colours == 16 else 8
    palette = canvas.palette + [(0, 0, 0)] * (colours - len(canvas.palette))
    row_bytes = (SIZE * bpp + 31) // 32 * 4
    mask_row_bytes = (SIZE + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = canvas.pixels[y]
        bits = bytearray(row_bytes)
        mbits = bytearray(mask_row_bytes)
        for x, index in enumerate(row):
            if index is None:
                mbits[x // 8] |= 0x80 >> (x % 8)
                index = 0
            if bpp == 4:
                bits[x // 2] |= index << (4 if x % 2 == 0 else 0)
            else:
                bits[x] = index
        xor += bits
        mask += mbits
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bpp, 0, len(xor) + len(mask), 0, 0,
                         colours, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    image = header + table + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0 if colours == 256 else colours, 0, 1, bpp, len(image),
                        6 + 16)
    return directory + entry + image


def draw_app(c):
    """The folder bar in small: five coloured segments with black borders."""
    widths = [9, 7, 5, 4, 3]
    fills = [RED, BLUE, GREEN, YELLOW, MAGENTA]
    x = 0
    for width, fill in zip(widths, fills):
        c.box(x, 9, x + width, 23, fill)
        x += width + 1


ICONS = {
    "app.ico": (draw_app, PALETTE16),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "icons")
    os.makedirs(out, exist_ok=True)
    for name, (draw, palette) in ICONS.items():
        canvas = Canvas(palette)
        draw(canvas)
        with open(os.path.join(out, name), "wb") as f:
            f.write(ico_bytes(canvas))


if __name__ == "__main__":
    main()
