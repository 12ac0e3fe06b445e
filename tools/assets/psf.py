"""Reading PC screen fonts (PSF 1 and 2, optionally gzipped) with their Unicode tables."""

import gzip
import struct

PSF1_MAGIC = b"\x36\x04"
PSF2_MAGIC = 0x864AB572


def load_psf(path):
    """Returns (width, height, glyphs, unicode_map): glyphs is a list of row-byte lists, one
    byte per row for fonts 8 pixels wide; unicode_map maps a code point to a glyph index."""
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rb") as f:
        data = f.read()
    if data[:2] == PSF1_MAGIC:
        mode, height = data[2], data[3]
        count = 512 if mode & 0x01 else 256
        width = 8
        bytes_per_glyph = height
        offset = 4
        table = data[offset + count * height:]
        has_table = bool(mode & 0x06)
        unicode_map = _psf1_table(table, count) if has_table else {}
    else:
        magic, _version, header, flags, count, bytes_per_glyph, height, width = struct.unpack(
            "<8I", data[:32])
        if magic != PSF2_MAGIC:
            raise ValueError(f"{path}: not a PSF font")
        offset = header
        table = data[offset + count * bytes_per_glyph:]
        unicode_map = _psf2_table(table, count) if flags & 1 else {}
    if width != 8:
        raise ValueError(f"{path}: {width} pixels wide, expected 8")
    glyphs = []
    for g in range(count):
        start = offset + g * bytes_per_glyph
        glyphs.append(list(data[start:start + height]))
    return width, height, glyphs, unicode_map


def _psf1_table(table, count):
    mapping = {}
    pos = 0
    for glyph in range(count):
        in_sequence = False
        while pos + 1 < len(table):
            (value,) = struct.unpack_from("<H", table, pos)
            pos += 2
            if value == 0xFFFF:
                break
            if value == 0xFFFE:
                in_sequence = True  # combining sequences follow; only single code points count
            elif not in_sequence:
                mapping.setdefault(value, glyph)
    return mapping


def _psf2_table(table, count):
    mapping = {}
    pos = 0
    for glyph in range(count):
        end = table.index(b"\xff", pos)
        entry = table[pos:end]
        pos = end + 1
        singles = entry.split(b"\xfe")[0].decode("utf-8", errors="ignore")
        for ch in singles:
            mapping.setdefault(ord(ch), glyph)
    return mapping
