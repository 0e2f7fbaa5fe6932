#!/usr/bin/env python3
"""Draws the three icons of the maintenance page and writes them as Windows
.ico files, 32 bits per pixel, in the same style as icon 101: 48x48 as the
page shows them at 96 DPI, and 60, 72 and 96 pixels for 125 %, 150 % and
200 % scaling (the drawing, sampled smooth, not a stretched 48):

    make_mode_icons.py FOLDER   (writes mode_change.ico, mode_repair.ico,
                                 mode_remove.ico)

A blue box, with a green plus and red minus (add/remove), an orange circular
arrow (repair) or a red cross (remove) drawn over its lower right part.
"""
import math
import os
import sys

from make_icon import image, write_icon

SIZE = 48
CLEAR = (0, 0, 0, 0)
BOX = (30, 90, 200, 255)
RIM = (20, 60, 150, 255)
GREEN = (30, 160, 60, 255)
RED = (210, 30, 30, 255)
ORANGE = (235, 140, 20, 255)
WHITE = (255, 255, 255, 255)


def box(x, y):
    if 6 <= y < 34 and 4 <= x < 34:
        if y < 10 or x < 7 or x >= 31 or y >= 31:
            return RIM
        return BOX
    return None


def badge(x, y, colour):
    """A round badge at the lower right with a white ring."""
    d = math.hypot(x + 0.5 - 34, y + 0.5 - 34)
    if d <= 12:
        return colour
    if d <= 13.5:
        return WHITE
    return None


def change(x, y):
    # plus on the upper half of the badge, minus on the lower
    if math.hypot(x + 0.5 - 34, y + 0.5 - 34) <= 12:
        if 25 <= y < 32 and (abs(x + 0.5 - 34) <= 1.5 or (28 <= y < 30 and abs(x + 0.5 - 34) <= 5)):
            return WHITE
        if 37 <= y < 39 and abs(x + 0.5 - 34) <= 5:
            return WHITE
    return badge(x, y, GREEN if y < 34 else RED) or box(x, y) or CLEAR


def repair(x, y):
    d = math.hypot(x + 0.5 - 34, y + 0.5 - 34)
    angle = math.degrees(math.atan2(y + 0.5 - 34, x + 0.5 - 34)) % 360
    if 5 <= d <= 8 and not 300 <= angle <= 360:
        return WHITE
    # the arrow head at the open end of the ring
    if 36 <= x < 44 and 24 <= y < 31 and (x - 36) <= (y - 24) + 1:
        return WHITE
    return badge(x, y, ORANGE) or box(x, y) or CLEAR


def remove(x, y):
    if math.hypot(x + 0.5 - 34, y + 0.5 - 34) <= 12:
        u, v = x + 0.5 - 34, y + 0.5 - 34
        if abs(u - v) <= 2 and abs(u) <= 6 or abs(u + v) <= 2 and abs(u) <= 6:
            return WHITE
    return badge(x, y, RED) or box(x, y) or CLEAR


def sampled(draw, size, n=4):
    """draw (given on the 48 grid) at size pixels, each pixel the mean of
    n x n samples, its colour weighted by their cover."""
    def pixel(x, y, _):
        total = [0.0, 0.0, 0.0, 0.0]
        for i in range(n):
            for j in range(n):
                u = (x + (i + 0.5) / n) * SIZE / size
                v = (y + (j + 0.5) / n) * SIZE / size
                r, g, b, a = draw(u - 0.5, v - 0.5)
                total[0] += r * a
                total[1] += g * a
                total[2] += b * a
                total[3] += a
        if total[3] == 0:
            return CLEAR
        return (round(total[0] / total[3]), round(total[1] / total[3]), round(total[2] / total[3]),
                round(total[3] / (n * n)))
    return pixel


def main():
    folder = sys.argv[1]
    for name, draw in (('mode_change.ico', change), ('mode_repair.ico', repair), ('mode_remove.ico', remove)):
        images = [(SIZE, image(SIZE, lambda x, y, s, f=draw: f(x, y)))]
        images += [(size, image(size, sampled(draw, size))) for size in (60, 72, 96)]
        write_icon(os.path.join(folder, name), images)


if __name__ == '__main__':
    main()
