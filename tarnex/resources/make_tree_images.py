#!/usr/bin/env python3
"""Draws the component tree's two image strips as 24-bit Windows bitmaps.
Every pixel that is not drawn has the mask colour RGB(0, 128, 128), which
the component page hands to the image lists as their transparent colour.

    make_tree_images.py TREE.bmp CHECKS.bmp [SIZE]

SIZE (16, 24 or 32; 16 unless given) is the images' width and height: the
component page takes the strips whose size suits the screen's DPI.

TREE.bmp, bitmap 107: eight 16x16 images, closed and open in turn for the
four tree levels (a box, a pie, a scroll), then a sheet for the fourth level
(whose items never open) and the red no-entry sign that also serves as the
lock overlay.
CHECKS.bmp, bitmap 141: five 16x16 check images: none, empty box, ticked
box, greyed box with a cross, partly ticked box.
"""
import math
import struct
import sys

MASK = (0, 128, 128)
SIZE = 16

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
LIGHT_GREY = (192, 192, 192)
DARK_GREY = (96, 96, 96)
CARDBOARD = (214, 165, 96)
CARDBOARD_DARK = (140, 95, 40)
CARDBOARD_INSIDE = (120, 80, 30)
PIE_CRUST = (190, 110, 30)
PIE_FILLING = (240, 200, 80)
PARCHMENT = (245, 230, 180)
PARCHMENT_EDGE = (150, 120, 60)
INK = (70, 70, 140)
RED = (220, 0, 0)
DARK_RED = (140, 0, 0)


