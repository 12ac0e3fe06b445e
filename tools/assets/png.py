"""A minimal PNG writer for previews: 8-bit RGB, no dependencies beyond zlib."""

import struct
import zlib


def write_png(path, width, height, rgb):
    """rgb: bytes or bytearray of width * height * 3 bytes, rows from the top."""
    if len(rgb) != width * height * 3:
        raise ValueError("pixel data does not match the size")
    raw = bytearray()
    stride = width * 3
    for y in range(height):
        raw.append(0)  # filter: none
        raw += rgb[y * stride:(y + 1) * stride]

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def scale_up(width, height, rgb, factor_x, factor_y=None):
    """Nearest-neighbour enlargement, so that 80 by 50 pictures can be looked at."""
    factor_y = factor_y or factor_x
    out = bytearray()
    for y in range(height * factor_y):
        row = rgb[(y // factor_y) * width * 3:(y // factor_y + 1) * width * 3]
        for x in range(width):
            out += row[x * 3:x * 3 + 3] * factor_x
    return width * factor_x, height * factor_y, out
