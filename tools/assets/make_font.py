#!/usr/bin/env python3
"""Builds src/data/glyph_font.bin, the demo's 8 by 12 glyph font in code page 437 order.

Sources (Debian package console-data, installed under /usr/share/consolefonts):
  lat1-12.psf.gz  the Latin-1 8x12 console font by H. Peter Anvin (first source)
  lat4-12.psf.gz  the Latin-4 8x12 console font of the same family (second source)
console-data is distributed under the GNU General Public License, version 2; see
/usr/share/doc/console-data/copyright and /usr/share/common-licenses/GPL-2.

Every code page 437 character (code points from src/terminal/cp437.cpp) is looked up in the
Unicode table of the first font, then of the second. A character that neither has is, in
this order of preference:
  - taken from a look-alike code point that one of the fonts has (for example the bullet
    operator from the middle dot),
  - composed, for the box drawing characters that mix single and double lines, from the
    first font's own single and double strokes, so that they join their neighbours,
  - drawn here, in the fonts' style (strokes two pixels wide, capitals on rows 1 to 9).
Codes 0 and 255 are blank. The tool prints which characters needed a fallback.

Usage:  python3 tools/assets/make_font.py [--preview font.png]
Writes src/data/glyph_font.bin (3072 bytes: 256 glyphs of 12 rows, bit 7 the leftmost
pixel); the same sources always give the same bytes. --preview also writes an enlarged
picture of the 256 glyphs and a few joined sample lines, for checking by eye.
"""

import argparse
import gzip
import pathlib
import re
import struct
import sys
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
FONT_DIR = pathlib.Path("/usr/share/consolefonts")
SOURCES = ["lat1-12.psf.gz", "lat4-12.psf.gz"]
OUTPUT = ROOT / "src" / "data" / "glyph_font.bin"
CODE_POINT_FILE = ROOT / "src" / "terminal" / "cp437.cpp"

WIDTH = 8
HEIGHT = 12

# Code points that look the same as a code page 437 character, tried when no font has the
# character itself.
LOOKALIKES = {
    0x2666: [0x25C6],  # black diamond suit <- black diamond
    0x25BA: [0x25B6],  # black right-pointing pointer <- triangle
    0x25C4: [0x25C0],  # black left-pointing pointer <- triangle
    0x2219: [0x00B7],  # bullet operator <- middle dot
}

# Box drawing characters that mix single and double lines: (up, down, left, right), each
# 0 (no arm), 1 (single line) or 2 (double line).
MIXED_BOX_ARMS = {
    0x2552: (0, 1, 0, 2), 0x2553: (0, 2, 0, 1), 0x2555: (0, 1, 2, 0), 0x2556: (0, 2, 1, 0),
    0x2558: (1, 0, 0, 2), 0x2559: (2, 0, 0, 1), 0x255B: (1, 0, 2, 0), 0x255C: (2, 0, 1, 0),
    0x255E: (1, 1, 0, 2), 0x255F: (2, 2, 0, 1), 0x2561: (1, 1, 2, 0), 0x2562: (2, 2, 1, 0),
    0x2564: (0, 1, 2, 2), 0x2565: (0, 2, 1, 1), 0x2567: (1, 0, 2, 2), 0x2568: (2, 0, 1, 1),
    0x256A: (1, 1, 2, 2), 0x256B: (2, 2, 1, 1),
}

