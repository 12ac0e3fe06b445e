"""How an 80 by 50 picture looks on the console after the colour conversion: each pixel's
6-bit colour is matched to a solid console colour or a 1/4, 1/2 or 3/4 blend of it with one
other console colour (the rules of the demo's shade renderer), and each cell is drawn as
8 by 12 pixels with a dither pattern for the blends."""

PALETTE = [
    (0, 0, 0), (0, 0, 42), (0, 42, 0), (0, 42, 42),
    (42, 0, 0), (42, 0, 42), (42, 21, 0), (42, 42, 42),
    (9999, 9999, 9999), (21, 21, 63), (21, 63, 21), (21, 63, 63),
    (63, 21, 21), (63, 21, 63), (63, 63, 21), (63, 63, 63),
]

CELL_WIDTH = 8
CELL_HEIGHT = 12


def _distance(a, b):
    return sum((p - q) * (p - q) for p, q in zip(a, b))


def cell_for_colour(r, g, b):
    """Returns (character, foreground, background) for a 6-bit colour."""
    target = (r, g, b)
    best = 1 << 62
    d = 0
    for i, colour in enumerate(PALETTE):
        dist = _distance(colour, target)
        if dist < best:
            best, d = dist, i
    answer = (219, d, 0)
    cd = PALETTE[d]
    for j, cj in enumerate(PALETTE):
        blends = (
            (tuple((x + y) // 2 for x, y in zip(cd, cj)),
             (177, j, d) if j > d else (177, d, j)),
            (tuple(3 * y // 4 + x // 4 for x, y in zip(cd, cj)),
             (178, j, d) if j > d else (176, d, j)),
            (tuple(y // 4 + 3 * x // 4 for x, y in zip(cd, cj)),
             (176, j, d) if j >= d else (178, d, j)),
        )
        for colour, cell in blends:
            dist = _distance(colour, target)
            if dist < best:
                best, answer = dist, cell
    return answer


_cache = {}


def cached_cell(r6, g6, b6):
    key = (r6, g6, b6)
    if key not in _cache:
        _cache[key] = cell_for_colour(r6, g6, b6)
    return _cache[key]


def _ink(character, x, y):
    """Whether pixel (x, y) of a cell shows the foreground: a regular dither for the shades."""
    if character == 219:
        return True
    if character == 177:
        return (x + y) % 2 == 0
    quarter = x % 2 == 0 and y % 2 == 0
    return quarter if character == 176 else not quarter


def console_rgb(colour):
    if colour == 8:
        return (85, 85, 85)
    return tuple(v * 255 // 63 for v in PALETTE[colour])


def preview(width, height, rgb):
    """Returns (pixel width, pixel height, RGB bytes) of the cells that the picture becomes."""
    out_width = width * CELL_WIDTH
    out = bytearray(out_width * height * CELL_HEIGHT * 3)
    for cy in range(height):
        for cx in range(width):
            p = (cy * width + cx) * 3
            character, fg, bg = cached_cell(rgb[p] >> 2, rgb[p + 1] >> 2, rgb[p + 2] >> 2)
            fg_rgb, bg_rgb = console_rgb(fg), console_rgb(bg)
            for y in range(CELL_HEIGHT):
                row = (cy * CELL_HEIGHT + y) * out_width
                for x in range(CELL_WIDTH):
                    q = (row + cx * CELL_WIDTH + x) * 3
                    out[q:q + 3] = bytes(fg_rgb if _ink(character, x, y) else bg_rgb)
    return out_width, height * CELL_HEIGHT, out


def grey_preview(width, height, rgb):
    """The brightness that the grey character renderer sees: the green channel, in 16 levels."""
    out = bytearray()
    for p in range(width * height):
        level = rgb[p * 3 + 1] >> 4
        out += bytes((level * 17,) * 3)
    return out


def half_resolution(width, height, rgb):
    """Each 2 by 2 block averaged channel by channel (sums divided by 4, truncated), as the
    colour renderer does when it converts a 2 by 2 block into one cell."""
    out = bytearray()
    for y in range(0, height - 1, 2):
        for x in range(0, width - 1, 2):
            for c in range(3):
                total = sum(rgb[((y + dy) * width + x + dx) * 3 + c]
                            for dy in (0, 1) for dx in (0, 1))
                out.append(total // 4)
    return width // 2, height // 2, out
