#!/usr/bin/env python3
"""Draws one of Morsela's icons at every size Windows shows one and writes
them as a .ico file.

    make_icon.py splitter|restore OUT.ico [--png-only] [--preview DIR]

Each size is drawn for itself from simple geometry whose edges fall on
whole pixels at that size (only the slanted edges of a folded corner or an
arrow's head are shaded), so nothing is a scaled copy of another size and
every size is crisp: 16, 20, 24 and 32 pixels (the small icons at 100 to
200 %), 40, 48 and 64 (the large ones) and 256 (Explorer's big views).

Images up to 64 pixels are stored as 32-bit bitmaps with their AND mask,
the 256-pixel one as PNG, as Windows Vista and later read them. --png-only
stores every size as PNG: the restore program is written beside every
piece set and keeps its icon small that way. --preview writes each size as
a PNG file into DIR, for looking at them.

Pure Python (zlib and struct), so the build needs nothing more."""
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)

OUTLINE = (28, 44, 84, 255)
FILLS = [(92, 156, 236, 255), (96, 196, 112, 255), (246, 178, 66, 255)]
LINES = [(44, 92, 170, 255), (40, 128, 60, 255), (178, 110, 20, 255)]
FOLD = (214, 222, 236, 255)
ARROW = (36, 140, 64, 255)


class Canvas:
    """RGBA pixels, painted over with shapes that cover each pixel by a
    fraction (straight edges exactly, slanted ones by 4x4 samples)."""

    def __init__(self, size):
        self.size = size
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def _over(self, x, y, colour, coverage):
        if coverage <= 0:
            return
        r, g, b, a = colour
        a = a / 255 * min(coverage, 1.0)
        dr, dg, db, da = self.px[y][x]
        out = a + da * (1 - a)
        if out == 0:
            return
        mix = lambda s, d: (s * a + d * da * (1 - a)) / out
        self.px[y][x] = (mix(r, dr), mix(g, dg), mix(b, db), out)

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(0, int(y0)), min(self.size, int(y1 + 0.999))):
            cy = min(y + 1, y1) - max(y, y0)
            for x in range(max(0, int(x0)), min(self.size, int(x1 + 0.999))):
                self._over(x, y, colour, cy * (min(x + 1, x1) - max(x, x0)))

    def frame(self, x0, y0, x1, y1, width, fill, outline=OUTLINE):
        self.rect(x0, y0, x1, y1, outline)
        self.rect(x0 + width, y0 + width, x1 - width, y1 - width, fill)

    def polygon(self, points, colour):
        """A convex polygon, its points clockwise on the screen."""
        if not points:
            return
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        edges = list(zip(points, points[1:] + points[:1]))
        inside = lambda x, y: all((bx - ax) * (y - ay) - (by - ay) * (x - ax) >= 0
                                  for (ax, ay), (bx, by) in edges)
        for y in range(max(0, int(min(ys))), min(self.size, int(max(ys) + 0.999))):
            for x in range(max(0, int(min(xs))), min(self.size, int(max(xs) + 0.999))):
                hits = sum(inside(x + (i + 0.5) / 4, y + (j + 0.5) / 4) for i in range(4) for j in range(4))
                self._over(x, y, colour, hits / 16)

    def rgba(self):
        return [[tuple(int(round(c)) for c in (r, g, b)) + (int(round(a * 255)),)
                 for (r, g, b, a) in row] for row in self.px]


def stroke(s):
    """The outline's width: one pixel up to 40, then about s / 32."""
    return max(1, round(s / 32)) if s > 40 else 1


def bands(top, bottom, gap, count=3):
    """`count` bands from top to bottom with `gap` pixels between them,
    their heights differing by at most one pixel."""
    inner = bottom - top - gap * (count - 1)
    out, y = [], top
    for i in range(count):
        h = inner * (i + 1) // count - inner * i // count
        out.append((y, y + h))
        y += h + gap
    return out


def text_lines(c, x0, y0, x1, y1, s, colour):
    """Lines of text inside a band, where the size leaves room for them."""
    t = max(1, round(s / 40))
    margin = max(1, round(s / 24))
    y = y0 + margin
    while y + t <= y1 - margin:
        c.rect(x0 + margin, y, x1 - margin, y + t, colour)
        y += 2 * t + (1 if s < 48 else t)


def page(c, x0, y0, x1, y1, w, fold, fills, s):
    """A page with its top right corner folded, `fills` its colours in
    bands from the top (joined without a gap), with lines of text."""
    slant = w * 0.4142  # an outline of width w across the 45-degree edge
    c.polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)], OUTLINE)
    inner = [(x0 + w, y0 + w), (x1 - fold - slant, y0 + w), (x1 - w, y0 + fold + slant), (x1 - w, y1 - w),
             (x0 + w, y1 - w)]
    for i, (r0, r1) in enumerate(bands(y0 + w, y1 - w, 0, len(fills))):
        c.polygon(clip_rows(inner, r0, r1), fills[i])
        if s >= 24:
            text_lines(c, x0 + w, r0, x1 - fold if i == 0 else x1 - w, r1, s, LINES[FILLS.index(fills[i])])
    c.polygon([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)], OUTLINE)
    if fold - 2 * w - slant > 1:
        c.polygon([(x1 - fold + w, y0 + w + 2 * slant), (x1 - w - 2 * slant, y0 + fold - w),
                   (x1 - fold + w, y0 + fold - w)], FOLD)