# Our own drawings for the characters that neither font has; '#' is ink. Rows not given
# are blank; each drawing starts at row 0.
DRAWN = {
    0x263A: [  # white smiling face
        "........",
        "........",
        ".######.",
        "#......#",
        "#.#..#.#",
        "#......#",
        "#.#..#.#",
        "#..##..#",
        "#......#",
        ".######.",
    ],
    0x263B: [  # black smiling face
        "........",
        "........",
        ".######.",
        "########",
        "##.##.##",
        "########",
        "##.##.##",
        "###..###",
        "########",
        ".######.",
    ],
    0x2665: [  # black heart suit
        "........",
        "........",
        ".##..##.",
        "########",
        "########",
        "########",
        ".######.",
        "..####..",
        "...##...",
    ],
    0x2663: [  # black club suit
        "........",
        "...##...",
        "..####..",
        "..####..",
        "##.##.##",
        "########",
        "########",
        "##.##.##",
        "...##...",
        "..####..",
    ],
    0x2660: [  # black spade suit
        "........",
        "...##...",
        "..####..",
        ".######.",
        "########",
        "########",
        "########",
        ".#.##.#.",
        "...##...",
        "..####..",
    ],
    0x2022: [  # bullet
        "........",
        "........",
        "........",
        "........",
        "...##...",
        "..####..",
        "..####..",
        "...##...",
    ],
    0x25CB: [  # white circle
        "........",
        "........",
        "........",
        "..####..",
        ".##..##.",
        ".#....#.",
        ".#....#.",
        ".##..##.",
        "..####..",
    ],
    0x2642: [  # male sign
        "........",
        "...####.",
        ".....##.",
        "....#.#.",
        ".####...",
        "##..##..",
        "##..##..",
        "##..##..",
        ".####...",
    ],
    0x2640: [  # female sign
        "........",
        "..####..",
        ".##..##.",
        ".##..##.",
        ".##..##.",
        "..####..",
        "...##...",
        ".######.",
        "...##...",
        "...##...",
    ],
    0x266A: [  # eighth note
        "........",
        "...##...",
        "...###..",
        "...##.#.",
        "...##..#",
        "...##...",
        "...##...",
        ".####...",
        "#####...",
        ".###....",
    ],
    0x266B: [  # beamed eighth notes
        "........",
        "..######",
        "..##..##",
        "..######",
        "..##..##",
        "..##..##",
        "..##..##",
        "####.###",
        "####.###",
        ".##...#.",
    ],
    0x263C: [  # white sun with rays
        "........",
        "...##...",
        "#..##..#",
        ".######.",
        ".##..##.",
        "###..###",
        ".##..##.",
        ".######.",
        "#..##..#",
        "...##...",
    ],
    0x203C: [  # double exclamation mark
        "........",
        ".##.##..",
        ".##.##..",
        ".##.##..",
        ".##.##..",
        ".##.##..",
        ".##.##..",
        "........",
        ".##.##..",
        ".##.##..",
    ],
    0x25AC: [  # black rectangle
        "........",
        "........",
        "........",
        "........",
        "........",
        "........",
        "........",
        "#######.",
        "#######.",
        "#######.",
    ],
    0x21A8: [  # up down arrow with base
        "...##...",
        "..####..",
        ".######.",
        "...##...",
        "...##...",
        "...##...",
        ".######.",
        "..####..",
        "...##...",
        "........",
        ".######.",
    ],
    0x221F: [  # right angle
        "........",
        "........",
        "........",
        "........",
        "##......",
        "##......",
        "##......",
        "#######.",
    ],
    0x25B2: [  # black up-pointing triangle
        "........",
        "........",
        "...#....",
        "..###...",
        "..###...",
        ".#####..",
        ".#####..",
        "#######.",
        "#######.",
    ],
    0x2302: [  # house
        "........",
        "........",
        "...#....",
        "..###...",
        ".##.##..",
        "##...##.",
        "##...##.",
        "##...##.",
        "#######.",
    ],
    0x20A7: [  # peseta sign
        "........",
        "####....",
        "##.##...",
        "##.##.#.",
        "####.###",
        "##....#.",
        "##....#.",
        "##....#.",
        "##....##",
    ],
    0x03B1: [  # alpha
        "........",
        "........",
        "........",
        "........",
        ".###.##.",
        "##.###..",
        "##..##..",
        "##..##..",
        "##.###..",
        ".###.##.",
    ],
    0x0393: [  # capital gamma
        "........",
        "#######.",
        ".##..##.",
        ".##.....",
        ".##.....",
        ".##.....",
        ".##.....",
        ".##.....",
        ".##.....",
        "####....",
    ],
    0x03A3: [  # capital sigma
        "........",
        "#######.",
        "##...##.",
        ".##.....",
        "..##....",
        "...##...",
        "..##....",
        ".##.....",
        "##...##.",
        "#######.",
    ],
    0x03C3: [  # sigma
        "........",
        "........",
        "........",
        "........",
        ".######.",
        "##.##...",
        "##..##..",
        "##..##..",
        "##..##..",
        ".####...",
    ],
    0x03C4: [  # tau
        "........",
        "........",
        "........",
        "........",
        ".######.",
        "##.##...",
        "...##...",
        "...##...",
        "...##...",
        "....###.",
    ],
    0x03A6: [  # capital phi
        "........",
        ".######.",
        "...##...",
        ".######.",
        "##.##.##",
        "##.##.##",
        "##.##.##",
        ".######.",
        "...##...",
        ".######.",
    ],
    0x0398: [  # capital theta
        "........",
        ".#####..",
        "##...##.",
        "##...##.",
        "##...##.",
        "#######.",
        "##...##.",
        "##...##.",
        "##...##.",
        ".#####..",
    ],
    0x03A9: [  # capital omega
        "........",
        ".#####..",
        "##...##.",
        "##...##.",
        "##...##.",
        "##...##.",
        ".##.##..",
        ".##.##..",
        ".##.##..",
        "###.###.",
    ],
    0x03B4: [  # delta
        "........",
        "..#####.",
        ".##.....",
        "..##....",
        ".#####..",
        "##...##.",
        "##...##.",
        "##...##.",
        "##...##.",
        ".#####..",
    ],
    0x221E: [  # infinity
        "........",
        "........",
        "........",
        "........",
        ".##..##.",
        "#..##..#",
        "#..##..#",
        ".##..##.",
    ],
    0x03C6: [  # phi
        "........",
        "........",
        "........",
        "...##...",
        ".######.",
        "##.##.##",
        "##.##.##",
        "##.##.##",
        ".######.",
        "...##...",
        "...##...",
    ],
    0x03B5: [  # epsilon
        "........",
        "........",
        "........",
        "........",
        "..####..",
        ".##.....",
        ".####...",
        ".##.....",
        ".##.....",
        "..####..",
    ],
    0x2229: [  # intersection
        "........",
        "........",
        "........",
        ".#####..",
        "##...##.",
        "##...##.",
        "##...##.",
        "##...##.",
        "##...##.",
        "##...##.",
    ],
    0x2261: [  # identical to
        "........",
        "........",
        "........",
        "#######.",
        "........",
        "#######.",
        "........",
        "#######.",
    ],
    0x2320: [  # top half integral; the stem runs on into the bottom half below
        "........",
        "........",
        "....###.",
        "...##.##",
        "...##.##",
        "...##...",
        "...##...",
        "...##...",
        "...##...",
        "...##...",
        "...##...",
        "...##...",
    ],
    0x221A: [  # square root
        "........",
        "....####",
        "....##..",
        "....##..",
        "....##..",
        "##..##..",
        ".##.##..",
        "..####..",
        "...###..",
        "....##..",
    ],
    0x207F: [  # superscript n
        "........",
        ".####...",
        ".##.##..",
        ".##.##..",
        ".##.##..",
        ".##.##..",
    ],
    0x25A0: [  # black square
        "........",
        "........",
        "........",
        ".#####..",
        ".#####..",
        ".#####..",
        ".#####..",
        ".#####..",
    ],
}

