#!/usr/bin/env python3
"""Draws the loader's icon (resources/quenda.ico): an open package with a green arrow pointing
into it, at 16x16 and 32x32, 16 colours (4 bits per pixel, the standard system palette) with a
transparency mask, so that every Windows version from 95 and NT 3.51 on shows it as drawn.

Each size has its own shapes in its own pixel grid, sampled at the centre of every pixel;
outlines are the shape pixels that touch a pixel outside the shape.

    python3 resources/make_icon.py            # writes resources/quenda.ico
    python3 resources/make_icon.py out.ico    # writes elsewhere
"""
import os
import struct
import sys

# The 16-colour system palette (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, NAVY, GREY, GREEN, YELLOW, WHITE = 0, 2, 4, 8, 10, 11, 15

# Shapes per size, back to front: (fill, outline, polygon in pixel coordinates of that size).
SHAPES = {
    32: [
        # inside of the open box
        (GREY, BLACK, [(5, 10), (27, 10), (30, 16), (2, 16)]),
        # the arrow: shaft and head
        (GREEN, DARK_GREEN, [(12, 0), (20, 0), (20, 10), (12, 10)]),
        (GREEN, DARK_GREEN, [(6, 9), (26, 9), (16, 20)]),
        # front of the box and its label
        (YELLOW, BLACK, [(2, 16), (30, 16), (30, 31), (2, 31)]),
        (WHITE, NAVY, [(8, 21), (24, 21), (24, 27), (8, 27)]),
    ],
    16: [
        (GREY, BLACK, [(2, 5), (14, 5), (16, 8), (0, 8)]),
        (GREEN, DARK_GREEN, [(6, 0), (10, 0), (10, 5), (6, 5)]),
        (GREEN, DARK_GREEN, [(3, 4), (13, 4), (8, 10)]),
        (YELLOW, BLACK, [(0, 8), (16, 8), (16, 16), (0, 16)]),
        (WHITE, NAVY, [(4, 10), (12, 10), (12, 14), (4, 14)]),
    ],
}


def inside(poly, x, y):
    """Even-odd test of the point (x, y) against the polygon."""
    result = False
    n = len(poly)
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            cross = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < cross:
                result = not result
    return result


def render(size):
    """Colour indices per pixel (None = transparent), rows top to bottom."""
    pixels = [[None] * size for _ in range(size)]
    for fill, outline, poly in SHAPES[size]:
        mask = [[inside(poly, x + 0.5, y + 0.5) for x in range(size)]
                for y in range(size)]
        for y in range(size):
            for x in range(size):
                if not mask[y][x]:
                    continue
                edge = False
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    nx, ny = x + dx, y + dy
                    if not (0 <= nx < size and 0 <= ny < size) or not mask[ny][nx]:
                        edge = True
                pixels[y][x] = outline if edge else fill
    return pixels


def icon_image(size):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colour rows and the 1-bit mask rows,
    both bottom-up and padded to 32 bits."""
    pixels = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour_row = ((size * 4 + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    colour = b''
    mask = b''
    for y in reversed(range(size)):
        row = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x in range(size):
            p = pixels[y][x]
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                p = 0
            row[x // 2] |= p << (4 if x % 2 == 0 else 0)
        colour += bytes(row)
        mask += bytes(bits)
    return header + palette + colour + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'quenda.ico')
    sizes = [16, 32]
    images = [icon_image(s) for s in sizes]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        data += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    data += b''.join(images)
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
