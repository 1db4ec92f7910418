#!/usr/bin/env python3
"""Writes the check-box pictures of the 2D interface (data/ui/ui_check_*.tga).

16 x 16, 32-bit uncompressed TGA with alpha, rows stored top to bottom: a white
frame on a translucent dark box; the true state adds a tick.
"""
import os
import struct
import sys

SIZE = 16


def box(ticked):
    px = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    for y in range(1, SIZE - 1):
        for x in range(1, SIZE - 1):
            edge = x in (1, SIZE - 2) or y in (1, SIZE - 2)
            px[y][x] = (255, 255, 255, 255) if edge else (40, 40, 40, 160)
    if ticked:
        # Two strokes, two pixels thick: down-right from (4, 8), then up-right.
        points = [(4 + i, 8 + i) for i in range(3)] + [(6 + i, 10 - i) for i in range(6)]
        for x, y in points:
            for dy in (0, 1):
                px[y + dy][x] = (255, 255, 255, 255)
    return px


def tga(px):
    # Image type 2, 32 bits, descriptor 0x28: 8 alpha bits, origin at the top left.
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, SIZE, SIZE, 32, 0x28)
    body = bytearray()
    for row in px:
        for r, g, b, a in row:
            body += bytes((b, g, r, a))
    return header + bytes(body)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "ui")
    os.makedirs(out, exist_ok=True)
    for name, ticked in (("ui_check_true.tga", True), ("ui_check_false.tga", False)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(tga(box(ticked)))


if __name__ == "__main__":
    main()
