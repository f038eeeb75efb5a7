#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

Usage: make_icon.py OUTPUT.ico

The picture is the demonstration game's own: its dark blue screen as a rounded tile and, on it, a
yellow star with a smiling face in the yellow of the game's figures. Every size is drawn from the
same shapes with 4 x 4 samples a pixel, so the edges are smooth at 16 pixels as at 48; the smallest
size leaves out the face, which would be a smudge there. Each image is a 32-bit bottom-up DIB with
its alpha and the 1-bit mask that Windows XP and earlier draw with.
"""

import math
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4  # per pixel in each direction

TILE = (0x1C, 0x2B, 0x4A)  # the game's background
RIM = (0x3A, 0x5A, 0x9A)  # its buttons
STAR = (0xFF, 0xE0, 0x66)  # its figures
FACE = (0x5A, 0x3A, 0x10)


def in_rounded_square(x, y, inset, radius):
    """x, y and every length in units of the icon's side."""
    lo, hi = inset + radius, 1 - inset - radius
    dx = max(lo - x, 0, x - hi)
    dy = max(lo - y, 0, y - hi)
    return dx * dx + dy * dy <= radius * radius


def star(cx, cy, outer, inner):
    """The corners of a five-pointed star with a point at the top."""
    return [((outer if i % 2 == 0 else inner) * math.sin(i * math.pi / 5) + cx,
             cy - (outer if i % 2 == 0 else inner) * math.cos(i * math.pi / 5)) for i in range(10)]


def inside(x, y, polygon):
    """Even-odd rule: a ray to the right crosses the edges an odd number of times."""
    odd = False
    for (x1, y1), (x2, y2) in zip(polygon, polygon[1:] + polygon[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            odd = not odd
    return odd


CENTRE = (0.5, 0.54)  # of the star, a little low so that it sits on the tile
STAR_CORNERS = star(*CENTRE, 0.44, 0.2)


def in_face(x, y, cx, cy):
    """Two eyes and a smile around the face's centre."""
    eye = 0.045
    for ex in (cx - 0.075, cx + 0.075):
        if (x - ex) ** 2 + (y - (cy - 0.03)) ** 2 <= eye * eye:
            return True
    # The smile: a band of a circle's lower half.
    d = math.hypot(x - cx, y - cy)
    return y > cy + 0.04 and 0.105 <= d <= 0.155 and abs(x - cx) < 0.12


def colour_at(x, y, size):
    """(r, g, b, a) of one sample."""
    if not in_rounded_square(x, y, 0.02, 0.18):
        return (0, 0, 0, 0)
    if inside(x, y, STAR_CORNERS):
        if size >= 32 and in_face(x, y, CENTRE[0], CENTRE[1] + 0.02):
            return FACE + (255,)
        return STAR + (255,)
    if not in_rounded_square(x, y, 0.02 + 1.2 / size, 0.16):
        return RIM + (255,)
    return TILE + (255,)


def draw(size):
    """Rows top-down of (b, g, r, a): the samples' colours weighted by their cover, and the cover."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                  (py + (sy + 0.5) / SAMPLES) / size, size)
                    r, g, b, a = r + c[0] * c[3], g + c[1] * c[3], b + c[2] * c[3], a + c[3]
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(b / a), round(g / a), round(r / a), round(a / n)))
        rows.append(row)
    return rows


def dib(size):
    """The icon image: header, XOR pixels and AND mask, both bottom-up."""
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(c for px in row for c in px) for row in reversed(rows))
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    images = [dib(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
