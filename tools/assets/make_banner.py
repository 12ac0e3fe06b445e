#!/usr/bin/env python3
"""Makes src/data/scroll_banner.bin: the closing screen's scroll text, 1200 by 16 bytes.

One line of text drawn with an 8 by 16 console font, white (255) on black (0). The first 273
columns stay blank, so the text enters from the right some frames after the closing screen
starts, and the text is placed so that its last ink column is the banner's last column.

Font: lat1-16 from Debian's console-data package (/usr/share/consolefonts/lat1-16.psf.gz),
Latin-1 console font by H. Peter Anvin, GNU GPL version 2
(see /usr/share/doc/console-data/copyright). Characters are looked up through the font's
Unicode table.

Usage: python3 tools/assets/make_banner.py [--preview banner.png]
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import png  # noqa: E402
import psf  # noqa: E402

FONT = "/usr/share/consolefonts/lat1-16.psf.gz"
TEXT = ("Kald mig bare ordblind...   greetings in 80 x 50 cells, 16 colours and a tune of our "
        "own   *   tak fordi du så med!")
WIDTH = 1200
HEIGHT = 16
BLANK_COLUMNS = 273
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
OUTPUT = os.path.join(ROOT, "src", "data", "scroll_banner.bin")


def render_text(text, glyphs, unicode_map):
    """Returns the text as HEIGHT rows of ink flags, 8 columns a character."""
    rows = [[0] * (8 * len(text)) for _ in range(HEIGHT)]
    for i, ch in enumerate(text):
        glyph = glyphs[unicode_map[ord(ch)]]
        for y in range(HEIGHT):
            for b in range(8):
                if glyph[y] >> (7 - b) & 1:
                    rows[y][i * 8 + b] = 1
    return rows


def make_banner():
    width, height, glyphs, unicode_map = psf.load_psf(FONT)
    if height != HEIGHT:
        raise SystemExit(f"{FONT}: {height} rows, expected {HEIGHT}")
    missing = sorted({ch for ch in TEXT if ord(ch) not in unicode_map})
    if missing:
        raise SystemExit(f"{FONT} lacks {missing}")
    rows = render_text(TEXT, glyphs, unicode_map)
    ink_columns = [x for x in range(len(rows[0])) if any(row[x] for row in rows)]
    start = WIDTH - 1 - ink_columns[-1]
    if start + ink_columns[0] < BLANK_COLUMNS:
        raise SystemExit(f"the text is {ink_columns[-1] - ink_columns[0] + 1} columns wide; "
                         f"at most {WIDTH - BLANK_COLUMNS} fit")
    banner = bytearray(WIDTH * HEIGHT)
    for y in range(HEIGHT):
        for x, ink in enumerate(rows[y]):
            if ink:
                banner[y * WIDTH + start + x] = 255
    return banner, start + ink_columns[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--preview", help="also write the banner as a PNG (doubled in size)")
    args = parser.parse_args()
    banner, first_ink = make_banner()
    with open(OUTPUT, "wb") as f:
        f.write(banner)
    print(f"{OUTPUT}: {len(banner)} bytes, ink from column {first_ink} to {WIDTH - 1}")
    if args.preview:
        rgb = bytearray()
        for v in banner:
            rgb += bytes((v, v, v))
        png.write_png(args.preview, *png.scale_up(WIDTH, HEIGHT, rgb, 2))


if __name__ == "__main__":
    main()
