#!/usr/bin/env python3
"""Writes the run-time's column-resize cursors (ui/cursors/*.cur).

6601 resize-both.cur   a bar with arrows to the left and to the right
6602 resize-left.cur   the bar with the left arrow only
6603 resize-right.cur  the bar with the right arrow only

Each is a 32 x 32 monochrome cursor: black strokes with a white outline on a
transparent ground, hot spot on the bar.
"""
import os
import struct

SIZE = 32
HOT_X, HOT_Y = 15, 15


def strokes(left_arrow, right_arrow):
    black = set()
    for y in range(6, 26):
        black.update({(15, y), (16, y)})
    if left_arrow:
        for x in range(5, 14):
            black.update({(x, 15), (x, 16)})
        for k in range(5):
            for y in range(15 - k, 17 + k):
                black.add((3 + k, y))
    if right_arrow:
        for x in range(18, 27):
            black.update({(x, 15), (x, 16)})
        for k in range(5):
            for y in range(15 - k, 17 + k):
                black.add((28 - k, y))
    return black


def outline(black):
    white = set()
    for (x, y) in black:
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                p = (x + dx, y + dy)
                if p not in black and 0 <= p[0] < SIZE and 0 <= p[1] < SIZE:
                    white.add(p)
    return white


def mask_rows(bit_of):
    rows = b""
    for y in reversed(range(SIZE)):  # bottom-up
        row = 0
        for x in range(SIZE):
            if bit_of(x, y):
                row |= 1 << (31 - x)
        rows += struct.pack(">I", row)
    return rows


def cursor_bytes(black):
    white = outline(black)
    xor = mask_rows(lambda x, y: (x, y) in white)
    and_ = mask_rows(lambda x, y: (x, y) not in black and (x, y) not in white)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, len(xor) + len(and_), 0, 0, 2, 0)
    palette = struct.pack("<II", 0x000000, 0xFFFFFF)
    image = header + palette + xor + and_
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOT_X, HOT_Y, len(image), 6 + 16)
    return directory + entry + image


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ui", "cursors")
    os.makedirs(folder, exist_ok=True)
    for name, left, right in (("resize-both", True, True), ("resize-left", True, False),
                              ("resize-right", False, True)):
        with open(os.path.join(folder, name + ".cur"), "wb") as out:
            out.write(cursor_bytes(strokes(left, right)))


if __name__ == "__main__":
    main()
