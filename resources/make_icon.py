#!/usr/bin/env python3
"""Draws the application icon: a white W on a rounded blue tile, 32-bit with alpha, at every size
Windows asks for between 100 % and 400 % display scale: 16, 20, 24, 32, 40, 48, 64 and 256 pixels.

Writes resources/wendlor.ico: 16 and 64 as BMP-format images (64x64 is the one the icon always
had), the others as PNG. With --png, also writes
/tmp/wendlor-icon.png (64x64) for a look. Uses only the standard library.
"""
import math
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
# PNG (Windows Vista on reads it at any size) keeps the executable small; 16 stays a bitmap for
# the oldest drawing paths, 64 the bitmap it always was.
PNG_SIZES = (20, 24, 32, 40, 48, 256)
DESIGN = 64  # the drawing's own coordinates; other sizes scale it


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def coverage(inside_distance):
    # Antialiasing: a pixel is covered by how far inside the edge its centre lies.
    return max(0.0, min(1.0, inside_distance + 0.5))


def pixel(x, y, size):
    s = size / DESIGN
    cx, cy = x + 0.5, y + 0.5
    half = size / 2
    # Rounded square tile with a vertical gradient.
    r, margin = 12.0 * s, 2.0 * s
    qx = max(abs(cx - half) - (half - margin - r), 0.0)
    qy = max(abs(cy - half) - (half - margin - r), 0.0)
    tile = coverage(r - math.hypot(qx, qy))
    top, bottom = (58, 134, 230), (18, 66, 160)
    k = y / (size - 1)
    bg = [top[i] * (1 - k) + bottom[i] * k for i in range(3)]
    # The W: four strokes; never thinner than a pixel and a half, or it fades at 16 pixels.
    pts = [(px * s, py * s) for px, py in [(14, 17), (23, 47), (32, 26), (41, 47), (50, 17)]]
    d = min(seg_dist(cx, cy, *pts[i], *pts[i + 1]) for i in range(4))
    w = coverage(max(4.0 * s, 0.75) - d)
    rgb = [bg[i] * (1 - w) + 255 * w for i in range(3)]
    return int(rgb[0]), int(rgb[1]), int(rgb[2]), int(255 * tile)


def png(rows, size):
    raw = b''.join(b'\0' + bytes(c for p in row for c in p) for row in rows)
    chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def bmp(rows, size):
    # BMP inside an ICO: bottom-up BGRA rows, height doubled for the (empty) AND mask, whose rows
    # are padded to 32 bits.
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask = bytes(((size + 31) // 32) * 4 * size)
    return header + xor + mask


def main():
    images = []
    for size in SIZES:
        rows = [[pixel(x, y, size) for x in range(size)] for y in range(size)]
        images.append((size, png(rows, size) if size in PNG_SIZES else bmp(rows, size)))
        if size == DESIGN and '--png' in sys.argv:
            with open('/tmp/wendlor-icon.png', 'wb') as f:
                f.write(png(rows, size))
    offset = 6 + 16 * len(images)
    directory, data = b'', b''
    for size, image in images:
        # 256 is written as 0 in the directory's byte-sized fields.
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
        data += image
    with open('resources/wendlor.ico', 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, len(images)) + directory + data)


if __name__ == '__main__':
    main()