# Characters made from another glyph by a transformation: (transformation, source code
# point), the source looked up like any other character.
TRANSFORMED = {
    0x25D8: ("invert", 0x2022),  # inverse bullet
    0x25D9: ("invert", 0x25CB),  # inverse white circle
    0x25BC: ("flip", 0x25B2),  # black down-pointing triangle, the up-pointing one upside down
    0x2310: ("mirror", 0x00AC),  # reversed not sign
    0x2321: ("turn", 0x2320),  # bottom half integral, the top half turned half a circle
}


def read_psf(path):
    """Glyphs (12-byte strings) and the Unicode table (code point -> glyph number)."""
    data = gzip.open(path).read()
    table = {}
    if data[:2] == b"\x36\x04":  # version 1
        mode, height = data[2], data[3]
        count = 512 if mode & 1 else 256
        width, offset = 8, 4
        glyphs = [data[offset + i * height : offset + (i + 1) * height] for i in range(count)]
        position = offset + count * height
        if mode & 6:
            for index in range(count):
                in_sequence = False
                while True:
                    (value,) = struct.unpack_from("<H", data, position)
                    position += 2
                    if value == 0xFFFF:
                        break
                    if value == 0xFFFE:
                        in_sequence = True
                    elif not in_sequence:
                        table.setdefault(value, index)
    elif data[:4] == b"\x72\xb5\x4a\x86":  # version 2
        _, _, header, flags, count, size, height, width = struct.unpack_from("<8I", data)
        glyphs = [data[header + i * size : header + (i + 1) * size] for i in range(count)]
        if flags & 1:
            entries = data[header + count * size :].split(b"\xff")
            for index in range(count):
                for char in entries[index].split(b"\xfe")[0].decode("utf-8"):
                    table.setdefault(ord(char), index)
    else:
        raise SystemExit(f"{path}: not a PSF font")
    if width != WIDTH or height != HEIGHT:
        raise SystemExit(f"{path}: {width}x{height}, expected {WIDTH}x{HEIGHT}")
    return glyphs, table