def splitter(s):
    """A page cut into three pieces, the middle one pushed aside."""
    c = Canvas(s)
    w = stroke(s)
    m = max(1, round(s * 0.06))
    gap = max(1, round(s / 16))
    shift = max(2, round(s * 0.14))
    left, width = max(1, round(s * 0.10)), round(s * 0.66)
    for i, (y0, y1) in enumerate(bands(m, s - m, gap)):
        x0 = left + (shift if i == 1 else 0)
        if i == 0 and s >= 20:
            page(c, x0, y0, x0 + width, y1, w, max(3, round((y1 - y0) * 0.6)), [FILLS[0]], s)
            continue
        c.frame(x0, y0, x0 + width, y1, w, FILLS[i])
        if s >= 24:
            text_lines(c, x0 + w, y0 + w, x0 + width - w, y1 - w, s, LINES[i])
    return c


def restore(s):
    """Three pieces on the left, an arrow, and the whole page they make on
    the right, its corner folded."""
    c = Canvas(s)
    w = stroke(s)
    m = max(1, round(s * 0.06))
    gap = max(1, round(s / 16))
    # The pieces.
    px0, px1 = 0, max(4, round(s * 0.27))
    pieces = bands(m + gap, s - m - gap, gap)
    for i, (y0, y1) in enumerate(pieces):
        c.frame(px0, y0, px1, y1, w, FILLS[i])
        if s >= 32:
            text_lines(c, px0 + w, y0 + w, px1 - w, y1 - w, s, LINES[i])
    # The whole page: the three colours joined.
    x0, x1, y0, y1 = max(px1 + 3, round(s * 0.45)), s - max(1, round(s * 0.03)), m, s - m
    page(c, x0, y0, x1, y1, w, max(3, round((x1 - x0) * 0.32)), FILLS, s)
    # The arrow from the pieces to the page, level with the middle piece.
    b0, b1 = pieces[1]
    if s < 48:
        # Whole pixels: a head of columns one pixel shorter at each end
        # than the last, and the shaft before it.
        a0, a1 = px1 + 1, x0 - 1
        columns = min((b1 - b0 + 1) // 2, a1 - a0)
        q = (b1 - b0) // 3
        c.rect(a0, b0 + q, a1 - columns, b1 - q, ARROW)
        for k in range(columns):
            c.rect(a1 - columns + k, b0 + k, a1 - columns + k + 1, b1 - k, ARROW)
    else:
        a0, a1 = px1 + s * 0.02, x0 - s * 0.02
        mid, half = (b0 + b1) / 2, (b1 - b0) / 2 + w
        head = round((a1 - a0) * 0.55)
        shaft = round((b1 - b0) / 6)
        c.rect(round(a0), round(mid) - shaft, round(a1 - head) + 1, round(mid) + shaft, ARROW)
        c.polygon([(a1 - head, mid - half), (a1, mid), (a1 - head, mid + half)], ARROW)
    return c


def clip_rows(points, top, bottom):
    """The part of a convex polygon between two rows (Sutherland-Hodgman)."""
    def cut(pts, keep, y_of):
        out = []
        for i, p in enumerate(pts):
            q = pts[(i + 1) % len(pts)]
            if keep(p):
                out.append(p)
            if keep(p) != keep(q):
                t = (y_of - p[1]) / (q[1] - p[1])
                out.append((p[0] + t * (q[0] - p[0]), y_of))
        return out
    pts = cut(points, lambda p: p[1] >= top, top)
    return cut(pts, lambda p: p[1] <= bottom, bottom) if pts else []


DESIGNS = {"splitter": splitter, "restore": restore}


def png(rgba):
    """A PNG file of 8-bit RGBA, the form Windows' icon loader reads in
    every version that reads PNG icons."""
    size = len(rgba)
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rgba)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def bitmap(rgba):
    """A 32-bit icon bitmap: the header (twice the height, for the mask),
    the pixels bottom-up in BGRA, then the AND mask of transparent pixels."""
    size = len(rgba)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rgba) for (r, g, b, a) in row)
    mask = b""
    for row in reversed(rgba):
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p[3] == 0 else 0)
        line = bits.to_bytes((size + 7) // 8, "big")
        mask += line + b"\0" * (-len(line) % 4)
    return header + pixels + mask


def write_icon(design, path, png_only=False, preview=None):
    images = []
    for size in SIZES:
        rgba = design(size).rgba()
        encoded = png(rgba)
        if preview:
            with open("%s/%d.png" % (preview, size), "wb") as f:
                f.write(encoded)
        images.append((size, encoded if png_only or size == 256 else bitmap(rgba)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    args = sys.argv[1:]
    preview = None
    if "--preview" in args:
        at = args.index("--preview")
        preview = args[at + 1]
        del args[at:at + 2]
    png_only = "--png-only" in args
    args = [a for a in args if a != "--png-only"]
    if len(args) != 2 or args[0] not in DESIGNS:
        sys.exit("usage: make_icon.py {%s} OUT.ico [--png-only] [--preview DIR]" % ",".join(DESIGNS))
    write_icon(DESIGNS[args[0]], args[1], png_only, preview)
