#!/usr/bin/env python3
"""Draws Grevlin's pictures: a blue shield under a magnifying glass.

Writes res/grevlin.ico (one 32 x 32 image, 256-colour palette, with a
transparency mask) and res/about.bmp (64 x 64, 256-colour palette, on the
3D-face grey that LoadImage's LR_LOADMAP3DCOLORS turns into the window's
own button-face colour). Only the standard library is used, and the output
is the same byte for byte on every run, so the files can be checked against
this script with --check.

    scripts/draw-icon.py                 write the two files into res/
    scripts/draw-icon.py --check         exit 1 when res/ differs from the drawing
    scripts/draw-icon.py --preview DIR   also write enlarged PNG previews into DIR
"""

import argparse
import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4
FACE_GREY = (192, 192, 192)
# Greys that LR_LOADMAP3DCOLORS would remap besides the face grey.
REMAPPED_GREYS = {(128, 128, 128), (223, 223, 223)}

NAVY = (18, 36, 92)
RIM_LIGHT = (240, 243, 250)
RIM_DARK = (168, 178, 200)
FIELD_TOP = (86, 148, 232)
FIELD_BOTTOM = (22, 62, 150)
RING = (44, 44, 52)
RING_LIGHT = (150, 150, 162)
GLASS = (225, 242, 255)
HANDLE = (104, 58, 22)
HANDLE_LIGHT = (176, 112, 56)
HIGHLIGHT = (255, 255, 255)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# ---- Shapes, in a unit square with y growing downwards ----------------------

SHIELD_CX = 0.43
SHIELD_TOP = 0.05
SHIELD_DIP = 0.05
SHIELD_HALF = 0.37
SHIELD_SHOULDER = 0.46
SHIELD_BOTTOM = 0.95


def in_shield(x, y, inset):
    half = SHIELD_HALF - inset
    if half <= 0:
        return False
    d = abs(x - SHIELD_CX) / half
    if d > 1:
        return False
    top = SHIELD_TOP + inset + SHIELD_DIP * (1 - d * d)
    bottom = SHIELD_BOTTOM - inset * 1.6
    if y < top or y > bottom:
        return False
    if y <= SHIELD_SHOULDER:
        return True
    t = (y - SHIELD_SHOULDER) / (bottom - SHIELD_SHOULDER)
    return d <= (1 - t * t) ** 0.7


LENS_X = 0.60
LENS_Y = 0.56
LENS_OUTER = 0.245
LENS_INNER = 0.180
HANDLE_END = 0.95
HANDLE_HALF = 0.062


def lens_distance(x, y):
    return math.hypot(x - LENS_X, y - LENS_Y)


def handle_coordinates(x, y):
    """Distance along the handle's axis (down and to the right) and across it."""
    ax = ay = 1 / math.sqrt(2)
    dx, dy = x - LENS_X, y - LENS_Y
    return dx * ax + dy * ay, -dx * ay + dy * ax


def sample(x, y, background):
    """Colour at one point of the drawing, or None where nothing is drawn."""
    colour = background
    if in_shield(x, y, 0.0):
        colour = NAVY
        if in_shield(x, y, 0.035):
            colour = mix(RIM_LIGHT, RIM_DARK, min(1, max(0, (x - 0.1) / 0.7)))
            if in_shield(x, y, 0.075):
                t = min(1, max(0, (y - SHIELD_TOP) / (SHIELD_BOTTOM - SHIELD_TOP)))
                colour = mix(FIELD_TOP, FIELD_BOTTOM, t)
                if x > SHIELD_CX:
                    # The right half lies in shade, as if lit from the upper left.
                    colour = mix(colour, (0, 0, 0), 0.22)

    along, across = handle_coordinates(x, y)
    end = (HANDLE_END - LENS_X) * math.sqrt(2)
    if LENS_OUTER * 0.9 <= along <= end and abs(across) <= HANDLE_HALF:
        colour = HANDLE_LIGHT if across < -HANDLE_HALF * 0.2 else HANDLE
        if along > end - 0.03:
            colour = mix(colour, (0, 0, 0), 0.35)

    r = lens_distance(x, y)
    if r <= LENS_OUTER:
        if r > LENS_INNER:
            # The ring catches the light on its upper-left side.
            light = (LENS_X - x) + (LENS_Y - y)
            colour = RING_LIGHT if light > 0.13 and r > (LENS_INNER + LENS_OUTER) / 2 else RING
        else:
            base = colour if colour is not None else GLASS
            colour = mix(base, GLASS, 0.62)
            # A curved glint in the glass.
            gx, gy = x - (LENS_X - 0.06), y - (LENS_Y - 0.06)
            g = math.hypot(gx, gy)
            if 0.07 <= g <= 0.10 and gx < -0.02 and gy < -0.02:
                colour = HIGHLIGHT
    return colour


