#!/usr/bin/env python3
"""Draws the splitter's icon: a page cut into three shifted pieces.

Writes an .ico with four images, 16x16 and 32x32 pixels, each in 16 colours
(4 bits per pixel) and in 256 colours (8 bits per pixel).
usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# The standard 16-colour palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

# 256 colours: the 16 above, then a 6x6x6 colour cube, then greys.
LEVELS = [0, 51, 102, 153, 204, 255]
PALETTE_256 = VGA + [(r, g, b) for r in LEVELS for g in LEVELS for b in LEVELS]
PALETTE_256 += [(8 + 10 * i,) * 3 for i in range(256 - len(PALETTE_256))]

OUTLINE = (20, 40, 90)
FILLS = [(120, 180, 255), (130, 220, 130), (255, 200, 90)]
LINES = (60, 90, 150)


def pixel(x, y, s):
    """The colour at (x, y) of an s x s picture, or None for transparent."""
    top, bottom = round(s * 0.06), round(s * 0.94)
    gap = max(1, s // 16)
    band = (bottom - top) / 3
    for i in range(3):
        y0 = top + round(i * band)
        y1 = top + round((i + 1) * band) - (gap if i < 2 else 0)
        shift = (s // 10) * (1 if i == 1 else 0)
        x0, x1 = round(s * 0.2) + shift - s // 20, round(s * 0.8) + shift - s // 20
        if y0 <= y < y1 and x0 <= x < x1:
            if x in (x0, x1 - 1) or y in (y0, y1 - 1):
                return OUTLINE
            if s >= 32 and (y - y0) % 3 == 2 and x0 + 3 <= x < x1 - 3 - 4 * (i == 2):
                return LINES
            return FILLS[i]
    return None


def nearest(colour, palette):
    return min(range(len(palette)),
               key=lambda k: sum((a - b) ** 2 for a, b in zip(colour, palette[k])))


def image(s, bits):
    palette = VGA if bits == 4 else PALETTE_256
    rows, mask = [], []
    for y in reversed(range(s)):  # bottom-up
        indices, row_mask = [], 0
        for x in range(s):
            c = pixel(x, y, s)
            indices.append(0 if c is None else nearest(c, palette))
            row_mask = (row_mask << 1) | (1 if c is None else 0)
        if bits == 4:
            data = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, s, 2))
        else:
            data = bytes(indices)
        rows.append(data + b"\0" * (-len(data) % 4))
        m = row_mask.to_bytes(s // 8, "big")
        mask.append(m + b"\0" * (-len(m) % 4))
    header = struct.pack("<IiiHHIIiiII", 40, s, 2 * s, 1, bits, 0, 0, 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + b"".join(rows) + b"".join(mask)


def main():
    formats = [(16, 4), (32, 4), (16, 8), (32, 8)]
    images = [image(s, bits) for s, bits in formats]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (s, bits), data in zip(formats, images):
        out += struct.pack("<BBBBHHII", s, s, 16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