def read_code_points():
    text = CODE_POINT_FILE.read_text()
    match = re.search(r"kCp437CodePoints\[256\]\s*=\s*\{(.*?)\};", text, re.S)
    points = [int(value, 16) for value in re.findall(r"0x([0-9a-fA-F]+)", match.group(1))]
    if len(points) != 256:
        raise SystemExit(f"{CODE_POINT_FILE}: {len(points)} code points, expected 256")
    return points


def rows_of(drawing):
    rows = [int(line.replace(".", "0").replace("#", "1"), 2) for line in drawing]
    if len(rows) > HEIGHT or any(len(line) != WIDTH for line in drawing):
        raise SystemExit(f"bad drawing: {drawing}")
    return bytes(rows + [0] * (HEIGHT - len(rows)))


def column_runs(glyph):
    """Runs of columns inked in every row, as (first, last) pairs, left to right."""
    mask = 0xFF
    for row in glyph:
        mask &= row
    return runs([(mask >> (7 - column)) & 1 for column in range(WIDTH)])


def row_runs(glyph):
    """Runs of rows inked across the whole width, as (first, last) pairs, top to bottom."""
    return runs([1 if row == 0xFF else 0 for row in glyph])


def runs(flags):
    found, start = [], None
    for position, flag in enumerate(flags + [0]):
        if flag and start is None:
            start = position
        elif not flag and start is not None:
            found.append((start, position - 1))
            start = None
    return found


def compose_box(arms, strokes):
    """A box drawing glyph that mixes a single line with a double line.

    A single arm that meets a double line that runs on (a T-junction) stops at the nearer
    rail; one that meets a double corner reaches the farther rail. A double arm meeting a
    single line runs to its far edge."""
    up, down, left, right = arms
    single_column, double_columns, single_row, double_rows = strokes
    image = [[0] * WIDTH for _ in range(HEIGHT)]

    def fill(top, bottom, first, last):
        for row in range(top, bottom + 1):
            for column in range(first, last + 1):
                image[row][column] = 1

    if max(up, down) == 2 and max(left, right) == 1:
        (h0, h1) = single_row
        (a0, a1), (b0, b1) = double_columns
        through = up and down
        for c0, c1 in double_columns:
            fill(0 if up else h0, HEIGHT - 1 if down else h1, c0, c1)
        if left and right:
            fill(h0, h1, 0, WIDTH - 1)
        elif left:
            fill(h0, h1, 0, a1 if through else b1)
        else:
            fill(h0, h1, b0 if through else a0, WIDTH - 1)
    elif max(up, down) == 1 and max(left, right) == 2:
        (v0, v1) = single_column
        (t0, t1), (u0, u1) = double_rows
        tee = left and right
        for r0, r1 in double_rows:
            fill(r0, r1, 0 if left else v0, WIDTH - 1 if right else v1)
        top = 0 if up else (u0 if tee else t0)
        bottom = HEIGHT - 1 if down else (t1 if tee else u1)
        fill(top, bottom, v0, v1)
    else:
        raise SystemExit(f"not a mixed box character: {arms}")
    return bytes(int("".join(map(str, row)), 2) for row in image)


