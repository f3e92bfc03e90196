#!/usr/bin/env python3
"""Draws Tovane's program icon (16, 32 and 48 pixels) and its hand cursor.

The icon is a globe (the network) with a small plug-in telephone wave, drawn with
anti-aliased shapes so each size is rendered from the same description, not scaled.
Usage: make_icons.py OUT.ico OUT.cur
"""
import math
import struct
import sys


def blend(dst, src):
    """Porter-Duff 'over' of two RGBA tuples with float channels 0..1."""
    sa = src[3]
    da = dst[3] * (1 - sa)
    a = sa + da
    if a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((src[i] * sa + dst[i] * da) / a for i in range(3)) + (a,)


def render(size, shader, samples=4):
    """Supersamples a shader(x, y, size) -> RGBA or None over the pixel grid."""
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    px = x + (sx + 0.5) / samples
                    py = y + (sy + 0.5) / samples
                    c = shader(px, py, size)
                    w = c[3]
                    acc[0] += c[0] * w
                    acc[1] += c[1] * w
                    acc[2] += c[2] * w
                    acc[3] += w
            n = samples * samples
            a = acc[3] / n
            if acc[3] > 0:
                row.append((acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], a))
            else:
                row.append((0.0, 0.0, 0.0, 0.0))
        pixels.append(row)
    return pixels


NAVY = (0.05, 0.16, 0.45, 1.0)
SEA = (0.16, 0.50, 0.85, 1.0)
LAND = (0.30, 0.72, 0.35, 1.0)
WHITE = (1.0, 1.0, 1.0, 1.0)
AMBER = (1.0, 0.76, 0.10, 1.0)
CLEAR = (0.0, 0.0, 0.0, 0.0)


def globe_shader(px, py, size):
    s = size / 32.0
    cx, cy, r = 13.5 * s, 13.5 * s, 12.0 * s
    dx, dy = px - cx, py - cy
    d = math.hypot(dx, dy)
    c = CLEAR
    if d <= r + 1.0 * s:
        c = NAVY
    if d <= r:
        # Sea with a soft light from the upper left.
        shade = 0.75 + 0.25 * max(0.0, 1 - math.hypot(dx + 4 * s, dy + 4 * s) / r)
        c = (SEA[0] * shade, SEA[1] * shade, SEA[2] * shade, 1.0)
        # Two continents as blobs.
        if math.hypot(dx + 3.5 * s, dy + 3 * s) < 5 * s or math.hypot(dx - 4.5 * s, dy - 4 * s) < 4 * s:
            c = LAND
        # Equator and one meridian; at 16 pixels they would only blur the globe.
        line = 0.7 * s
        if size > 16 and (abs(dy) < line / 2 + 0.2 or abs(math.hypot(dx * 2.2, dy) - r) < line):
            c = blend(c, (1, 1, 1, 0.7))
    # The dial-up wave: three amber arcs at the lower right.
    ax, ay = 24.0 * s, 24.0 * s
    da = math.hypot(px - ax, py - ay)
    ang = math.atan2(py - ay, px - ax)
    if da < 2.6 * s:
        c = blend(c, AMBER)
    for k in (5.0, 8.0):
        if abs(da - k * s) < 1.1 * s and -math.pi < ang < -math.pi / 2:
            c = blend(c, (0.1, 0.1, 0.1, 1.0)) if abs(da - k * s) > 0.75 * s else blend(c, AMBER)
    return c


def bmp_block(pixels):
    """The DIB part of an icon or cursor image: header, 32-bit colours, 1-bit mask."""
    size = len(pixels)
    head = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((round(b * 255), round(g * 255), round(r * 255), round(a * 255)))
    mask = bytearray()
    stride = ((size + 31) // 32) * 4
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 0.5:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return head + bytes(colour) + bytes(mask)


def icon_file(images, kind=1, hotspots=None):
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for i, px in enumerate(images):
        blob = bmp_block(px)
        size = len(px)
        if kind == 1:
            a, b = 1, 32
        else:
            a, b = hotspots[i]
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, a, b, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b"".join(blobs)


HAND = [
    "..........XX....................",
    ".........X..X...................",
    ".........X..X...................",
    ".........X..X...................",
    ".........X..X...................",
    ".........X..XXX.................",
    ".........X..X..XXX..............",
    ".........X..X..X..XX............",
    "......XX.X..X..X..X.X...........",
    "......X..XX.....X...X...........",
    "......X...X.........X...........",
    ".......X............X...........",
    ".......X............X...........",
    "........X...........X...........",
    "........X..........X............",
    ".........X.........X............",
    ".........X........X.............",
    "..........X.......X.............",
    "..........XXXXXXXXX.............",
]


def hand_cursor():
    size = 32
    rows = HAND + ["." * 32] * (size - len(HAND))
    px = []
    for _ in rows:
        px.append([CLEAR] * size)
    # Outline black, interior white: fill between the outermost outline pixels of each row.
    for y, line in enumerate(rows):
        xs = [x for x, ch in enumerate(line) if ch == "X"]
        if not xs:
            continue
        for x in range(xs[0], xs[-1] + 1):
            px[y][x] = WHITE
        for x in xs:
            px[y][x] = (0.0, 0.0, 0.0, 1.0)
    return px


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_icons.py OUT.ico OUT.cur")
    images = [render(n, globe_shader) for n in (16, 32, 48)]
    with open(sys.argv[1], "wb") as f:
        f.write(icon_file(images))
    with open(sys.argv[2], "wb") as f:
        f.write(icon_file([hand_cursor()], kind=2, hotspots=[(10, 0)]))


if __name__ == "__main__":
    main()
