#!/usr/bin/env python3
"""Draws the Ledgora updater's window icon and writes resources/ledgora.ico.

The icon is ours: a blue ledger page with ruled lines and a green arrow pointing down
into it, the update arriving in the books. Drawn with anti-aliasing by supersampling
and stored as 32-bit DIB entries, which every ICO reader (Windows, Qt's qico) accepts.
Run it again only to change the artwork; the .ico it writes is committed.
"""
import math
import struct
import sys

SIZES = (16, 24, 32, 48, 64)
SS = 4  # supersampling factor per axis

BLUE = (24, 78, 150)
PAGE = (246, 248, 252)
RULE = (150, 170, 200)
GREEN = (36, 160, 72)


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_arrow(x, y):
    # shaft and head, in unit coordinates
    if 0.66 <= x <= 0.80 and 0.42 <= y <= 0.70:
        return True
    if 0.70 <= y <= 0.92:
        half = (0.92 - y) * 0.75
        return abs(x - 0.73) <= half
    return False


def colour_at(u, v):
    if inside_arrow(u, v):
        return GREEN + (255,)
    if inside_round_rect(u, v, 0.04, 0.04, 0.96, 0.96, 0.16):
        if inside_round_rect(u, v, 0.18, 0.14, 0.66, 0.86, 0.04):
            for line in (0.30, 0.44, 0.58, 0.72):
                if abs(v - line) < 0.025 and 0.24 <= u <= 0.60:
                    return RULE + (255,)
            return PAGE + (255,)
        return BLUE + (255,)
    return (0, 0, 0, 0)


def render(size):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SS):
                for sx in range(SS):
                    c = colour_at((px + (sx + 0.5) / SS) / size, (py + (sy + 0.5) / SS) / size)
                    a = c[3]
                    for i in range(3):
                        acc[i] += c[i] * a
                    acc[3] += a
            n = SS * SS
            alpha = acc[3] / n
            if acc[3]:
                rgb = [round(acc[i] / acc[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], round(alpha)))
        rows.append(row)
    return rows


def dib(size):
    pixels = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def main(path):
    images = [dib(s) for s in SIZES]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources/ledgora.ico')
