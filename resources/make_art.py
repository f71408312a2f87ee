#!/usr/bin/env python3
"""Draws the tray program's icons and hand cursor and writes them as .ico/.cur files.

  make_art.py OUTDIR    writes pellix_app.ico (icon 102), pellix_tray.ico (icon 105) and
                        hand.cur (cursor 118) into OUTDIR

Every image is 16 colours (4 bits a pixel, the standard VGA palette) with a 1-bit mask, the
form every Windows since 3.1 reads. Python 3 alone, no imaging library.
"""
import os
import struct
import sys

# The 16-colour VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, RED, YELLOW, WHITE = 0, 4, 7, 9, 11, 15
CLEAR = None  # transparent: mask bit set, colour black


def dib(pixels):
    """BITMAPINFOHEADER, palette, 4-bit colour rows and 1-bit mask rows, bottom row first."""
    h = len(pixels)
    w = len(pixels[0])
    xor_stride = ((w * 4 + 31) // 32) * 4
    and_stride = ((w + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, c in enumerate(row):
            if c is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
                c = 0
            line[x // 2] |= (c << 4) if x % 2 == 0 else c
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + pal + bytes(xor) + bytes(mask)


def icon_file(images, hotspot=None):
    """An .ico (or, with a hot spot, a .cur) holding the given pixel grids."""
    kind = 2 if hotspot else 1
    out = struct.pack("<HHH", 0, kind, len(images))
    blobs = [dib(p) for p in images]
    offset = 6 + 16 * len(images)
    for p, blob in zip(images, blobs):
        w, h = len(p[0]), len(p)
        if hotspot:
            a, b = hotspot
        else:
            a, b = 1, 4  # planes, bits per pixel
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 16, 0, a, b, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def grid(w, h, fill=CLEAR):
    return [[fill] * w for _ in range(h)]


def rect(g, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            g[y][x] = c


# Narrow and wide bars of a bar code, as widths in pixels at 32 by 32.
BARS = [1, 2, 1, 1, 3, 1, 2, 1, 1, 2, 1, 3, 1, 1, 2, 1]


def barcode_icon(size, frame, beam, corner=None):
    """A white label with black bars and a scan beam across it, in a coloured frame."""
    g = grid(size, size)
    s = size / 32.0
    rect(g, 0, int(3 * s), size - 1, size - 1 - int(3 * s), frame)
    rect(g, 1, int(3 * s) + 1, size - 2, size - 2 - int(3 * s), WHITE)
    x = int(4 * s) if size >= 32 else 2
    top, bottom = int(7 * s), size - 1 - int(7 * s)
    dark = True
    for width in BARS:
        width = max(1, int(round(width * s)))
        if x + width > size - 3:
            break
        if dark:
            rect(g, x, top, x + width - 1, bottom, BLACK)
        x += width
        dark = not dark
    mid = size // 2
    rect(g, 0, mid, size - 1, mid, beam)
    if corner is not None:
        n = max(2, size // 6)
        rect(g, size - n, 0, size - 1, n - 1, corner)
    return g


# The hand: index finger raised, its tip at (12, 1), the hot spot.
HAND = """
...........KKK
..........KWWWK
..........KWWWK
..........KWWWK
..........KWWWK
..........KWWWK
..........KWWWKKK
..........KWWWKWWKKK
..........KWWWKWWKWWKKK
..........KWWWKWWKWWKWWK
......KK..KWWWKWWKWWKWWK
.....KWWK.KWWWWWWWWWWWWK
.....KWWWKKWWWWWWWWWWWWK
......KWWWKWWWWWWWWWWWWK
.......KWWWWWWWWWWWWWWWK
.......KWWWWWWWWWWWWWWWK
........KWWWWWWWWWWWWWWK
........KWWWWWWWWWWWWWK
.........KWWWWWWWWWWWWK
.........KWWWWWWWWWWWK
..........KWWWWWWWWWWK
..........KWWWWWWWWWWK
..........KKKKKKKKKKKK
"""
HAND_HOTSPOT = (12, 1)


def hand_cursor():
    rows = [r for r in HAND.splitlines() if r]
    g = grid(32, 32)
    colours = {".": CLEAR, "K": BLACK, "W": WHITE}
    for y, row in enumerate(rows):
        assert len(row) <= 32
        for x, ch in enumerate(row):
            g[y][x] = colours[ch]
    hx, hy = HAND_HOTSPOT
    assert g[hy][hx] == WHITE and g[hy - 1][hx] == BLACK, "hot spot must sit in the fingertip"
    return g


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        "pellix_app.ico": icon_file([barcode_icon(32, NAVY, RED), barcode_icon(16, NAVY, RED)]),
        "pellix_tray.ico": icon_file([barcode_icon(16, NAVY, RED, YELLOW),
                                      barcode_icon(32, NAVY, RED, YELLOW)]),
        "hand.cur": icon_file([hand_cursor()], hotspot=HAND_HOTSPOT),
    }
    for name, blob in files.items():
        path = os.path.join(out, name)
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(blob)
        os.replace(tmp, path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
