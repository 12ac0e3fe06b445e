#!/usr/bin/env python3
"""Renders a tmux pane of the demo to a PNG picture, so that a picture-mode screen can be
looked at: each character's upper and lower half as two blocks of 8 by 8 pixels, default
colours and characters other than blocks in black.

usage: pane_png.py [-L SOCKET] -t TARGET OUT.png
       tmux capture-pane -p -e -N ... | pane_png.py - COLUMNS ROWS OUT.png
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


def main(arguments):
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