class Image:
    """One image drawn on the 16x16 grid the shapes are given in, at SIZE
    pixels: at 16 pixel for pixel, larger with every shape scaled and its
    lines as thick as a grid pixel."""

    def __init__(self):
        self.px = [[MASK] * SIZE for _ in range(SIZE)]
        self.s = SIZE / 16.0
        self.pen = max(1, round(self.s))

    def set(self, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = colour

    def _span(self, a0, a1):
        """Pixels covering grid cells a0 to a1, both included."""
        return round(a0 * self.s), round((a1 + 1) * self.s) - 1

    def fill(self, x0, y0, x1, y1, colour):
        """Filled rectangle, corners included."""
        px0, px1 = self._span(x0, x1)
        py0, py1 = self._span(y0, y1)
        for y in range(py0, py1 + 1):
            for x in range(px0, px1 + 1):
                self.set(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.fill(x0, y0, x1, y0, colour)
        self.fill(x0, y1, x1, y1, colour)
        self.fill(x0, y0, x0, y1, colour)
        self.fill(x1, y0, x1, y1, colour)

    def line(self, x0, y0, x1, y1, colour):
        if SIZE == 16:
            steps = max(abs(x1 - x0), abs(y1 - y0))
            for i in range(steps + 1):
                t = i / steps if steps else 0
                self.set(round(x0 + (x1 - x0) * t), round(y0 + (y1 - y0) * t), colour)
            return
        # The centre line of the grid cells, stamped with a square pen.
        ax, ay = (x0 + 0.5) * self.s, (y0 + 0.5) * self.s
        bx, by = (x1 + 0.5) * self.s, (y1 + 0.5) * self.s
        steps = max(1, int(max(abs(bx - ax), abs(by - ay)) * 2))
        for i in range(steps + 1):
            t = i / steps
            cx, cy = ax + (bx - ax) * t, ay + (by - ay) * t
            left, top = int(cx - self.pen / 2.0 + 0.5), int(cy - self.pen / 2.0 + 0.5)
            for y in range(top, top + self.pen):
                for x in range(left, left + self.pen):
                    self.set(x, y, colour)

    def disc(self, cx, cy, r, colour, inside=lambda dx, dy: True):
        for y in range(SIZE):
            for x in range(SIZE):
                dx, dy = (x + 0.5) / self.s - cx, (y + 0.5) / self.s - cy
                if dx * dx + dy * dy <= r * r and inside(dx, dy):
                    self.set(x, y, colour)


def box(opened):
    im = Image()
    im.fill(2, 7, 13, 14, CARDBOARD)
    im.frame(2, 7, 13, 14, CARDBOARD_DARK)
    if opened:
        im.fill(3, 5, 12, 6, CARDBOARD_INSIDE)
        im.line(2, 7, 0, 3, CARDBOARD_DARK)   # left flap
        im.line(1, 6, 0, 4, CARDBOARD)
        im.line(13, 7, 15, 3, CARDBOARD_DARK)  # right flap
        im.line(14, 6, 15, 4, CARDBOARD)
        im.frame(2, 4, 13, 7, CARDBOARD_DARK)
    else:
        im.fill(1, 4, 14, 6, CARDBOARD)
        im.frame(1, 4, 14, 7, CARDBOARD_DARK)
        im.fill(7, 4, 8, 14, CARDBOARD_DARK)  # tape
    return im


def pie(opened):
    im = Image()
    cx, cy, r = 8.0, 8.5, 6.5
    # An opened pie misses the slice between twelve and three o'clock.
    cut = (lambda dx, dy: not (dx > 0 and dy < 0)) if opened else (lambda dx, dy: True)
    im.disc(cx, cy, r, PIE_CRUST, cut)
    im.disc(cx, cy, r - 1.5, PIE_FILLING, cut)
    if opened:
        im.line(8, 2, 8, 8, PIE_CRUST)
        im.line(8, 8, 14, 8, PIE_CRUST)
    else:
        for angle in (90, 210, 330):
            a = math.radians(angle)
            im.line(8, 8, round(cx + (r - 1) * math.cos(a)), round(cy - (r - 1) * math.sin(a)), PIE_CRUST)
    return im


def scroll(opened):
    im = Image()
    if opened:
        im.fill(3, 3, 12, 13, PARCHMENT)
        im.frame(3, 3, 12, 13, PARCHMENT_EDGE)
        im.fill(2, 1, 13, 2, PARCHMENT_EDGE)    # top roll
        im.fill(2, 14, 13, 15, PARCHMENT_EDGE)  # bottom roll
        for y in (5, 7, 9, 11):
            im.line(5, y, 10, y, INK)
    else:
        im.fill(2, 5, 13, 10, PARCHMENT)
        im.frame(2, 5, 13, 10, PARCHMENT_EDGE)
        im.fill(1, 4, 3, 11, PARCHMENT_EDGE)    # rolled ends
        im.fill(12, 4, 14, 11, PARCHMENT_EDGE)
        im.line(5, 7, 10, 7, INK)
        im.line(5, 8, 10, 8, PARCHMENT_EDGE)    # the ribbon
    return im


def sheet():
    im = Image()
    im.fill(3, 1, 12, 14, WHITE)
    im.frame(3, 1, 12, 14, DARK_GREY)
    # Folded top right corner.
    im.fill(10, 1, 12, 3, MASK)
    im.line(9, 1, 12, 4, DARK_GREY)
    im.fill(9, 2, 10, 4, LIGHT_GREY)
    im.line(9, 1, 9, 4, DARK_GREY)
    im.line(9, 4, 12, 4, DARK_GREY)
    for y in (6, 8, 10, 12):
        im.line(5, y, 10, y, GREY)
    return im


def no_entry():
    im = Image()
    im.disc(8, 8, 7.5, DARK_RED)
    im.disc(8, 8, 6.5, RED)
    im.fill(3, 7, 12, 8, WHITE)
    return im


def check(kind):
    im = Image()
    if kind == 'none':
        return im
    greyed = kind in ('greyed', 'partly')
    im.fill(2, 2, 14, 14, LIGHT_GREY if greyed else WHITE)
    im.frame(2, 2, 14, 14, GREY if greyed else DARK_GREY)
    mark = DARK_GREY if greyed else BLACK
    if kind in ('ticked', 'partly'):
        for dy in (0, 1, 2):  # a tick three pixels thick
            im.line(4, 7 + dy, 6, 9 + dy, mark)
            im.line(6, 9 + dy, 11, 4 + dy, mark)
    if kind == 'greyed':
        im.line(5, 5, 11, 11, GREY)
        im.line(5, 11, 11, 5, GREY)
        im.line(6, 5, 11, 10, GREY)
        im.line(5, 10, 10, 5, GREY)
    return im


def write_strip(path, images):
    width = SIZE * len(images)
    row_size = (width * 3 + 3) // 4 * 4
    rows = []
    for y in reversed(range(SIZE)):  # bottom-up
        row = bytearray()
        for im in images:
            for (r, g, b) in im.px[y]:
                row += bytes((b, g, r))
        rows.append(bytes(row) + b'\0' * (row_size - len(row)))
    pixels = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 40, width, SIZE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


def main():
    global SIZE
    if len(sys.argv) > 3:
        SIZE = int(sys.argv[3])
    tree = [box(False), box(True), pie(False), pie(True), scroll(False), scroll(True), sheet(), no_entry()]
    checks = [check(k) for k in ('none', 'empty', 'ticked', 'greyed', 'partly')]
    write_strip(sys.argv[1], tree)
    write_strip(sys.argv[2], checks)


if __name__ == '__main__':
    main()
