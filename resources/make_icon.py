#!/usr/bin/env python3
"""Draws the application icon: a white W on a rounded blue tile, 64x64, 32-bit with alpha.

Writes resources/wendlor.ico (one BMP-format image) and, for a look, resources/wendlor-icon.png
when asked with --png. Uses only the standard library.
"""
import math
import struct
import sys
import zlib

SIZE = 64


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def coverage(inside_distance):
    # Antialiasing: a pixel is covered by how far inside the edge its centre lies.
    return max(0.0, min(1.0, inside_distance + 0.5))


def pixel(x, y):
    cx, cy = x + 0.5, y + 0.5
    # Rounded square tile with a vertical gradient.
    r, margin = 12.0, 2.0
    qx = max(abs(cx - 32) - (32 - margin - r), 0.0)
    qy = max(abs(cy - 32) - (32 - margin - r), 0.0)
    tile = coverage(r - math.hypot(qx, qy))
    top, bottom = (58, 134, 230), (18, 66, 160)
    k = y / (SIZE - 1)
    bg = [top[i] * (1 - k) + bottom[i] * k for i in range(3)]
    # The W: four strokes.
    pts = [(14, 17), (23, 47), (32, 26), (41, 47), (50, 17)]
    d = min(seg_dist(cx, cy, *pts[i], *pts[i + 1]) for i in range(4))
    w = coverage(4.0 - d)
    rgb = [bg[i] * (1 - w) + 255 * w for i in range(3)]
    return int(rgb[0]), int(rgb[1]), int(rgb[2]), int(255 * tile)


def main():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    # BMP inside an ICO: bottom-up BGRA rows, height doubled for the (empty) AND mask.
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask = bytes(SIZE * SIZE // 8)
    image = header + xor + mask
    ico = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(image), 22) + image
    with open('resources/wendlor.ico', 'wb') as f:
        f.write(ico)
    if '--png' in sys.argv:
        raw = b''.join(b'\0' + bytes(c for p in row for c in p) for row in rows)
        chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
        png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', SIZE, SIZE, 8, 6, 0, 0, 0))
               + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
        with open('/tmp/wendlor-icon.png', 'wb') as f:
            f.write(png)


if __name__ == '__main__':
    main()
