#!/usr/bin/env python3
"""Draws the installer's icon (a box with an arrow into it) and writes it as
a Windows .ico, 32 bits per pixel, in the sizes Windows asks for at 100 % to
200 % scaling: 16, 20, 24, 32, 40, 48 and 64 pixels as bitmaps, 256 as PNG.

    make_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib


def pixel(x, y, size):
    """BGRA of one pixel; y counts from the top."""
    s = size / 32.0
    body = (30, 90, 200, 255)       # blue box
    lid = (20, 60, 150, 255)        # darker rim
    arrow = (255, 255, 255, 255)    # white arrow
    clear = (0, 0, 0, 0)
    # The arrow: a shaft and a head pointing down into the box.
    cx = size / 2.0
    if abs(x + 0.5 - cx) <= 2.5 * s and 2 * s <= y < 15 * s:
        return arrow
    if 15 * s <= y < 21 * s and abs(x + 0.5 - cx) <= (21 * s - y) + 0.5:
        return arrow
    if 12 * s <= y < 30 * s and 3 * s <= x < 29 * s:
        if y < 15 * s or x < 5 * s or x >= 27 * s or y >= 28 * s:
            return lid
        return body
    return clear


def image(size, pixel=pixel):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):  # bottom-up
        rows.append(b''.join(bytes((b, g, r, a)) for (r, g, b, a) in
                             (pixel(x, y, size) for x in range(size))))
    xor = b''.join(rows)
    mask_row = ((size + 31) // 32) * 4
    mask = []
    for y in reversed(range(size)):
        bits = bytearray(mask_row)
        for x in range(size):
            if pixel(x, y, size)[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.append(bytes(bits))
    return header + xor + b''.join(mask)


def png_image(size, pixel=pixel):
    """The same image as a PNG file, as icons of 256 pixels are stored."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(size):
            b, g, r, a = pixel(x, y, size)
            raw += bytes((r, g, b, a))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def write_icon(path, images):
    """images: (size, image bytes) pairs."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = size if size < 256 else 0  # 0 stands for 256
        out += struct.pack('<BBBBHHII', side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


def main():
    sizes = (16, 20, 24, 32, 40, 48, 64)
    write_icon(sys.argv[1], [(size, image(size)) for size in sizes] + [(256, png_image(256))])


if __name__ == '__main__':
    main()
