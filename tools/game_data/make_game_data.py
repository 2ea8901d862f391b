#!/usr/bin/env python3
"""Makes the game's pictures and sound effects under data/Data.

Only the standard library draws the pictures (24-bit BMP) and synthesises the sounds (16-bit PCM
WAVE); ImageMagick's `convert` turns the two full-screen pictures into baseline JPEG. Pure black is
the transparent colour of the sprite and panel sheets, so their opaque art never uses it.

    tools/game_data/make_game_data.py [output folder, default data/Data]
"""
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import wave

BLACK = (0, 0, 0)


class Picture:
    def __init__(self, width, height, fill=BLACK):
        self.width, self.height = width, height
        self.rows = [[fill] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = clamp_colour(colour)

    def get(self, x, y):
        return self.rows[y][x]

    def blend(self, x, y, colour, alpha):
        if 0 <= x < self.width and 0 <= y < self.height and alpha > 0:
            self.rows[y][x] = clamp_colour(mix(self.rows[y][x], colour, min(alpha, 1.0)))

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.rows[y][x] = clamp_colour(colour)

    def disc(self, cx, cy, radius, colour, alpha=1.0):
        """A filled circle with an anti-aliased rim (centre in pixel units, pixel centres at +0.5)."""
        for y in range(int(cy - radius - 1), int(cy + radius + 2)):
            for x in range(int(cx - radius - 1), int(cx + radius + 2)):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                cover = max(0.0, min(1.0, radius - d + 0.5))
                self.blend(x, y, colour, cover * alpha)

    def ring(self, cx, cy, radius, width, colour, alpha=1.0):
        for y in range(int(cy - radius - 2), int(cy + radius + 3)):
            for x in range(int(cx - radius - 2), int(cx + radius + 3)):
                d = abs(math.hypot(x + 0.5 - cx, y + 0.5 - cy) - radius)
                cover = max(0.0, min(1.0, width / 2 - d + 0.5))
                self.blend(x, y, colour, cover * alpha)

    def line(self, x0, y0, x1, y1, width, colour, alpha=1.0):
        length = math.hypot(x1 - x0, y1 - y0) or 1e-9
        for y in range(int(min(y0, y1) - width - 1), int(max(y0, y1) + width + 2)):
            for x in range(int(min(x0, x1) - width - 1), int(max(x0, x1) + width + 2)):
                px, py = x + 0.5, y + 0.5
                t = max(0.0, min(1.0, ((px - x0) * (x1 - x0) + (py - y0) * (y1 - y0)) / length**2))
                d = math.hypot(px - (x0 + t * (x1 - x0)), py - (y0 + t * (y1 - y0)))
                self.blend(x, y, colour, max(0.0, min(1.0, width / 2 - d + 0.5)) * alpha)

    def paste(self, other, x0, y0):
        for y in range(other.height):
            for x in range(other.width):
                self.set(x0 + x, y0 + y, other.rows[y][x])

    def save_bmp(self, path):
        row_bytes = (self.width * 3 + 3) & ~3
        pixels = bytearray()
        for row in reversed(self.rows):
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            line += bytes(row_bytes - len(line))
            pixels += line
        header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
        info = struct.pack('<IiiHHIIiiII', 40, self.width, self.height, 1, 24, 0, len(pixels),
                           2835, 2835, 0, 0)
        with open(path, 'wb') as f:
            f.write(header + info + pixels)


def clamp_colour(c):
    return tuple(max(0, min(255, int(round(v)))) for v in c)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def shade(c, f):
    return tuple(v * f for v in c)


def opaque(c):
    """Keeps opaque art off the transparent colour."""
    c = clamp_colour(c)
    return c if c != BLACK else (4, 4, 4)


# --- A 5 x 7 pixel font for the pictures' own lettering --------------------------------------

GLYPHS = {
    'A': ['01110', '10001', '10001', '11111', '10001', '10001', '10001'],
    'B': ['11110', '10001', '10001', '11110', '10001', '10001', '11110'],
    'C': ['01110', '10001', '10000', '10000', '10000', '10001', '01110'],
    'D': ['11110', '10001', '10001', '10001', '10001', '10001', '11110'],
    'E': ['11111', '10000', '10000', '11110', '10000', '10000', '11111'],
    'F': ['11111', '10000', '10000', '11110', '10000', '10000', '10000'],
    'G': ['01110', '10001', '10000', '10111', '10001', '10001', '01111'],
    'H': ['10001', '10001', '10001', '11111', '10001', '10001', '10001'],
    'I': ['01110', '00100', '00100', '00100', '00100', '00100', '01110'],
    'K': ['10001', '10010', '10100', '11000', '10100', '10010', '10001'],
    'L': ['10000', '10000', '10000', '10000', '10000', '10000', '11111'],
    'M': ['10001', '11011', '10101', '10101', '10001', '10001', '10001'],
    'N': ['10001', '11001', '10101', '10011', '10001', '10001', '10001'],
    'O': ['01110', '10001', '10001', '10001', '10001', '10001', '01110'],
    'P': ['11110', '10001', '10001', '11110', '10000', '10000', '10000'],
    'Q': ['01110', '10001', '10001', '10001', '10101', '10010', '01101'],
    'R': ['11110', '10001', '10001', '11110', '10100', '10010', '10001'],
    'S': ['01111', '10000', '10000', '01110', '00001', '00001', '11110'],
    'T': ['11111', '00100', '00100', '00100', '00100', '00100', '00100'],
    'U': ['10001', '10001', '10001', '10001', '10001', '10001', '01110'],
    'V': ['10001', '10001', '10001', '10001', '10001', '01010', '00100'],
    'W': ['10001', '10001', '10001', '10101', '10101', '10101', '01010'],
    'X': ['10001', '10001', '01010', '00100', '01010', '10001', '10001'],
    'Y': ['10001', '10001', '01010', '00100', '00100', '00100', '00100'],
    'Z': ['11111', '00001', '00010', '00100', '01000', '10000', '11111'],
    ':': ['00000', '00100', '00100', '00000', '00100', '00100', '00000'],
    '/': ['00001', '00001', '00010', '00100', '01000', '10000', '10000'],
    '-': ['00000', '00000', '00000', '11111', '00000', '00000', '00000'],
    '+': ['00000', '00100', '00100', '11111', '00100', '00100', '00000'],
    '.': ['00000', '00000', '00000', '00000', '00000', '01100', '01100'],
    ' ': ['00000'] * 7,
}


def text_width(text, scale, spacing=1):
    return len(text) * (5 + spacing) * scale - spacing * scale


def draw_text(pic, x0, y0, text, scale, colour, shadow=None, outline=None, spacing=1):
    """Lettering in the 5 x 7 font, each font pixel a rounded block of scale pixels."""
    cells = []
    for i, ch in enumerate(text.upper()):
        for gy, row in enumerate(GLYPHS.get(ch, GLYPHS[' '])):
            for gx, bit in enumerate(row):
                if bit == '1':
                    cells.append((x0 + (i * (5 + spacing) + gx) * scale, y0 + gy * scale))
    if outline:
        grow = max(1, scale // 3)
        for cx, cy in cells:
            pic.rect(cx - grow, cy - grow, cx + scale + grow, cy + scale + grow, outline)
    if shadow:
        for cx, cy in cells:
            pic.rect(cx + max(1, scale // 3), cy + max(1, scale // 3),
                     cx + scale + max(1, scale // 3), cy + scale + max(1, scale // 3), shadow)
    for cx, cy in cells:
        for y in range(scale):
            depth = (cy + y - y0) / max(1, 7 * scale - 1)
            pic.rect(cx, cy + y, cx + scale, cy + y + 1, mix(colour, shade(colour, 0.8), depth))


# --- Landscape pictures (title and settings) ------------------------------------------------

def smooth_noise(seed, count):
    rnd = random.Random(seed)
    return [rnd.uniform(-1, 1) for _ in range(count)]


def ridge(x, seed_values, base, amplitude, period):
    """A gentle hill line from a few smooth octaves."""
    h = base
    for octave, (phase, amp) in enumerate(seed_values):
        f = (2 ** octave) / period
        h += math.sin(x * f * 2 * math.pi + phase * 6.28) * amplitude * amp / (octave + 1)
    return h


def draw_tree(pic, x, ground, size, leaf, trunk):
    pic.rect(int(x - size * 0.08), int(ground - size * 0.55), int(x + size * 0.08) + 1, int(ground),
             trunk)
    for dx, dy, r in ((0, -0.75, 0.34), (-0.22, -0.58, 0.26), (0.22, -0.58, 0.26), (0, -0.5, 0.28)):
        pic.disc(x + dx * size, ground + dy * size, r * size, leaf)
    pic.disc(x - size * 0.1, ground - size * 0.85, size * 0.12, mix(leaf, (255, 255, 220), 0.25), 0.7)


def landscape(seed, sun_x, title_band):
    pic = Picture(640, 480)
    rnd = random.Random(seed)
    for y in range(480):
        t = y / 300
        sky = mix((92, 150, 214), (236, 214, 170), min(1.0, t))
        for x in range(640):
            pic.rows[y][x] = clamp_colour(sky)
    pic.disc(sun_x, 150, 44, (255, 240, 200), 0.35)
    pic.disc(sun_x, 150, 30, (255, 246, 214))
    for _ in range(6):
        cx, cy = rnd.uniform(0, 640), rnd.uniform(30, 200)
        for k in range(18):
            pic.disc(cx + rnd.uniform(-60, 60), cy + rnd.uniform(-6, 6), rnd.uniform(8, 18),
                     (250, 246, 240), 0.12)
    layers = [
        (300, 40, 500, (120, 156, 170), None),
        (330, 30, 300, (94, 140, 110), (70, 110, 84)),
        (370, 26, 220, (78, 128, 74), (52, 96, 52)),
    ]
    for index, (base, amplitude, period, colour, trees) in enumerate(layers):
        octaves = [(rnd.random(), rnd.uniform(0.5, 1.0)) for _ in range(3)]
        heights = [ridge(x, octaves, base, amplitude, period) for x in range(640)]
        for x in range(640):
            for y in range(max(0, int(heights[x])), 480):
                depth = (y - heights[x]) / 200
                pic.rows[y][x] = clamp_colour(mix(colour, shade(colour, 0.8), min(1.0, depth)))
            pic.blend(x, int(heights[x]), mix(colour, (255, 255, 255), 0.3), 0.6)
        if trees:
            for _ in range(14 + index * 6):
                tx = rnd.uniform(0, 640)
                draw_tree(pic, tx, heights[int(tx)] + 6, rnd.uniform(18, 30) * (index + 1) / 2,
                          shade(trees, rnd.uniform(0.85, 1.1)), (92, 70, 50))
    # The meadow in front, with grass strokes and flowers.
    for y in range(410, 480):
        for x in range(640):
            pic.rows[y][x] = clamp_colour(mix((88, 140, 64), (64, 112, 48), (y - 410) / 70))
    for _ in range(900):
        x, y = rnd.uniform(0, 640), rnd.uniform(405, 480)
        pic.line(x, y, x + rnd.uniform(-2, 2), y - rnd.uniform(4, 9), 1.0,
                 rnd.choice([(120, 176, 80), (70, 120, 52), (140, 190, 96)]), 0.7)
    for _ in range(60):
        x, y = rnd.uniform(0, 640), rnd.uniform(420, 478)
        pic.disc(x, y, 1.6, rnd.choice([(250, 240, 120), (250, 200, 210), (240, 240, 250)]))
    # A calm, lighter band where the menu text goes (left part of the lower half).
    x0, y0, x1, y1 = title_band
    for y in range(y0 - 12, y1 + 12):
        for x in range(x0 - 12, x1 + 12):
            ex = min(x - x0, x1 - x, y - y0, y1 - y)
            alpha = 0.62 if ex >= 0 else 0.62 * max(0.0, 1 + ex / 12)
            pic.blend(x, y, (226, 232, 214), alpha)
    return pic


def title_picture():
    pic = landscape(11, 470, (24, 330, 230, 416))
    text = 'ECOSYSTEM'
    draw_text(pic, (640 - text_width(text, 8)) // 2, 64, text, 8, (250, 252, 240),
              shadow=(60, 90, 60), outline=(40, 70, 48))
    sub = 'TREES  INSECTS  BEASTS'
    draw_text(pic, (640 - text_width(sub, 3)) // 2, 142, sub, 3, (60, 86, 60))
    hint = 'Z: DECIDE   X: CANCEL'
    draw_text(pic, 640 - text_width(hint, 2) - 16, 458, hint, 2, (236, 244, 226), shadow=(40, 70, 40))
    return pic


def option_picture():
    pic = landscape(23, 140, (24, 312, 300, 420))
    draw_text(pic, 40, 44, 'SETTINGS', 6, (250, 252, 240), shadow=(60, 90, 60), outline=(40, 70, 48))
    lines = ['UP / DOWN: CHOOSE A ROW', 'LEFT / RIGHT: CHANGE IT', 'Z: START   X: BACK']
    for i, line in enumerate(lines):
        draw_text(pic, 42, 110 + i * 22, line, 2, (50, 76, 56))
    return pic


# --- The sprite sheet ----------------------------------------------------------------------

def ground_tile():
    tile = Picture(16, 16)
    rnd = random.Random(5)
    for y in range(16):
        for x in range(16):
            wave = math.sin((x + y * 0.5) * 0.8) * 0.5 + math.sin((y - x) * 0.6) * 0.5
            tile.set(x, y, opaque(mix((86, 132, 58), (104, 150, 68), 0.5 + wave * 0.4)))
    for _ in range(10):
        x, y = rnd.randrange(16), rnd.randrange(16)
        tile.set(x, y, (124, 170, 80))
        tile.set(x, (y + 1) % 16, (112, 160, 74))
    for _ in range(5):
        x, y = rnd.randrange(16), rnd.randrange(16)
        tile.set(x, y, (72, 114, 50))
    return tile


def tree_sprite(fruit):
    s = Picture(16, 16)
    s.rect(7, 10, 9, 16, (110, 76, 44))
    s.set(6, 15, (96, 66, 38))
    s.set(9, 15, (96, 66, 38))
    for cx, cy, r in ((8, 5.5, 5.2), (4.5, 8, 3.6), (11.5, 8, 3.6)):
        s.disc(cx, cy, r, (40, 120, 44))
    for cx, cy, r in ((7, 4.5, 3.0), (4, 7.2, 1.8), (10.5, 6.8, 1.9)):
        s.disc(cx, cy, r, (76, 162, 64), 0.9)
    s.disc(6.2, 3.4, 1.2, (140, 206, 110), 0.9)
    if fruit:
        for fx, fy in ((4, 8), (11, 6), (8, 9), (10, 10)):
            s.set(fx, fy, (226, 58, 48))
            s.set(fx, fy - 1, (250, 140, 120))
    return finish_sprite(s)


def fruit_sprite():
    s = Picture(16, 16)
    s.disc(8, 9.5, 4.6, (206, 44, 40))
    s.disc(6.6, 8.2, 1.6, (250, 150, 130), 0.9)
    s.rect(8, 3, 9, 6, (104, 72, 40))
    s.disc(10.2, 4.4, 1.6, (84, 168, 64))
    return finish_sprite(s)


def insect_sprite():
    s = Picture(16, 16)
    for side in (-1, 1):  # legs
        for k in (-2, 0, 2):
            s.line(8, 8 + k, 8 + side * 6, 8 + k + (k * 0.7), 1.0, (70, 52, 30))
    s.line(8, 3, 5.5, 0.5, 1.0, (70, 52, 30))
    s.line(8, 3, 10.5, 0.5, 1.0, (70, 52, 30))
    s.disc(8, 10, 3.6, (214, 170, 40))
    s.rect(5, 10, 11, 11, (90, 64, 24))
    s.rect(5, 12, 11, 13, (90, 64, 24))
    s.disc(8, 5.2, 2.4, (120, 90, 40))
    s.set(7, 4, (250, 250, 240))
    s.set(9, 4, (250, 250, 240))
    return finish_sprite(s)


def beast_sprite():
    """A fox-like beast facing right."""
    s = Picture(16, 16)
    body = (204, 112, 44)
    dark = (150, 76, 30)
    s.disc(7, 9.5, 4.0, body)  # body
    s.disc(4, 9.8, 3.2, body)
    s.disc(12, 7, 3.0, body)  # head
    s.line(13, 7.5, 15.4, 8.2, 2.2, body)  # snout
    s.set(15, 8, (60, 40, 30))
    s.line(11, 5, 10.5, 2.2, 1.6, dark)  # ears
    s.line(13, 5, 13.6, 2.2, 1.6, dark)
    s.line(3, 9, 0.6, 6, 2.2, dark)  # tail
    s.set(0, 5, (240, 226, 210))
    for lx in (4, 6, 9, 10):  # legs
        s.rect(lx, 13, lx + 1, 16, dark)
    s.disc(6.5, 11, 2.0, (236, 200, 150), 0.7)  # belly
    s.set(12, 6, (30, 24, 20))  # eye
    return finish_sprite(s)


def finish_sprite(s):
    """Darkens the rim of the shape a little so it stands off the grass, without pure black."""
    out = Picture(16, 16)
    for y in range(16):
        for x in range(16):
            c = s.get(x, y)
            if c == BLACK:
                continue
            edge = any(not (0 <= x + dx < 16 and 0 <= y + dy < 16) or s.get(x + dx, y + dy) == BLACK
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            out.set(x, y, opaque(shade(c, 0.72) if edge else c))
    return out


def object_sheet():
    sheet = Picture(160, 16)
    pieces = [ground_tile(), tree_sprite(False), tree_sprite(True), fruit_sprite(), insect_sprite(),
              beast_sprite()]
    for index, piece in enumerate(pieces):
        sheet.paste(piece, index * 16, 0)
    return sheet


# --- The panel sheets ----------------------------------------------------------------------

PANEL = (30, 44, 40)
PANEL_LIGHT = (70, 100, 84)
GOLD = (214, 184, 110)


def bevel_box(pic, x0, y0, x1, y1, fill, light, dark):
    pic.rect(x0, y0, x1, y1, fill)
    pic.rect(x0, y0, x1, y0 + 1, light)
    pic.rect(x0, y0, x0 + 1, y1, light)
    pic.rect(x0, y1 - 1, x1, y1, dark)
    pic.rect(x1 - 1, y0, x1, y1, dark)


def frame_sheet():
    pic = Picture(640, 192)
    # Bottom panel 640 x 64: a dark green board with a bright top rim and recesses.
    for y in range(64):
        for x in range(640):
            pic.rows[y][x] = clamp_colour(mix((40, 60, 52), (22, 32, 30), y / 63))
    pic.rect(0, 0, 640, 2, GOLD)
    pic.rect(0, 2, 640, 3, (120, 104, 64))
    for x0, x1 in ((136, 326), (328, 440)):  # the counts and the air bar sit in recesses
        bevel_box(pic, x0, 40, x1, 62, (18, 28, 26), (10, 16, 14), (80, 110, 90))
    for cx in (524, 584):  # sockets behind the round tool buttons
        pic.disc(cx, 38, 26, (16, 24, 22))
        pic.ring(cx, 38, 26, 1.5, (90, 120, 100))
    # Info panel 296 x 128 at y 64.
    for y in range(128):
        for x in range(296):
            pic.rows[64 + y][x] = clamp_colour(mix((44, 62, 58), (24, 34, 34), y / 127))
    pic.rect(0, 64 + 126, 296, 64 + 128, GOLD)
    pic.rect(294, 64, 296, 64 + 128, GOLD)
    return pic


def round_button(active, icon):
    b = Picture(48, 48)
    rim = (240, 214, 130) if active else (120, 130, 120)
    face_top = (120, 190, 140) if active else (80, 96, 90)
    face_bottom = (50, 110, 70) if active else (40, 52, 48)
    for y in range(48):
        for x in range(48):
            d = math.hypot(x + 0.5 - 24, y + 0.5 - 24)
            if d < 23.5:
                b.set(x, y, opaque(mix(face_top, face_bottom, y / 47)))
    b.ring(24, 24, 21.5, 3.0, rim)
    b.disc(18, 14, 7, (255, 255, 255), 0.18)
    glyph = (250, 250, 236) if active else (190, 196, 186)
    if icon == 'select':  # an arrow pointer
        points = [(17, 11), (17, 34), (22, 29), (26, 37), (29, 35.5), (25, 28), (32, 28)]
        fill_polygon(b, points, glyph)
    else:  # a magnifying glass
        b.ring(21, 21, 8, 3.0, glyph)
        b.disc(21, 21, 6.5, (200, 230, 250), 0.35)
        b.line(27, 27, 34, 34, 4.0, glyph)
    return b


def fill_polygon(pic, points, colour):
    for y in range(pic.height):
        for x in range(pic.width):
            hits = 0
            for sy in (0.25, 0.75):
                for sx in (0.25, 0.75):
                    if inside(points, x + sx, y + sy):
                        hits += 1
            pic.blend(x, y, colour, hits / 4)


def inside(points, px, py):
    result = False
    for i in range(len(points)):
        (x0, y0), (x1, y1) = points[i], points[i - 1]
        if (y0 > py) != (y1 > py) and px < (x1 - x0) * (py - y0) / (y1 - y0) + x0:
            result = not result
    return result


def nutrient_drop(pic, x0, width, count):
    """Green drops: one small (1), one large (5), two large (10)."""
    centres = {8: [(4, 0.0)], 16: [(8, 1.0)], 24: [(7, 1.0), (17, 1.0)]}[width]
    for cx, big in centres:
        r = 2.6 + big * 1.6
        cy = 10
        pic.disc(x0 + cx, 24 + cy, r, (60, 190, 90))
        pic.line(x0 + cx, 24 + cy - r * 2.1, x0 + cx, 24 + cy - r * 0.6, r * 0.9, (60, 190, 90))
        pic.disc(x0 + cx - r * 0.35, 24 + cy - r * 0.3, r * 0.35, (200, 250, 210), 0.8)


def system_sheet():
    pic = Picture(296, 128)
    # Portrait frame 96 x 128: a golden frame round a 48 x 48 window at (24, 24), a plain lower
    # part for the age line.
    for y in range(128):
        for x in range(96):
            pic.rows[y][x] = clamp_colour(mix((52, 70, 62), (30, 42, 40), y / 127))
    bevel_box(pic, 2, 2, 94, 126, (40, 56, 50), GOLD, (110, 90, 50))
    pic.rect(3, 3, 93, 125, (40, 56, 50))
    bevel_box(pic, 18, 18, 78, 78, (70, 60, 40), (120, 100, 60), GOLD)
    for y in range(20, 76):
        for x in range(20, 76):
            pic.set(x, y, mix((150, 190, 120), (92, 140, 80), (y - 20) / 55))
    for cx, cy in ((9, 9), (87, 9), (9, 119), (87, 119)):
        pic.disc(cx, cy, 3.2, GOLD)
    # Energy bar 200 x 24: warm gradient, brighter top.
    for y in range(24):
        for x in range(200):
            base = mix((230, 90, 60), (250, 210, 70), x / 199)
            if x > 120:
                base = mix(base, (110, 220, 100), (x - 120) / 79)
            light = 1.15 - abs(y - 7) / 24
            c = opaque(shade(base, light))
            if y in (0, 23) or x == 0:
                c = opaque(shade(base, 0.55))
            pic.set(96 + x, y, c)
    # Nutrient icons 10 / 5 / 1 at (96, 24), (120, 24), (136, 24).
    nutrient_drop(pic, 96, 24, 10)
    nutrient_drop(pic, 120, 16, 5)
    nutrient_drop(pic, 136, 8, 1)
    # Air bar 106 x 16 from (144, 24): sky-blue gradient.
    for y in range(16):
        for x in range(106):
            base = mix((120, 180, 240), (200, 236, 255), x / 105)
            c = shade(base, 1.1 - abs(y - 5) / 18)
            if y in (0, 15):
                c = shade(base, 0.6)
            pic.set(144 + x, 24 + y, opaque(c))
    # Air bar cap 46 x 16 at (250, 24): a label plate "AIR"; the rest is transparent.
    bevel_box(pic, 250, 24, 272, 40, (40, 70, 100), (140, 190, 230), (20, 40, 60))
    draw_text(pic, 252, 29, 'AIR', 1, (236, 246, 255), spacing=1)
    # Label strip 200 x 28 at (96, 48): a rule under the energy bar and a "N" tag before the
    # nutrient icons; its middle stays transparent so the icons show.
    pic.rect(96, 57, 296, 58, GOLD)
    bevel_box(pic, 98, 60, 117, 74, (50, 90, 60), (110, 170, 120), (30, 50, 36))
    draw_text(pic, 99, 64, 'NUT', 1, (230, 250, 230), spacing=0)
    # Tool buttons at y 80: select inactive (96), zoom inactive (144), select active (192),
    # zoom active (240).
    pic.paste(round_button(False, 'select'), 96, 80)
    pic.paste(round_button(False, 'zoom'), 144, 80)
    pic.paste(round_button(True, 'select'), 192, 80)
    pic.paste(round_button(True, 'zoom'), 240, 80)
    return pic


# --- Sound effects -------------------------------------------------------------------------

RATE = 22050


def envelope(t, length, attack=0.004, release=0.04):
    a = min(1.0, t / attack) if attack > 0 else 1.0
    r = min(1.0, (length - t) / release) if release > 0 else 1.0
    return max(0.0, min(a, r))


def tone_samples(parts):
    """parts: (frequency, seconds, volume); each note fades in and out, with a soft octave."""
    samples = []
    for freq, seconds, volume in parts:
        n = int(RATE * seconds)
        for i in range(n):
            t = i / RATE
            v = math.sin(2 * math.pi * freq * t) + 0.25 * math.sin(4 * math.pi * freq * t)
            samples.append(v * volume * envelope(t, seconds, 0.004, min(0.05, seconds / 2)) / 1.25)
    return samples


def tick_samples():
    rnd = random.Random(42)
    seconds = 0.035
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        decay = math.exp(-t * 160)
        out.append((math.sin(2 * math.pi * 2400 * t) * 0.6 + rnd.uniform(-1, 1) * 0.25) * decay * 0.7
                   * envelope(t, seconds, 0.0008, 0.01))
    return out


def save_wave(path, samples):
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b''.join(struct.pack('<h', int(max(-1, min(1, s)) * 30000)) for s in samples))


# --- Output ---------------------------------------------------------------------------------

def save_jpeg(picture, path):
    with tempfile.TemporaryDirectory() as scratch:
        bmp = os.path.join(scratch, 'picture.bmp')
        picture.save_bmp(bmp)
        subprocess.run(['convert', bmp, '-strip', '-interlace', 'none', '-sampling-factor', '2x2',
                        '-quality', '90', 'JPEG:' + path], check=True)


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'data', 'Data')
    images, sounds = os.path.join(out, 'Image'), os.path.join(out, 'SE')
    os.makedirs(images, exist_ok=True)
    os.makedirs(sounds, exist_ok=True)
    object_sheet().save_bmp(os.path.join(images, 'Object.bmp'))
    system_sheet().save_bmp(os.path.join(images, 'System.bmp'))
    frame_sheet().save_bmp(os.path.join(images, 'frame.bmp'))
    save_jpeg(title_picture(), os.path.join(images, 'Title.jpg'))
    save_jpeg(option_picture(), os.path.join(images, 'Option.jpg'))
    save_wave(os.path.join(sounds, 'Enter-pi32.wav'),
              tone_samples([(880, 0.07, 0.55), (1318.5, 0.12, 0.55)]))
    save_wave(os.path.join(sounds, 'Cansel-pi01.wav'),
              tone_samples([(784, 0.07, 0.5), (523.25, 0.12, 0.5)]))
    save_wave(os.path.join(sounds, 'Click-pi42.wav'), tick_samples())


if __name__ == '__main__':
    main()