def transform(kind, glyph):
    if kind == "invert":
        return bytes(0xFF ^ row for row in glyph)
    if kind == "flip":  # upside down
        return bytes(reversed(glyph))
    if kind == "mirror":  # left to right
        return bytes(int(f"{row:08b}"[::-1], 2) for row in glyph)
    if kind == "turn":  # half a circle
        return transform("mirror", transform("flip", glyph))
    raise SystemExit(f"unknown transformation {kind}")


class FontBuilder:
    def __init__(self, fonts):
        self.fonts = fonts  # [(name, glyphs, table)], in order of preference
        first_glyphs, first_table = fonts[0][1], fonts[0][2]
        stroke = lambda point: first_glyphs[first_table[point]]
        self.strokes = (
            one(column_runs(stroke(0x2502)), "single vertical line"),
            two(column_runs(stroke(0x2551)), "double vertical line"),
            one(row_runs(stroke(0x2500)), "single horizontal line"),
            two(row_runs(stroke(0x2550)), "double horizontal line"),
        )

    def from_fonts(self, point):
        for name, glyphs, table in self.fonts:
            if point in table:
                return glyphs[table[point]], name
        return None, None

    def glyph(self, point):
        """The glyph for one code point and how it was found."""
        glyph, name = self.from_fonts(point)
        if glyph is not None:
            return glyph, name
        for other in LOOKALIKES.get(point, []):
            glyph, name = self.from_fonts(other)
            if glyph is not None:
                return glyph, f"look-alike U+{other:04X} from {name}"
        if point in MIXED_BOX_ARMS:
            return compose_box(MIXED_BOX_ARMS[point], self.strokes), "composed of box strokes"
        if point in TRANSFORMED:
            kind, source = TRANSFORMED[point]
            glyph, how = self.glyph(source)
            return transform(kind, glyph), f"{kind} of U+{source:04X} ({how})"
        if point in DRAWN:
            return rows_of(DRAWN[point]), "drawn"
        raise SystemExit(f"no glyph for U+{point:04X}")


def one(found, what):
    if len(found) != 1:
        raise SystemExit(f"the {what} of the first font is not one stroke: {found}")
    return found[0]


def two(found, what):
    if len(found) != 2:
        raise SystemExit(f"the {what} of the first font is not two strokes: {found}")
    return tuple(found)


def check_basics(font):
    """A wrongly mapped Unicode table shows at once in the blank, the block and the shades."""
    ink = lambda code: sum(bin(row).count("1") for row in font[code])
    cells = WIDTH * HEIGHT
    if ink(32) != 0 or ink(219) != cells:
        raise SystemExit("space or full block wrong")
    shares = [ink(code) / cells for code in (176, 177, 178)]
    for share, expected in zip(shares, (0.25, 0.5, 0.75)):
        if abs(share - expected) > 0.05:
            raise SystemExit(f"shade characters have ink shares {shares}")


def write_png(path, pixels):
    """An 8-bit grey PNG of a list of rows of values 0..255."""
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\x00" + bytes(row) for row in pixels)

    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                     + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