def render(size, background):
    """Pixels of the drawing at size x size: rows of (r, g, b) or None."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    c = sample(x, y, background)
                    if c is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += c[i]
            if covered * 2 < n * n:
                row.append(None)
            else:
                row.append(tuple(int(round(v / covered)) for v in total))
        rows.append(row)
    return rows


# ---- 256-colour palette ------------------------------------------------------

def median_cut(counts, wanted):
    """Reduces a colour histogram to at most `wanted` representative colours."""
    boxes = [sorted(counts.items())]
    while len(boxes) < wanted:
        best, best_range, best_channel = None, 0, 0
        for index, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for channel in range(3):
                values = [c[channel] for c, _ in box]
                spread = max(values) - min(values)
                if spread > best_range:
                    best, best_range, best_channel = index, spread, channel
        if best is None:
            break
        box = sorted(boxes[best], key=lambda item: (item[0][best_channel], item[0]))
        half = sum(count for _, count in box) / 2
        running, cut = 0, 1
        for i, (_, count) in enumerate(box[:-1]):
            running += count
            cut = i + 1
            if running >= half:
                break
        boxes[best:best + 1] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        weight = sum(count for _, count in box)
        palette.append(tuple(int(round(sum(c[i] * count for c, count in box) / weight))
                             for i in range(3)))
    return palette


def build_palette(rows, reserved):
    counts = {}
    for row in rows:
        for c in row:
            if c is not None and c not in reserved:
                counts[c] = counts.get(c, 0) + 1
    free = 256 - len(reserved)
    colours = sorted(counts) if len(counts) <= free else median_cut(counts, free)
    palette = list(reserved)
    for c in colours:
        if c in REMAPPED_GREYS:
            c = (c[0] + 1, c[1] + 1, c[2] + 1)
        if c not in palette:
            palette.append(c)
    while len(palette) < 256:
        palette.append((0, 0, 0))
    return palette


def index_pixels(rows, palette, transparent_index):
    cache = {}

    def nearest(c):
        if c not in cache:
            cache[c] = min(range(len(palette)),
                           key=lambda i: (sum((palette[i][k] - c[k]) ** 2 for k in range(3)), i))
        return cache[c]

    return [[transparent_index if c is None else nearest(c) for c in row] for row in rows]


# ---- File formats ------------------------------------------------------------

def bitmap_info_header(width, height, image_size):
    # BITMAPINFOHEADER: 8 bits per pixel, uncompressed, all 256 colours used.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, image_size, 0, 0, 256, 0)


def palette_bytes(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)


def pixel_rows_bottom_up(indices):
    out = bytearray()
    for row in reversed(indices):
        line = bytes(row)
        out += line + b"\0" * (-len(line) % 4)
    return bytes(out)


def mask_rows_bottom_up(rows):
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray((len(row) + 7) // 8)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits + b"\0" * (-len(bits) % 4)
    return bytes(out)


def make_icon(size=32):
    rows = render(size, None)
    palette = build_palette(rows, [(0, 0, 0)])
    # Transparent pixels must be black so that the AND/XOR pair leaves the screen alone.
    indices = index_pixels(rows, palette, 0)
    xor = pixel_rows_bottom_up(indices)
    mask = mask_rows_bottom_up(rows)
    image = bitmap_info_header(size, size * 2, len(xor) + len(mask)) + palette_bytes(palette) + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    # Width, height, colour count (0 means 256), reserved, planes, bits, size, offset.
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image, rows


def make_bitmap(size=64):
    rows = render(size, FACE_GREY)
    palette = build_palette(rows, [FACE_GREY])
    indices = index_pixels(rows, palette, 0)
    pixels = pixel_rows_bottom_up(indices)
    info = bitmap_info_header(size, size, len(pixels)) + palette_bytes(palette)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + pixels, rows


def png_preview(rows, scale):
    """An enlarged PNG of the drawing, transparent parts as a checkerboard."""
    height, width = len(rows) * scale, len(rows[0]) * scale
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            c = rows[y // scale][x // scale]
            if c is None:
                c = (255, 255, 255) if ((x // 8) + (y // 8)) % 2 else (200, 200, 200)
            raw += bytes(c)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Draws Grevlin's icon and About picture.")
    parser.add_argument("--out", default=os.path.join(root, "res"), help="folder for the two files")
    parser.add_argument("--check", action="store_true",
                        help="compare with the files in the folder instead of writing them")
    parser.add_argument("--preview", metavar="DIR", help="also write enlarged PNG previews here")
    args = parser.parse_args()

    icon, icon_rows = make_icon()
    bitmap, bitmap_rows = make_bitmap()
    outputs = {"grevlin.ico": icon, "about.bmp": bitmap}

    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for name, rows, scale in (("grevlin-ico.png", icon_rows, 8), ("about-bmp.png", bitmap_rows, 4)):
            with open(os.path.join(args.preview, name), "wb") as f:
                f.write(png_preview(rows, scale))

    if args.check:
        stale = []
        for name, data in outputs.items():
            path = os.path.join(args.out, name)
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                stale.append(path)
        for path in stale:
            print(f"{path} does not match the drawing; run scripts/draw-icon.py", file=sys.stderr)
        return 1 if stale else 0

    os.makedirs(args.out, exist_ok=True)
    for name, data in outputs.items():
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
