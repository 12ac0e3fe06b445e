#!/usr/bin/env python3
"""Renders a tmux pane of the demo to a PNG picture, so that it can be looked at. A pane of
at least 80 by 50 shows the demo's glyphs: each character in the demo's font, 8 by 12 pixels
in its colours (the default colours black). A smaller one shows a picture: each character's
upper and lower half as two blocks of 8 by 8 pixels, default colours and characters other
than blocks in black. --text draws the characters in the demo's font at any size, for a
pane of text such as xmplay's.

usage: pane_png.py [--text] [-L SOCKET] -t TARGET OUT.png
       tmux capture-pane -p -e -N ... | pane_png.py [--text] - COLUMNS ROWS OUT.png
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tools", "assets"))
import common  # noqa: E402
from png import write_png  # noqa: E402

BLOCK = 8


def glyph_pixels(text, columns, rows):
    """The pane's characters in the demo's font: (width, height, RGB bytes)."""
    with open(os.path.join(common.SOURCE, "src", "data", "glyph_font.bin"), "rb") as f:
        font = f.read()
    codes = {point: code for code, point in enumerate(common.code_points())}
    width, height = columns * 8, rows * 12
    pixels = bytearray(width * height * 3)
    state = [None, None]
    for row, line in enumerate(text.split("\n")[:rows]):
        for column, (glyph, foreground, background) in enumerate(common.pane_characters(line, state)):
            if column >= columns:
                break
            bitmap = font[codes.get(ord(glyph), 0) * 12:][:12]
            ink, paper = bytes(foreground or (0, 0, 0)), bytes(background or (0, 0, 0))
            for y in range(12):
                start = ((row * 12 + y) * width + column * 8) * 3
                pixels[start:start + 24] = b"".join(
                    ink if bitmap[y] >> (7 - x) & 1 else paper for x in range(8))
    return width, height, pixels


def main(arguments):
    text_pane = arguments[:1] == ["--text"]
    if text_pane:
        arguments = arguments[1:]
    if arguments[:1] == ["-"] and len(arguments) == 4:
        text = sys.stdin.read()
        columns, rows, out = int(arguments[1]), int(arguments[2]), arguments[3]
    else:
        tmux = ["tmux"]
        if arguments[:1] == ["-L"]:
            tmux += arguments[:2]
            arguments = arguments[2:]
        if len(arguments) != 3 or arguments[0] != "-t":
            sys.stderr.write(__doc__)
            return 2
        target, out = arguments[1], arguments[2]
        size = subprocess.run(tmux + ["display", "-p", "-t", target, "#{pane_width} #{pane_height}"],
                              capture_output=True, text=True, check=True).stdout.split()
        columns, rows = int(size[0]), int(size[1])
        text = subprocess.run(tmux + ["capture-pane", "-p", "-e", "-N", "-t", target],
                              capture_output=True, text=True, check=True).stdout
    if text_pane or (columns >= common.COLUMNS and rows >= common.ROWS):
        write_png(out, *glyph_pixels(text, columns, rows))
        return 0
    grid = common.decode_half_blocks(text, columns, rows)
    width, height = columns * BLOCK, rows * 2 * BLOCK
    pixels = bytearray(width * height * 3)
    for row, characters in enumerate(grid):
        for column, halves in enumerate(characters):
            for half, colour in enumerate(halves or ((0, 0, 0), (0, 0, 0))):
                for y in range((2 * row + half) * BLOCK, (2 * row + half + 1) * BLOCK):
                    start = (y * width + column * BLOCK) * 3
                    pixels[start:start + 3 * BLOCK] = bytes(colour) * BLOCK
    write_png(out, width, height, pixels)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