_FRAME_GAP = [32, 32]
_BLANK_ROW = ([186, 32, 32, 179, 32, 32, 186] + _FRAME_GAP + [179, 32, 32, 186, 32, 32, 179]
              + _FRAME_GAP + [179, 32, 32, 179, 32, 32, 179] + _FRAME_GAP
              + [186, 32, 32, 186, 32, 32, 186])
# Four small frames that use every box drawing character mixing single and double lines,
# then the shades and blocks, then a line of text.
SAMPLE_LINES = [
    [201, 205, 205, 209, 205, 205, 187] + _FRAME_GAP + [218, 196, 196, 210, 196, 196, 191]
    + _FRAME_GAP + [213, 205, 205, 209, 205, 205, 184] + _FRAME_GAP
    + [214, 196, 196, 210, 196, 196, 183],
    _BLANK_ROW,
    [199, 196, 196, 197, 196, 196, 182] + _FRAME_GAP + [195, 196, 196, 215, 196, 196, 180]
    + _FRAME_GAP + [198, 205, 205, 216, 205, 205, 181] + _FRAME_GAP
    + [199, 196, 196, 215, 196, 196, 182],
    _BLANK_ROW,
    [200, 205, 205, 207, 205, 205, 188] + _FRAME_GAP + [192, 196, 196, 208, 196, 196, 217]
    + _FRAME_GAP + [212, 205, 205, 207, 205, 205, 190] + _FRAME_GAP
    + [211, 196, 196, 208, 196, 196, 189],
    [32] * 34,
    [176, 176, 177, 177, 178, 178, 219, 219, 223, 220, 221, 222, 32, 244, 32, 1, 2, 3, 4, 5, 6, 7,
     8, 9, 10, 11, 12, 13, 14, 15],
    [32] * 13 + [245, 32, 16, 17, 18, 19, 22, 23, 28, 30, 31, 127, 158, 169, 249, 251, 252, 254],
    [ord(c) for c in "Hello, world! "] + list(range(224, 241)),
]


def write_preview(path, font):
    scale, gap = 4, 2
    cell_w, cell_h = (WIDTH + gap) * scale, (HEIGHT + gap) * scale
    sample_top = 16 * cell_h + 4 * scale
    width = max(16 * cell_w, max(map(len, SAMPLE_LINES)) * WIDTH * scale)
    height = sample_top + len(SAMPLE_LINES) * HEIGHT * scale + scale
    pixels = [[40] * width for _ in range(height)]

    def put(glyph, x0, y0, background):
        for row in range(HEIGHT):
            for column in range(WIDTH):
                value = 255 if glyph[row] >> (7 - column) & 1 else background
                for dy in range(scale):
                    line = pixels[y0 + row * scale + dy]
                    for dx in range(scale):
                        line[x0 + column * scale + dx] = value

    for code in range(256):
        put(font[code], (code % 16) * cell_w, (code // 16) * cell_h, 90)
    for number, line in enumerate(SAMPLE_LINES):
        for position, code in enumerate(line):
            put(font[code], position * WIDTH * scale, sample_top + number * HEIGHT * scale, 0)
    write_png(path, pixels)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--preview", type=pathlib.Path, help="also write a PNG of the glyphs")
    arguments = parser.parse_args()

    fonts = [(name, *read_psf(FONT_DIR / name)) for name in SOURCES]
    builder = FontBuilder(fonts)
    points = read_code_points()
    font, fallbacks = [], []
    for code in range(256):
        if code in (0, 255):
            font.append(bytes(HEIGHT))
            continue
        glyph, how = builder.glyph(points[code])
        font.append(glyph)
        if how != SOURCES[0]:
            fallbacks.append(f"  {code:3d} U+{points[code]:04X} {chr(points[code])}  {how}")
    check_basics(font)

    OUTPUT.write_bytes(b"".join(font))
    print(f"wrote {OUTPUT.relative_to(ROOT)}; {len(fallbacks)} characters not in {SOURCES[0]}:")
    print("\n".join(fallbacks))
    if arguments.preview:
        write_preview(arguments.preview, font)


if __name__ == "__main__":
    main()
