#!/usr/bin/env python3
"""Draws one of Morsela's icons and writes it as a .ico file holding four
images: 16x16 and 32x32 pixels, each in 16 colours (4 bits per pixel) and in
256 colours (8 bits per pixel).

    make_icon.py splitter|restore OUT.ico

Each picture is one function from a pixel to its colour (None where the icon
is transparent), so both sizes come from one description."""
import struct
import sys

# The standard 16-colour palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def splitter_picture(x, y, s, rich):
    """The splitter: a page cut into three shifted pieces."""
    outline, lines = (20, 40, 90), (60, 90, 150)
    fills = [(120, 180, 255), (130, 220, 130), (255, 200, 90)]
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
                return outline
            if s >= 32 and (y - y0) % 3 == 2 and x0 + 3 <= x < x1 - 3 - 4 * (i == 2):
                return lines
            return fills[i]
    return None


def restore_picture(px, py, s, rich):
    """The restore program: three pieces of a page slide together into one
    whole page, with an arrow pointing at it. Drawn on a 32-unit grid."""
    scale = 32 // s
    x, y = px * scale + scale // 2, py * scale + scale // 2
    # The whole page, right half, with a folded corner.
    if 14 <= x <= 29 and 3 <= y <= 29:
        if x >= 25 and y <= 7 and (x - 25) > (y - 3):
            return None
        edge = x in (14, 29) or y in (3, 29) or (x >= 25 and y <= 7 and (x - 25) == (y - 3))
        if edge:
            return (0, 0, 0)
        if 17 <= x <= 26 and y in (11, 15, 19, 23):
            return (0, 0, 128) if not rich else (40, 70, 160)
        return (255, 255, 255) if not rich else (250, 250, 240 - (y * 2))
    # Three pieces on the left, stacked with gaps.
    for top in (4, 13, 22):
        if 1 <= x <= 9 and top <= y <= top + 6:
            if x in (1, 9) or y in (top, top + 6):
                return (0, 0, 0)
            if not rich:
                return (192, 192, 192)
            return (170 + x * 6, 190 + (y - top) * 6, 230)
    # The arrow from the pieces to the page.
    if 10 <= x <= 13 and 14 <= y <= 18:
        if y == 16 or (x - 10) >= abs(y - 16) * 2 - 1 and x >= 12:
            return (0, 128, 0) if not rich else (30, 160, 60)
    return None


DESIGNS = {"splitter": splitter_picture, "restore": restore_picture}


def render(design, size, rich):
    return [[design(x, y, size, rich) for x in range(size)] for y in range(size)]


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))


def bitmap(design, size, bits):
    rows = render(design, size, rich=(bits == 8))
    if bits == 4:
        palette = list(VGA)
    else:
        palette = []
        for row in rows:
            for c in row:
                if c is not None and c not in palette:
                    palette.append(c)
        palette = palette[:256]
        palette += [(0, 0, 0)] * (256 - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    xor = b""
    mask = b""
    for row in reversed(rows):  # bottom-up
        indices = [0 if c is None else nearest(palette, c) for c in row]
        if bits == 4:
            line = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        else:
            line = bytes(indices)
        xor += line + b"\0" * (-len(line) % 4)
        maskbits = 0
        for c in row:
            maskbits = (maskbits << 1) | (1 if c is None else 0)
        mline = maskbits.to_bytes(size // 8, "big")
        mask += mline + b"\0" * (-len(mline) % 4)
    return header + colours + xor + mask


def write_icon(design, path):
    images = [(size, bits, bitmap(design, size, bits)) for size in (16, 32) for bits in (4, 8)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in DESIGNS:
        sys.exit("usage: make_icon.py {%s} OUT.ico" % ",".join(DESIGNS))
    write_icon(DESIGNS[sys.argv[1]], sys.argv[2])
