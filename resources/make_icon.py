#!/usr/bin/env python3
"""Writes the window icon: an .ico file with one 32x32 and one 16x16 image, each a 32-bit
BITMAPINFOHEADER bitmap (height doubled, bottom-up BGRA rows) followed by its 1-bit AND mask.
The picture: a blue sheet with a white arrow pointing down into a grey tray."""
import struct
import sys


def pixel(x, y, n):
    """BGRA of pixel (x, y), y counted from the top, in an n x n picture."""
    u, v = x * 32 // n, y * 32 // n
    if 26 <= v <= 29 and 3 <= u <= 28:
        return (128, 128, 128, 255)  # tray
    if 2 <= v <= 24 and 5 <= u <= 26:
        in_shaft = 13 <= u <= 18 and 5 <= v <= 14
        in_head = 15 <= v <= 21 and abs(u - 15.5) <= 21 - v
        if in_shaft or in_head:
            return (255, 255, 255, 255)
        return (200, 110, 30, 255)  # sheet
    return (0, 0, 0, 0)


def image(n):
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b"".join(bytes(c for x in range(n) for c in pixel(x, y, n)) for y in reversed(range(n)))
    mask_row = ((n + 31) // 32) * 4
    mask = b"\0" * (mask_row * n)  # every pixel drawn; the alpha channel decides
    return header + rows + mask


def main(path):
    sizes = [32, 16]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
