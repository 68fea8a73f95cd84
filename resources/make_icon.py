#!/usr/bin/env python3
"""Draws the setup program's icon: a blue parcel with a yellow arrow pointing
into it, in three 16-colour images (32x32, 16x16, 48x48), and writes setup.ico.

The committed setup.ico is this script's output:
    python3 resources/make_icon.py resources/setup.ico
"""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, BLUE, AQUA, YELLOW, OLIVE = 0, 4, 12, 14, 11, 3
SIZES = (32, 16, 48)


def in_box(u, v):
    return 0.10 <= u <= 0.90 and 0.46 <= v <= 0.92


def in_lid(u, v):
    return 0.10 <= u <= 0.90 and 0.46 <= v <= 0.58


def in_arrow(u, v):
    if 0.39 <= u <= 0.61 and 0.04 <= v <= 0.40:
        return True
    if 0.30 <= v <= 0.66:
        half = 0.30 * (0.66 - v) / 0.36
        return abs(u - 0.5) <= half
    return False


# Painted back to front; each shape gets a black outline of one pixel.
SHAPES = (
    (in_box, BLUE),
    (in_lid, AQUA),
    (in_arrow, YELLOW),
)


def draw(size):
    """Returns rows of palette indices, None where the icon is transparent."""
    def inside(shape, x, y):
        if x < 0 or y < 0 or x >= size or y >= size:
            return False
        return shape((x + 0.5) / size, (y + 0.5) / size)

    pixels = [[None] * size for _ in range(size)]
    for shape, colour in SHAPES:
        for y in range(size):
            for x in range(size):
                if not inside(shape, x, y):
                    continue
                edge = any(not inside(shape, x + dx, y + dy)
                           for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                pixels[y][x] = BLACK if edge else colour
    # A shadow line under the parcel for a little depth.
    for y in range(size):
        for x in range(size):
            if pixels[y][x] == BLUE and not inside(in_box, x, y + 2):
                pixels[y][x] = NAVY
    return pixels


def image_bytes(size):
    pixels = draw(size)
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up
        row = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(size):
            index = pixels[y][x]
            if index is None:
                index = 0
                bits[x // 8] |= 0x80 >> (x % 8)
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_icon.py OUTPUT.ico')
    images = [image_bytes(size) for size in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
