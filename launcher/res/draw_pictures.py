#!/usr/bin/env python3
"""Draws the launcher's pictures, icon and cursor into this folder (standard library only).

Run it again after changing a drawing: python3 draw_pictures.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# A 5 x 7 pixel font, enough for the faces and the banner.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, fill):
        self.w, self.h = width, height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def text_width(self, text, scale, gap):
        return len(text) * (5 * scale + gap) - gap

    def text(self, x, y, text, scale, c, gap=None):
        gap = scale if gap is None else gap
        for ch in text:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == "1":
                        self.rect(x + col * scale, y + row * scale,
                                  x + col * scale + scale - 1, y + row * scale + scale - 1, c)
            x += 5 * scale + gap

    def centred_text(self, cx, y, text, scale, c, shadow=None):
        x = cx - self.text_width(text, scale, scale) // 2
        if shadow is not None:
            self.text(x + 1, y + 1, text, scale, shadow)
        self.text(x, y, text, scale, c)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def write_bmp8(name, canvas, palette_size=None):
    """8 bits per pixel, 40-byte header, bottom-up; palette of the colours used."""
    colours = []
    index = {}
    for row in canvas.px:
        for c in row:
            if c not in index:
                index[c] = len(colours)
                colours.append(c)
    count = palette_size or len(colours)
    if len(colours) > count or count > 256:
        raise SystemExit(f"{name}: {len(colours)} colours, palette of {count}")
    colours += [(0, 0, 0)] * (count - len(colours))
    stride = (canvas.w + 3) & ~3
    bits = bytearray()
    for row in reversed(canvas.px):
        bits += bytes(index[c] for c in row) + b"\0" * (stride - canvas.w)
    palette = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in colours)
    header = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 8, 0, len(bits), 2835, 2835,
                         count, 0)
    offset = 14 + len(header) + len(palette)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset))
        f.write(header + palette + bits)


# --- dialog background (129), 400 x 200 --------------------------------------------------------

TOP = (250, 252, 255)
EDGE_MARKER = (255, 0, 255)
BOTTOM = (196, 214, 236)


def background_colour(y, height=200):
    # Gradient in 16 steps, so the picture stays a small palette.
    step = min(15, y * 16 // height)
    return mix(TOP, BOTTOM, step / 15)


def draw_background():
    c = Canvas(400, 200, TOP)
    for y in range(200):
        for x in range(400):
            c.set(x, y, background_colour(y))
    # Faint diagonal light bands on the right, like a printed disc label.
    for y in range(200):
        for x in range(250, 400):
            if (x + y) % 22 < 6:
                c.set(x, y, mix(c.get(x, y), (255, 255, 255), 0.5))
    # Thin accent line and a footer band.
    c.rect(0, 186, 399, 186, (40, 80, 150))
    c.rect(0, 187, 399, 199, (28, 54, 104))
    c.text(8, 190, "KARDELLE USB CARD READER", 1, (170, 190, 225))
    # The dialog stretches all but the last column and row; marked so a test can tell.
    c.rect(399, 0, 399, 199, EDGE_MARKER)
    c.rect(0, 199, 399, 199, EDGE_MARKER)
    write_bmp8("background.bmp", c)


# --- banner (132), 380 x 40, 26 palette entries ------------------------------------------------

def draw_banner():
    navy, deep = (18, 40, 92), (38, 84, 168)
    c = Canvas(380, 40, navy)
    for x in range(380):
        step = x * 10 // 380
        for y in range(40):
            c.set(x, y, mix(navy, deep, step / 9))
    c.rect(0, 38, 379, 39, (250, 176, 40))
    # A card going into a reader slot.
    c.rect(10, 9, 33, 30, (70, 76, 88))
    c.rect(11, 10, 32, 11, (110, 118, 132))
    c.rect(14, 4, 29, 21, (230, 236, 245))
    for y in range(4, 8):  # the card's cut corner
        for x in range(26 + (y - 4), 30):
            c.set(x, y, c.get(x, 2))
    c.rect(16, 7, 27, 12, (38, 84, 168))
    c.rect(11, 22, 32, 23, (30, 30, 36))
    c.rect(29, 27, 30, 28, (90, 220, 90))
    c.text(46, 6, "KARDELLE", 2, (255, 255, 255), gap=2)
    c.text(48, 24, "USB MULTI-SLOT CARD READER", 1, (176, 204, 250))
    c.text(250, 24, "DRIVER DISC", 1, (250, 176, 40))
    write_bmp8("banner.bmp", c, palette_size=26)


# --- button faces (133, 134, 135: 130 x 30; 138: 90 x 32) ------------------------------------

def draw_button(name, width, height, label, light, dark, corner):
    c = Canvas(width, height, corner)
    radius = 5
    for y in range(height):
        shade = mix(light, dark, (y * 8 // height) / 7)
        for x in range(width):
            dx = max(radius - x, x - (width - 1 - radius), 0)
            dy = max(radius - y, y - (height - 1 - radius), 0)
            if dx * dx + dy * dy <= radius * radius:
                c.set(x, y, shade)
    # Border: the outermost pixels of the rounded face.
    border = mix(dark, (0, 0, 0), 0.45)
    face = [[c.get(x, y) != corner for x in range(width)] for y in range(height)]
    for y in range(height):
        for x in range(width):
            if face[y][x] and any(not (0 <= x + dx < width and 0 <= y + dy < height)
                                  or not face[y + dy][x + dx]
                                  for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                c.set(x, y, border)
    # Highlight along the top.
    for x in range(radius, width - radius):
        c.set(x, 1, mix(light, (255, 255, 255), 0.6))
    c.centred_text(width // 2, (height - 14) // 2, label, 2, (255, 255, 255),
                   shadow=mix(dark, (0, 0, 0), 0.5))
    write_bmp8(name, c)


# --- icon (128) and cursor (136), 16 colours ----------------------------------------------

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
       (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, GREEN, NAVY, SILVER, GRAY, LIME, BLUE, WHITE = 0, 2, 4, 7, 8, 10, 12, 15


def dib4(pixels, size):
    """A 16-colour image of an icon or cursor; None in pixels is transparent."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in VGA)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        packed = bytearray()
        for x in range(0, size, 2):
            packed.append(((row[x] or 0) << 4) | (row[x + 1] or 0))
        xor += packed + b"\0" * ((-len(packed)) % 4)
        bits = bytearray()
        for x in range(0, size, 8):
            byte = 0
            for i in range(8):
                if row[x + i] is None:
                    byte |= 0x80 >> i
            bits.append(byte)
        mask += bits + b"\0" * ((-len(bits)) % 4)
    return header + palette + bytes(xor) + bytes(mask)


