#!/usr/bin/env python3
"""Draws the programs' icon (the desktop entry's picture: a chip taking an
arrow of data) at 16, 32 and 48 pixels and writes it as a Windows .ico file.
Usage: make_icon.py OUTPUT.ico"""
import struct
import sys

BLUE = (0x1F, 0x5F, 0xBF)
DARK = (0x15, 0x3A, 0x73)
WHITE = (0xFF, 0xFF, 0xFF)
GREEN = (0x2E, 0x7D, 0x32)


def pixel(size, x, y):
    """The colour of pixel (x, y) of a size x size icon, or None for clear."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    # A chip: the body, and pins on its left and right edges.
    body = 0.22 <= u <= 0.78 and 0.30 <= v <= 0.92
    pins = (0.10 <= u < 0.22 or 0.78 < u <= 0.90) and 0.34 <= v <= 0.88 and \
        int((v - 0.34) * size / max(1.0, size / 8)) % 2 == 0
    # An arrow coming down into it.
    shaft = 0.44 <= u <= 0.56 and 0.04 <= v <= 0.40
    head = 0.40 <= v <= 0.62 and abs(u - 0.5) <= (0.62 - v) * 0.9
    if shaft or head:
        return GREEN
    if body:
        edge = min(u - 0.22, 0.78 - u, v - 0.30, 0.92 - v) < 1.5 / size
        return DARK if edge else BLUE
    if pins:
        return DARK
    return None


def image(size):
    """One icon image: a BITMAPINFOHEADER, 32-bit pixels bottom row first, and
    the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            colour = pixel(size, x, y)
            if colour is None:
                pixels += bytes((0, 0, 0, 0))
            else:
                r, g, b = colour
                pixels += bytes((b, g, r, 0xFF))
    row = ((size + 31) // 32) * 4
    mask = bytes(row * size)  # the alpha channel says what is clear
    return header + bytes(pixels) + mask


def main():
    sizes = (16, 32, 48)
    images = [image(size) for size in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(sizes)))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], "wb") as file:
        file.write(out)


if __name__ == "__main__":
    main()
