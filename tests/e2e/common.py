"""Shared pieces of the end-to-end checks: the demo's code page and colours as a terminal or a
console shows them, and bounded waiting."""
import operator
import os
import re
import struct
import time
import unittest

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
COLUMNS, ROWS = 80, 50
CELLS = COLUMNS * ROWS
FRAME_BYTES = 2 * CELLS
TITLE = "Kald mig bare ordblind..."


def code_points():
    """The Unicode code point of each character code, read from the terminal host's table."""
    with open(os.path.join(SOURCE, "src", "terminal", "cp437.cpp")) as f:
        text = f.read()
    body = text[text.index("kCp437CodePoints[256] = {"):]
    body = body[:body.index("};")]
    points = [int(h, 16) for h in re.findall(r"0x([0-9a-f]+)", body)]
    assert len(points) == 256
    return points


def console_palette():
    """The 16 console colours in 6-bit units, read from the colour table."""
    with open(os.path.join(SOURCE, "src", "data", "console_palette.cpp")) as f:
        text = f.read()
    rows = re.findall(r"\{(\d+), (\d+), (\d+)\}", text)
    assert len(rows) == 16
    return [tuple(int(v) for v in row) for row in rows]


def terminal_colours():
    """The 24-bit colour the terminal build uses for each console colour."""
    colours = []
    for colour in console_palette():
        if colour[0] > 63:
            colours.append((85, 85, 85))  # the never-chosen colour 8 is shown in dark grey
        else:
            colours.append(tuple((v * 255 + 31) // 63 for v in colour))
    return colours


def palette_rgb(index):
    """The colour of entry 16..255 of a terminal's 256-colour palette: the 6 by 6 by 6 cube of
    the levels 0, 95, 135, 175, 215, 255, then 24 greys from 8 in steps of 10."""
    if index >= 232:
        return (8 + 10 * (index - 232),) * 3
    levels = (0, 95, 135, 175, 215, 255)
    index -= 16
    return (levels[index // 36], levels[index // 6 % 6], levels[index % 6])


def nearest_palette_entry(rgb):
    """The palette entry 16..255 nearest to a colour, by trying them all."""
    return min(range(16, 256), key=lambda k: sum((a - b) ** 2 for a, b in zip(palette_rgb(k), rgb)))


def wait_until(condition, timeout, interval=0.2):
    """Polls condition until it gives a true value or timeout seconds pass; returns the value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def skip_or_fail(reason):
    """A check that cannot run is skipped on a developer's machine, and fails where every
    check must run (DEMO_E2E_STRICT=1, as in CI)."""
    if os.environ.get("DEMO_E2E_STRICT") == "1":
        raise AssertionError("cannot run: " + reason)
    raise unittest.SkipTest(reason)


SGR = re.compile(r"\x1b\[([0-9;]*)m")
UPPER_HALF, LOWER_HALF, FULL_BLOCK = "\u2580", "\u2584", "\u2588"


def ansi_colour(ansi):
    """The 24-bit colour the demo means by a 16-colour SGR index (ANSI bit 0 is red, the
    console's bit 0 blue)."""
    return terminal_colours()[(ansi & 8) | (ansi & 1) << 2 | (ansi & 2) | (ansi & 4) >> 2]


def pane_characters(line, colours):
    """Walks one line of capture-pane -e output: yields each character with the foreground
    and background colours in force, 24-bit (16-colour ones as the demo means them, palette
    entries 16-255 as terminals define them), or None for the terminal's default. colours is [foreground, background], carried from line to
    line by the caller where the pane's colours carry over."""
    position = 0
    while position < len(line):
        match = SGR.match(line, position)
        if not match:
            yield line[position], colours[0], colours[1]
            position += 1
            continue
        values = [int(v) if v else 0 for v in match.group(1).split(";")]
        k = 0
        while k < len(values):
            value = values[k]
            if value in (38, 48) and k + 4 < len(values) and values[k + 1] == 2:
                colours[value == 48] = tuple(values[k + 2:k + 5])
                k += 5
                continue
            if value in (38, 48) and k + 2 < len(values) and values[k + 1] == 5:
                entry = values[k + 2]
                colours[value == 48] = palette_rgb(entry) if entry >= 16 else ansi_colour(entry)
                k += 3
                continue
            if value in (0, 39):
                colours[0] = None
            if value in (0, 49):
                colours[1] = None
            if 30 <= value <= 37 or 90 <= value <= 97:
                colours[0] = ansi_colour(value % 10 + (8 if value >= 90 else 0))
            if 40 <= value <= 47 or 100 <= value <= 107:
                colours[1] = ansi_colour(value % 10 + (8 if value >= 100 else 0))
            k += 1
        position = match.end()


def decode_pane(text, colours=None):
    """Turns capture-pane -e output of the demo's screen at 80 by 50 back into 4000 cell words;
    colours gives the console colour of each colour shown (by default the 24-bit ones)."""
    characters = {point: code for code, point in enumerate(code_points()) if code != 0}
    if colours is None:
        colours = {rgb: colour for colour, rgb in enumerate(terminal_colours())}
    lines = text.split("\n")
    if len(lines) < ROWS:
        raise AssertionError("the pane shows %d lines" % len(lines))
    cells = []
    state = [None, None]  # the pane's colours carry over from line to line
    for line in lines[:ROWS]:
        row = []
        for glyph, foreground, background in pane_characters(line, state):
            character = characters.get(ord(glyph))
            foreground, background = colours.get(foreground), colours.get(background)
            if character is None or foreground is None or background is None:
                raise AssertionError("cell %d,%d cannot be decoded" % (len(row), len(cells) // 80))
            row.append(background << 12 | foreground << 8 | character)
        if len(row) != COLUMNS:
            raise AssertionError("a row of %d cells" % len(row))
        cells.extend(row)
    return cells


def decode_half_blocks(text, columns, rows):
    """The colours a picture-mode pane shows, from capture-pane -p -e -N output: a grid of
    rows by columns characters, each (upper, lower) in 24-bit colours (16-colour ones as the
    demo means them), or None where the character has the terminal's default colours or is
    not a block."""
    grid = []
    state = [None, None]  # the pane's colours carry over from line to line
    for line in text.split("\n")[:rows]:
        row = []
        for character, foreground, background in pane_characters(line, state):
            halves = None
            if character == UPPER_HALF and foreground and background:
                halves = (foreground, background)
            elif character == LOWER_HALF and foreground and background:
                halves = (background, foreground)
            elif character == FULL_BLOCK and foreground:
                halves = (foreground, foreground)
            elif character == " " and background:
                halves = (background, background)
            row.append(halves)
        row += [None] * (columns - len(row))
        grid.append(row[:columns])
    grid += [[None] * columns for _ in range(rows - len(grid))]
    return grid


def glyph_ink():
    """The number of ink pixels (of 96) in each glyph of the demo's font."""
    with open(os.path.join(SOURCE, "src", "data", "glyph_font.bin"), "rb") as f:
        font = f.read()
    return [sum(bin(b).count("1") for b in font[c * 12:(c + 1) * 12]) for c in range(256)]


def expected_picture(cells, width, height):
    """The half-block picture of a frame of 4000 cell words at width by height pixels: each
    cell in its foreground and background colours mixed by its glyph's ink, then the area
    average of the cells each pixel covers, computed here in floating point."""
    ink = glyph_ink()
    colours = terminal_colours()
    mixed = []
    for cell in cells:
        share = ink[cell & 0xff] / 96
        fg, bg = colours[cell >> 8 & 15], colours[cell >> 12 & 15]
        mixed.append([f * share + b * (1 - share) for f, b in zip(fg, bg)])
    sx, sy = COLUMNS / width, ROWS / height
    pixels = []
    for y in range(height):
        top, bottom = y * sy, (y + 1) * sy
        for x in range(width):
            left, right = x * sx, (x + 1) * sx
            total = [0.0, 0.0, 0.0]
            for row in range(int(top), min(ROWS, int(bottom) + 1)):
                cover_y = min(bottom, row + 1) - max(top, row)
                if cover_y <= 0:
                    continue
                for column in range(int(left), min(COLUMNS, int(right) + 1)):
                    cover = cover_y * (min(right, column + 1) - max(left, column))
                    if cover > 0:
                        for channel in range(3):
                            total[channel] += cover * mixed[row * COLUMNS + column][channel]
            pixels.append(tuple(v / (sx * sy) for v in total))
    return pixels


def frame_cells(data, index):
    """Frame index (from 0) of the bytes of a democapture --cells file, as 4000 cell words."""
    return struct.unpack_from("<%dH" % CELLS, data, index * FRAME_BYTES)


_MIXED = []


def mixed_colours(cells):
    """The colour each cell shows on average, rounded as the demo rounds it: its foreground
    and background mixed by the share of ink in its glyph; a picture at 80 by 25 shows these."""
    if not _MIXED:
        ink = glyph_ink()
        colours = terminal_colours()
        for word in range(65536):
            share, fg, bg = ink[word & 0xff], colours[word >> 8 & 15], colours[word >> 12 & 15]
            _MIXED.append(tuple((f * share + b * (96 - share) + 48) // 96 for f, b in zip(fg, bg)))
    return list(map(_MIXED.__getitem__, cells))


def pane_values(text, columns, rows):
    """What a pane of the demo shows as one value a cell of the frame: the cell words where
    it shows glyphs (80 by 50), the colours of the half blocks at 80 by 25."""
    if (columns, rows) == (COLUMNS, ROWS):
        return decode_pane(text)
    assert (columns, rows) == (COLUMNS, ROWS // 2)
    grid = decode_half_blocks(text, columns, rows)
    return [grid[y // 2][x][y % 2] if grid[y // 2][x] else None
            for y in range(ROWS) for x in range(COLUMNS)]


def best_match(shown, candidates):
    """Of candidates, (key, values), the key of the one most like shown, value for value (the
    last of equals), and the share of values equal."""
    best, best_equal = None, -1
    for key, values in candidates:
        equal = sum(map(operator.eq, shown, values))
        if equal >= best_equal:
            best, best_equal = key, equal
    return best, best_equal / max(1, len(shown))


def _common_length(a, b):
    """How many values a and b have in common from their start."""
    for k, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return k
    return min(len(a), len(b))


def frames_on_pane(shown, candidates, band):
    """Which recorded frames a pane shows while a slow terminal is still taking them, from
    what it shows as one value a cell (pane_values) and candidates, (frame number, values)
    in the order of the frames. The demo writes the changes of a frame character by
    character in the screen's order, each character band cells high (1 for glyphs, 2 for
    half blocks), and the next frame only after it; so a pane read at any moment shows a
    frame B down to some character and from there on the frame A it replaces.

    Returns (A, B): A the newest frame that the pane shows that way, B the earliest later
    frame that shows a character of its own there, or A itself when the pane shows A
    whole; None when no pair of the candidates gives the pane."""
    def characters(values):
        return [tuple(values[(band * row + k) * COLUMNS + column] for k in range(band))
                for row in range(len(values) // COLUMNS // band) for column in range(COLUMNS)]
    pane = characters(shown)
    frames = [(number, characters(values)) for number, values in candidates]
    # Characters as the newer frame from the top, as the older from the bottom.
    head = [_common_length(pane, drawn) for _, drawn in frames]
    tail = [_common_length(pane[::-1], drawn[::-1]) for _, drawn in frames]
    for older in range(len(frames) - 1, -1, -1):
        if head[older] == len(pane):
            return frames[older][0], frames[older][0]
        for newer in range(older + 1, len(frames)):
            if head[newer] + tail[older] >= len(pane):
                return frames[older][0], frames[newer][0]
    return None
