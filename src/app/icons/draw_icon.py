#!/usr/bin/env python3
"""Draws the application icon (icon.ico) from scratch: a rounded teal square with
three white voice bars. Standard library only; run it again after changing the shape.

    python3 draw_icon.py [output.ico]
"""
import math
import struct
import sys

SIZES = (16, 24, 32, 48, 64)
SAMPLES = 4  # supersampling per axis, for smooth edges

TOP = (0x2b, 0xc4, 0xb0)     # teal
BOTTOM = (0x1f, 0x6f, 0xd6)  # blue
BARS = ((0.30, 0.34), (0.50, 0.58), (0.70, 0.42))  # (centre x, height) in units of the icon


def rounded_rect(x, y, x0, y0, x1, y1, r):
    """True when (x, y) lies inside the rectangle with corners rounded by r."""
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def coverage(x, y):
    """(background, bar) membership of one point in unit coordinates."""
    inside = rounded_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.22)
    if not inside:
        return False, False
    for cx, height in BARS:
        half_w = 0.065
        y0 = 0.5 - height / 2
        y1 = 0.5 + height / 2
        if rounded_rect(x, y, cx - half_w, y0, cx + half_w, y1, half_w):
            return True, True
    return True, False


def render(size):
    """Rows of (b, g, r, a) from top to bottom."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            back = bar = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    inside, on_bar = coverage(x, y)
                    back += inside
                    bar += on_bar
            n = SAMPLES * SAMPLES
            alpha = back / n
            if alpha == 0:
                row.append((0, 0, 0, 0))
                continue
            t = py / max(size - 1, 1)
            base = [TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3)]
            white = bar / back
            rgb = [round(c + (255 - c) * white) for c in base]
            row.append((rgb[2], rgb[1], rgb[0], round(alpha * 255)))
        rows.append(row)
    return rows


def dib(size):
    """A 32-bit BMP image as an icon entry stores it: header, pixels bottom-up, AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(p) for row in reversed(render(size)) for p in row)
    mask_row = math.ceil(size / 32) * 4
    mask = bytes(mask_row * size)  # transparency comes from the alpha channel
    return header + pixels + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else 'icon.ico'
    images = [dib(s) for s in SIZES]
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b''
    for size, data in zip(SIZES, images):
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, 'wb') as f:
        f.write(directory + entries + b''.join(images))


if __name__ == '__main__':
    main()
