#!/usr/bin/env python3
"""Draws the toolbar and drive chooser icons and writes them into res/icons/.

Each icon is one 32 x 32 image in 256 colours with a transparency mask.
Pictures are unions of simple shapes given as signed distances (negative
inside), painted back to front; every pixel is sampled 4 x 4 times so that
edges between shapes are smoothed, and a pixel is opaque when at least half
of its samples hit a shape. Needs nothing but Python 3.

Usage: scripts/make-toolbar-icons.py [output folder]
"""
import math
import os
import struct
import sys

SIZE = 32
SUB = 4  # samples per pixel along each axis


# Shapes: functions (x, y) -> signed distance in pixels.

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def _segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def capsule(ax, ay, bx, by, r):
    """A thick line with round ends."""
    return lambda x, y: _segment_distance(x, y, ax, ay, bx, by) - r


def polygon(points):
    def sd(x, y):
        d = min(_segment_distance(x, y, *points[i], *points[(i + 1) % len(points)]) for i in range(len(points)))
        inside = False
        for i in range(len(points)):
            (x1, y1), (x2, y2) = points[i], points[(i + 1) % len(points)]
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                inside = not inside
        return -d if inside else d
    return sd


def rect(x0, y0, x1, y1):
    return polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


def arc(cx, cy, r, start, end, width, steps=24):
    """A thick circular arc from angle start to end (degrees, clockwise on screen)."""
    pts = []
    for i in range(steps + 1):
        a = math.radians(start + (end - start) * i / steps)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    parts = [capsule(*pts[i], *pts[i + 1], width / 2) for i in range(steps)]
    return union(*parts)


def arrow_head(tip, back, half_width):
    """A triangle pointing at tip, its base centred on back."""
    (tx, ty), (bx, by) = tip, back
    dx, dy = tx - bx, ty - by
    n = math.hypot(dx, dy)
    px, py = -dy / n * half_width, dx / n * half_width
    return polygon([(tx, ty), (bx + px, by + py), (bx - px, by - py)])


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def grow(shape, d):
    return lambda x, y: shape(x, y) - d


def outlined(shape, fill, edge, width=1.2):
    """Layers for a shape with a dark outline around it."""
    return [(grow(shape, width), edge), (shape, fill)]


# The pictures, as layers of (shape, colour) from back to front.

def icon_open():
    back = polygon([(2, 8), (12, 8), (14, 11), (28, 11), (28, 26), (2, 26)])
    front = polygon([(2, 26), (6, 15), (31, 15), (27, 26)])
    plus = union(rect(20, 17, 24, 31), rect(15, 22, 29, 26))
    return (outlined(back, (214, 168, 40), (110, 80, 10))
            + outlined(front, (252, 214, 72), (110, 80, 10))
            + outlined(plus, (40, 170, 50), (10, 70, 15)))


def icon_back():
    # A shaft that comes from the lower right, turns over the top and ends
    # in a head pointing left.
    shaft = union(arc(17, 16, 8, 90, -90, 5), capsule(17, 24, 27, 24, 2.5), capsule(17, 8, 12, 8, 2.5))
    head = arrow_head((2, 8), (12, 8), 7)
    shape = union(shaft, head)
    return outlined(shape, (50, 110, 230), (10, 30, 100))


def icon_go():
    # Two arrows along one circle, each turning clockwise after the other.
    layers = []
    for turn in (0, 180):
        body = arc(16, 16, 10, turn + 200, turn + 330, 5)
        a = math.radians(turn + 330)
        b = math.radians(turn + 345)
        tip_a = math.radians(turn + 360)
        back = (16 + 10 * math.cos(b), 16 + 10 * math.sin(b))
        tip = (16 + 10.5 * math.cos(tip_a), 16 + 10.5 * math.sin(tip_a))
        start = (16 + 10 * math.cos(a), 16 + 10 * math.sin(a))
        shape = union(body, capsule(*start, *back, 2.5), arrow_head(tip, back, 6))
        layers += outlined(shape, (40, 180, 60), (10, 80, 20))
    return layers


def icon_stop():
    cross = union(capsule(7, 7, 25, 25, 3.6), capsule(25, 7, 7, 25, 3.6))
    return outlined(cross, (220, 30, 30), (110, 0, 0))


def icon_drive_go():
    button = circle(16, 16, 14)
    shine = circle(13, 11, 7)
    triangle = polygon([(12, 8), (24, 16), (12, 24)])
    return (outlined(button, (40, 160, 60), (10, 70, 20))
            + [(shine, (90, 200, 100)), (triangle, (255, 255, 255))])


ICONS = {
    "open.ico": icon_open,
    "back.ico": icon_back,
    "go.ico": icon_go,
    "stop.ico": icon_stop,
    "drivego.ico": icon_drive_go,
}


def render(layers):
    """Rows of (r, g, b) or None for transparent pixels, top row first."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            hits, total = 0, [0, 0, 0]
            for sy in range(SUB):
                for sx in range(SUB):
                    x, y = px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB
                    colour = None
                    for shape, c in layers:
                        if shape(x, y) <= 0:
                            colour = c
                    if colour is not None:
                        hits += 1
                        for k in range(3):
                            total[k] += colour[k]
            if hits * 2 >= SUB * SUB:
                row.append(tuple(round(t / hits) for t in total))
            else:
                row.append(None)
        rows.append(row)
    return rows


def palette_of(rows):
    """At most 255 colours (index 0 is black for the transparent pixels)."""
    shift = 0
    while True:
        def q(c):
            return tuple((v >> shift) << shift for v in c)
        colours = sorted({q(c) for row in rows for c in row if c is not None})
        if len(colours) <= 255:
            return [(0, 0, 0)] + colours, q
        shift += 1


def ico_bytes(rows):
    palette, q = palette_of(rows)
    index = {c: i for i, c in enumerate(palette) if i > 0}
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bitmaps run bottom-up
        bits = 0
        for x, c in enumerate(row):
            xor.append(0 if c is None else index[q(c)])
            if c is None:
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    colours = bytearray()
    for i in range(256):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        colours += bytes((b, g, r, 0))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    image = header + colours + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 22)
    return directory + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "icons")
    os.makedirs(out, exist_ok=True)
    for name, picture in ICONS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(ico_bytes(render(picture())))
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