def write_icon_file(name, kind, images):
    """kind 1: icon; kind 2: cursor, each image then carries its hot spot."""
    data = [dib4(px, size) for px, size, _ in images]
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    for (px, size, hot), blob in zip(images, data):
        a, b = (1, 4) if kind == 1 else hot
        out += struct.pack("<BBBBHHII", size, size, 16, 0, a, b, len(blob), offset)
        offset += len(blob)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(out + b"".join(data))


def draw_icon32():
    px = [[None] * 32 for _ in range(32)]

    def box(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = c

    # Reader body with a slot, a card half inserted and a lit LED.
    box(2, 15, 29, 28, BLACK)
    box(3, 16, 28, 27, GRAY)
    box(3, 16, 28, 17, SILVER)
    box(6, 19, 25, 20, BLACK)
    box(9, 1, 22, 20, BLACK)
    box(10, 2, 21, 19, BLUE)
    box(12, 4, 19, 9, WHITE)
    for i in range(4):  # notched corner
        for j in range(4 - i):
            px[1 + i][22 - j] = None if i == 0 else (BLACK if j == 3 - i else None)
    box(10, 19, 21, 20, BLACK)
    box(24, 24, 26, 25, LIME)
    box(5, 24, 8, 25, SILVER)
    return px


def draw_icon16(big):
    px = [[big[y * 2][x * 2] for x in range(16)] for y in range(16)]
    px[12][12] = LIME
    return px


def draw_hand():
    size = 32
    fill = set()

    def box(x0, y0, x1, y1):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                fill.add((x, y))

    box(11, 2, 13, 13)  # index finger, its tip at the hot spot
    box(15, 7, 17, 13)
    box(19, 8, 21, 13)
    box(23, 10, 24, 14)
    box(11, 12, 24, 20)  # palm
    for y, (x0, x1) in enumerate([(6, 8), (6, 9), (7, 10), (8, 10), (9, 10), (10, 10)], 13):
        box(x0, y, x1, y)  # thumb
    box(12, 21, 23, 21)
    box(13, 22, 22, 25)  # wrist
    px = [[None] * size for _ in range(size)]
    for x, y in fill:
        px[y][x] = WHITE
    for y in range(size):
        for x in range(size):
            if (x, y) not in fill and any((x + dx, y + dy) in fill
                                          for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                px[y][x] = BLACK
    for y in range(8, 13):  # gaps between the fingers
        for x in (14, 18, 22):
            px[y][x] = BLACK
    for x in range(13, 23):  # cuff line
        px[22][x] = BLACK
    assert px[1][12] == BLACK and px[2][12] == WHITE, "fingertip must sit at the hot spot"
    return px


def main():
    draw_background()
    draw_banner()
    corner = background_colour(120)
    draw_button("install.bmp", 130, 30, "INSTALL", (90, 190, 100), (20, 110, 40), corner)
    draw_button("manual.bmp", 130, 30, "MANUAL", (90, 150, 230), (24, 70, 160), corner)
    draw_button("exit.bmp", 130, 30, "EXIT", (150, 158, 172), (70, 78, 94), corner)
    draw_button("reader.bmp", 90, 32, "READER", (235, 80, 70), (160, 16, 20), corner)
    big = draw_icon32()
    write_icon_file("launcher.ico", 1, [(big, 32, None), (draw_icon16(big), 16, None)])
    write_icon_file("hand.cur", 2, [(draw_hand(), 32, (12, 1))])


if __name__ == "__main__":
    main()
