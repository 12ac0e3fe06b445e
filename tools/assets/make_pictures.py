#!/usr/bin/env python3
"""Makes src/data/pictures.rgb: the demo's five pictures, 80 by 50 pixels of 3 bytes each
(red, green, blue, rows from the top), stored one after another (60000 bytes).

  Picture0  a chrome "ORDBLIND" logo in our own tube lettering over a night horizon, with its
            reflection; bright letters on a dark ground, so it reads in grey characters too
  Picture1  a sunset: striped sun, mountains and a glowing perspective grid
  Picture2  ray-traced spheres on a chequered floor under a blue sky
  Picture3  the Mandelbrot set with smooth colouring
  Picture4  a ringed planet, bold enough to read at half resolution

Everything is computed here, with nothing but the Python standard library. Each pixel is
the average of a grid of samples. The pictures are designed for cells about 1.5 times as high
as wide: coordinates are in display units, u across (0..80) and v down (0..75).

Usage: python3 tools/assets/make_pictures.py [--preview DIR]
With --preview, DIR receives for each picture the raw pixels enlarged (pictureN.png), the
picture as the colour renderer shows it (pictureN_shade.png) and the green channel in the 16
levels that the grey renderer uses (pictureN_grey.png), and the colour conversion at half
resolution, 2 by 2 pixels a cell (pictureN_half.png).
"""

import argparse
import math
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import png  # noqa: E402
import shade_preview  # noqa: E402

WIDTH = 80
HEIGHT = 50
ASPECT = 1.5  # display units per pixel row
VIEW_HEIGHT = HEIGHT * ASPECT
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
OUTPUT = os.path.join(ROOT, "src", "data", "pictures.rgb")


# ---------------------------------------------------------------------------------------------
# Small helpers


def clamp(x, lo=0.0, hi=1.0):
    return lo if x < lo else hi if x > hi else x


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3 - 2 * t)


def gradient(stops, t):
    """stops: [(position, colour)] in ascending position."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0))
    return stops[-1][1]


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def scale(a, s):
    return (a[0] * s, a[1] * s, a[2] * s)


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def normalise(a):
    length = math.sqrt(dot(a, a))
    return scale(a, 1.0 / length)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def stars(seed, count, region):
    """A fixed star field: {(x, y): brightness} of single pixels inside region (u0, v0, u1, v1),
    each light grey or white, so that it shows as one solid console cell."""
    rng = random.Random(seed)
    u0, v0, u1, v1 = region
    field = {}
    for _ in range(count):
        x = rng.randrange(int(u0), int(u1))
        y = rng.randrange(int(v0 / ASPECT), int(v1 / ASPECT))
        field[(x, y)] = rng.choice((0.68, 1.0))
    return field


def star_light(field, u, v):
    return field.get((int(u), int(v / ASPECT)), 0.0)


def render(shader, samples):
    """Averages samples by samples points of shader(u, v) per pixel; returns RGB bytes."""
    out = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            total = (0.0, 0.0, 0.0)
            for sy in range(samples):
                for sx in range(samples):
                    u = x + (sx + 0.5) / samples
                    v = (y + (sy + 0.5) / samples) * ASPECT
                    total = add(total, shader(u, v))
            n = samples * samples
            out += bytes(int(clamp(c / n) * 255 + 0.5) for c in total)
    return out


# ---------------------------------------------------------------------------------------------
# Picture0: the logo


def _arc(cx, cy, rx, ry, start, end, steps=10):
    """Points of an elliptic arc, angles in degrees, 0 to the right, 90 down."""
    return [(cx + rx * math.cos(math.radians(start + (end - start) * i / steps)),
             cy + ry * math.sin(math.radians(start + (end - start) * i / steps)))
            for i in range(steps + 1)]


def _letter_strokes(letter):
    """Polylines of a letter in a unit box (x right, y down)."""
    if letter == "O":
        return [_arc(0.5, 0.5, 0.5, 0.5, 0, 360, 24)]
    if letter == "R":
        return [[(0, 1), (0, 0), (0.55, 0)] + _arc(0.55, 0.25, 0.45, 0.25, -90, 90)[1:] +
                [(0, 0.5)], [(0.45, 0.5), (1, 1)]]
    if letter == "D":
        return [[(0, 0), (0.4, 0)] + _arc(0.4, 0.5, 0.6, 0.5, -90, 90, 14)[1:] + [(0, 1),
                                                                                   (0, 0)]]
    if letter == "B":
        return [[(0, 1), (0, 0), (0.55, 0)] + _arc(0.55, 0.235, 0.4, 0.235, -90, 90)[1:] +
                [(0, 0.47)],
                [(0, 0.47), (0.55, 0.47)] + _arc(0.55, 0.735, 0.45, 0.265, -90, 90)[1:] +
                [(0, 1)]]
    if letter == "L":
        return [[(0, 0), (0, 1), (1, 1)]]
    if letter == "I":
        return [[(0.5, 0), (0.5, 1)], [(0, 0), (1, 0)], [(0, 1), (1, 1)]]
    if letter == "N":
        return [[(0, 1), (0, 0), (1, 1), (1, 0)]]
    if letter == "И":  # a mirrored N: the word cannot quite keep its letters straight
        return [[(0, 0), (0, 1), (1, 0), (1, 1)]]
    raise ValueError(letter)


LOGO_TEXT = "ORDBLIИD"
LOGO_WIDTHS = {"O": 9.6, "R": 9.2, "D": 9.2, "B": 9.2, "L": 7.8, "I": 5.0, "N": 9.2, "И": 9.2}
LOGO_GAP = 1.3
LOGO_TOP = 24.0
LOGO_HEIGHT = 27.0
LOGO_RADIUS = 1.55
LOGO_OUTLINE = 0.9  # a black rim that keeps the letters apart from the sky and each other
HORIZON0 = LOGO_TOP + LOGO_HEIGHT + LOGO_RADIUS + 1.5


def _logo_segments():
    total = sum(LOGO_WIDTHS[c] for c in LOGO_TEXT) + LOGO_GAP * (len(LOGO_TEXT) - 1)
    left = (WIDTH - total) / 2
    segments = []
    for letter in LOGO_TEXT:
        w = LOGO_WIDTHS[letter]
        inner_w = w - 2 * LOGO_RADIUS
        inner_h = LOGO_HEIGHT - 2 * LOGO_RADIUS
        for line in _letter_strokes(letter):
            points = [(left + LOGO_RADIUS + x * inner_w, LOGO_TOP + LOGO_RADIUS + y * inner_h)
                      for x, y in line]
            segments += list(zip(points, points[1:]))
        left += w + LOGO_GAP
    return segments


_LOGO = _logo_segments()


def _segment_distance(u, v, a, b):
    """Distance from (u, v) to segment ab and the vector from the nearest point to (u, v)."""
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else clamp(((u - ax) * dx + (v - ay) * dy) / length2)
    px, py = u - (ax + t * dx), v - (ay + t * dy)
    return math.hypot(px, py), px, py


def _logo_surface(u, v):
    """None outside the letters; otherwise the surface normal of the tube (x, y, z toward the
    viewer)."""
    best = (1e9, 0.0, 0.0)
    for a, b in _LOGO:
        if min(a[0], b[0]) - 2 > u or max(a[0], b[0]) + 2 < u:
            continue
        d = _segment_distance(u, v, a, b)
        if d[0] < best[0]:
            best = d
    distance, px, py = best
    if distance >= LOGO_RADIUS + LOGO_OUTLINE:
        return None
    if distance >= LOGO_RADIUS:
        return "outline"
    # A round tube: the normal leans out by distance / radius.
    s = distance / LOGO_RADIUS
    z = math.sqrt(max(0.0, 1 - s * s))
    if distance == 0:
        return (0.0, 0.0, 1.0)
    return (px / distance * s, py / distance * s, z)


def _chrome(normal, v):
    """Chrome: a sky from deep blue to white in the upper half of the letters, a hard horizon,
    and ground from dark brown to yellow in the lower half; the tube's normal bends the
    reflection, and a white highlight sits where the light catches it."""
    nx, ny, nz = normal
    h = (v - LOGO_TOP) / LOGO_HEIGHT + ny * 0.18
    if h < 0.5:
        colour = gradient([(0.0, (0.2, 0.4, 0.95)), (0.3, (0.45, 0.7, 1.0)),
                           (0.5, (0.95, 1.0, 1.0))], h)
    else:
        colour = gradient([(0.5, (0.55, 0.27, 0.05)), (0.62, (0.85, 0.45, 0.08)),
                           (0.85, (1.0, 0.75, 0.15)), (1.0, (1.0, 1.0, 0.6))], h)
    light = normalise((-0.5, -0.7, 0.6))
    half = normalise(add(light, (0, 0, 1)))
    specular = max(0.0, dot(normal, half)) ** 30
    edge = 0.6 + 0.4 * nz  # darker rims give the tubes their roundness
    return tuple(clamp(c * edge + specular) for c in colour)


_STARS0 = stars(1001, 40, (0, 0, WIDTH, LOGO_TOP - 4))


def picture0(u, v):
    if v < HORIZON0:
        normal = _logo_surface(u, v)
        if normal == "outline":
            return (0.0, 0.0, 0.0)
        if normal is not None:
            return _chrome(normal, v)
        t = v / HORIZON0
        sky = gradient([(0.0, (0.0, 0.0, 0.0)), (0.5, (0.0, 0.0, 0.2)),
                        (0.85, (0.25, 0.0, 0.4)), (1.0, (0.8, 0.2, 0.7))], t)
        star = star_light(_STARS0, u, v)
        return (star, star, star) if star else sky
    # The floor: a mirror that shows the letters upside down, fading with depth.
    depth = v - HORIZON0
    floor = gradient([(0.0, (0.5, 0.1, 0.5)), (3.0, (0.08, 0.0, 0.2)),
                      (20.0, (0.0, 0.0, 0.05))], depth)
    mirrored = 2 * HORIZON0 - v - 1.5
    normal = _logo_surface(u, mirrored)
    if normal is not None and normal != "outline":
        fade = 0.6 * (1 - smoothstep(0, 16, depth))
        floor = mix(floor, _chrome((normal[0], -normal[1], normal[2]), mirrored), fade)
    glow = math.exp(-depth * 0.9) * 0.6
    return tuple(clamp(c + glow * w) for c, w in zip(floor, (1.0, 0.6, 1.0)))


# ---------------------------------------------------------------------------------------------
# Picture1: the sunset

HORIZON1 = 45.0
SUN = (40.0, 31.0, 19.0)  # centre u, v and radius
_STARS1 = stars(1101, 45, (0, 0, WIDTH, 22))


def _ridge(u):
    """Height of the mountains above the horizon at u."""
    peaks = [(2, 19), (14, 13), (24, 7), (56, 7), (67, 14), (80, 21)]
    height = 0.0
    for centre, top in peaks:
        height = max(height, top - abs(u - centre) * 1.1)
    return height + 0.5 * math.sin(u * 1.3)


# Gaps cut across the lower half of the sun: (position from the centre in sun radii, width in
# display units), wider toward the bottom.
SUN_GAPS = [(0.15, 1.5), (0.38, 2.2), (0.6, 2.9), (0.8, 3.6)]


def picture1(u, v):
    if v < HORIZON1:
        t = v / HORIZON1
        colour = gradient([(0.0, (0.02, 0.0, 0.12)), (0.35, (0.2, 0.0, 0.38)),
                           (0.75, (0.6, 0.05, 0.5)), (1.0, (0.9, 0.2, 0.5))], t)
        star = star_light(_STARS1, u, v)
        if star:
            colour = (star, star, star)
        su, sv, sr = SUN
        du, dv = u - su, v - sv
        if du * du + dv * dv < sr * sr:
            s = (v - (sv - sr)) / (2 * sr)  # 0 at the sun's top, 1 at its bottom
            cut = any(abs(v - (sv + position * sr)) < width / 2 for position, width in SUN_GAPS)
            if not cut:
                colour = gradient([(0.0, (1.0, 1.0, 0.6)), (0.4, (1.0, 0.85, 0.2)),
                                   (1.0, (1.0, 0.4, 0.05))], s)
        ridge = HORIZON1 - _ridge(u)
        if v > ridge:
            # Dark rock with a rim lit by the sun behind it.
            colour = (0.85, 0.2, 0.75) if v - ridge < 1.0 else (0.1, 0.0, 0.22)
        return colour
    # The floor: a perspective grid glowing toward the horizon.
    depth = v - HORIZON1  # display units below the horizon
    z = 24.0 / depth if depth > 0 else 1e9  # distance along the floor
    x = (u - 40.0) * z / 24.0
    floor = gradient([(0.0, (0.45, 0.0, 0.45)), (4.0, (0.12, 0.0, 0.25)),
                      (30.0, (0.02, 0.0, 0.1))], depth)
    # Lines along the floor, fading out where they crowd together toward the horizon.
    line = depth > 7.0 and abs(x * 2 - round(x * 2)) < 0.04 + 0.015 * z
    # Lines across, evenly spaced along the floor.
    cross_line = any(abs(depth - 24.0 / (0.85 + k)) < 0.75 for k in range(3))
    colour = (1.0, 0.3, 0.9) if line or cross_line else floor
    glow = math.exp(-depth * 0.7) * 0.7
    return tuple(clamp(c + glow * w) for c, w in zip(colour, (1.0, 0.4, 0.6)))


# ---------------------------------------------------------------------------------------------
# Picture2: the spheres

SPHERES = [
    # centre, radius, colour, mirror share
    ((0.0, 1.25, 0.6), 1.25, (0.9, 0.12, 0.1), 0.12),
    ((-2.45, 0.75, -0.2), 0.75, (0.1, 0.8, 0.2), 0.2),
    ((2.35, 0.9, -0.3), 0.9, (0.1, 0.85, 0.9), 0.2),
    ((1.05, 0.42, -1.75), 0.42, (1.0, 0.85, 0.1), 0.2),
]
LIGHT2 = normalise((-0.6, 0.8, -0.45))
EYE2 = (0.0, 1.55, -6.2)
TARGET2 = (0.0, 0.95, 0.0)


def _sky2(direction):
    t = clamp(direction[1] * 2.2)
    return gradient([(0.0, (0.65, 0.85, 1.0)), (0.35, (0.2, 0.45, 0.95)),
                     (1.0, (0.03, 0.08, 0.45))], t)


def _hit_sphere(origin, direction, centre, radius):
    oc = sub(origin, centre)
    b = dot(oc, direction)
    c = dot(oc, oc) - radius * radius
    disc = b * b - c
    if disc < 0:
        return None
    root = math.sqrt(disc)
    t = -b - root
    if t < 1e-4:
        t = -b + root
    return t if t > 1e-4 else None


def _trace(origin, direction, depth):
    nearest, hit = 1e9, None
    for sphere in SPHERES:
        t = _hit_sphere(origin, direction, sphere[0], sphere[1])
        if t is not None and t < nearest:
            nearest, hit = t, sphere
    floor_t = -origin[1] / direction[1] if direction[1] < -1e-6 else None
    if floor_t is not None and floor_t < nearest:
        point = add(origin, scale(direction, floor_t))
        check = (math.floor(point[0] * 0.6) + math.floor(point[2] * 0.6)) % 2
        base = (1.0, 1.0, 1.0) if check else (0.55, 0.05, 0.5)
        normal = (0.0, 1.0, 0.0)
        mirror = 0.15
    elif hit is not None:
        point = add(origin, scale(direction, nearest))
        normal = normalise(sub(point, hit[0]))
        base, mirror = hit[2], hit[3]
    else:
        return _sky2(direction)
    shadowed = any(_hit_sphere(point, LIGHT2, s[0], s[1]) is not None for s in SPHERES)
    diffuse = 0.0 if shadowed else max(0.0, dot(normal, LIGHT2))
    colour = scale(base, 0.22 + 0.85 * diffuse)
    if not shadowed:
        reflected_light = sub(scale(normal, 2 * dot(normal, LIGHT2)), LIGHT2)
        specular = max(0.0, -dot(reflected_light, direction)) ** 40
        colour = add(colour, (specular, specular, specular))
    if depth > 0 and mirror > 0:
        bounce = sub(direction, scale(normal, 2 * dot(normal, direction)))
        colour = mix(colour, _trace(point, bounce, depth - 1), mirror)
    if floor_t is not None and hit is None or (floor_t is not None and floor_t < nearest):
        fog = smoothstep(7.0, 16.0, floor_t)
        colour = mix(colour, _sky2((0.0, 0.0, 1.0)), fog)
    return colour


_FORWARD2 = normalise(sub(TARGET2, EYE2))
_RIGHT2 = normalise(cross((0.0, 1.0, 0.0), _FORWARD2))
_UP2 = cross(_FORWARD2, _RIGHT2)


def picture2(u, v):
    half_width = 0.62
    px = (u / WIDTH * 2 - 1) * half_width
    py = -(v / VIEW_HEIGHT * 2 - 1) * half_width * VIEW_HEIGHT / WIDTH
    direction = normalise(add(_FORWARD2, add(scale(_RIGHT2, px), scale(_UP2, py))))
    return tuple(clamp(c) for c in _trace(EYE2, direction, 2))


# ---------------------------------------------------------------------------------------------
# Picture3: the Mandelbrot set

MANDEL_CENTRE = (-0.72, 0.0)
MANDEL_WIDTH = 3.05
MANDEL_ITERATIONS = 200
MANDEL_PALETTE = [
    (0.0, (0.0, 0.0, 0.12)), (0.3, (0.1, 0.05, 0.55)), (0.5, (0.6, 0.1, 0.65)),
    (0.68, (1.0, 0.3, 0.2)), (0.82, (1.0, 0.75, 0.1)), (0.92, (1.0, 1.0, 0.55)),
    (1.0, (1.0, 1.0, 1.0)),
]


def picture3(u, v):
    cr = MANDEL_CENTRE[0] + (u / WIDTH - 0.5) * MANDEL_WIDTH
    ci = MANDEL_CENTRE[1] + (v / VIEW_HEIGHT - 0.5) * MANDEL_WIDTH * VIEW_HEIGHT / WIDTH
    # The main cardioid and the period-2 bulb are inside; skip their iterations.
    q = (cr - 0.25) ** 2 + ci * ci
    if q * (q + (cr - 0.25)) <= 0.25 * ci * ci or (cr + 1) ** 2 + ci * ci <= 0.0625:
        return (0.0, 0.0, 0.0)
    zr = zi = 0.0
    for n in range(MANDEL_ITERATIONS):
        zr, zi = zr * zr - zi * zi + cr, 2 * zr * zi + ci
        m = zr * zr + zi * zi
        if m > 256.0:
            smooth = n + 1 - math.log2(math.log2(m) * 0.5)
            t = clamp(math.log(max(smooth, 1.0)) / math.log(35.0))
            return gradient(MANDEL_PALETTE, t)
    return (0.0, 0.0, 0.0)


# ---------------------------------------------------------------------------------------------
# Picture4: the ringed planet

PLANET_RADIUS = 21.0
RING_INNER = 27.0
RING_OUTER = 39.0
_RING_NORMAL = normalise((0.28, -1.0, 0.42))
LIGHT4 = normalise((-0.6, -0.4, 0.75))  # toward the light; y down, z toward the viewer
_STARS4 = stars(1401, 40, (0, 0, WIDTH, VIEW_HEIGHT))


def _ring_colour(radius):
    t = (radius - RING_INNER) / (RING_OUTER - RING_INNER)
    if 0.58 < t < 0.66:  # the gap
        return None
    shade = 0.85 + 0.15 * math.sin(t * 20)
    return scale(gradient([(0.0, (0.55, 0.85, 1.0)), (0.5, (0.9, 1.0, 1.0)),
                           (1.0, (0.4, 0.65, 0.95))], t), shade)


def _in_planet_shadow(point):
    b = dot(point, LIGHT4)
    c = dot(point, point) - PLANET_RADIUS * PLANET_RADIUS
    return b < 0 and b * b - c > 0


def picture4(u, v):
    x, y = u - WIDTH / 2, v - VIEW_HEIGHT / 2
    star = star_light(_STARS4, u, v)
    background = (star, star, star)
    colour = background
    planet_z = None
    if x * x + y * y < PLANET_RADIUS * PLANET_RADIUS:
        planet_z = math.sqrt(PLANET_RADIUS * PLANET_RADIUS - x * x - y * y)
        normal = (x / PLANET_RADIUS, y / PLANET_RADIUS, planet_z / PLANET_RADIUS)
        # Bands by latitude on the tilted axis of the ring.
        latitude = dot(normal, _RING_NORMAL)
        band = 0.5 + 0.5 * math.sin(latitude * 9.0)
        base = gradient([(0.0, (0.85, 0.35, 0.05)), (1.0, (1.0, 0.85, 0.35))], band)
        light = max(0.0, dot(normal, LIGHT4))
        colour = scale(base, 0.15 + 0.95 * light)
    # The ring plane through the centre: n . (x, y, z) = 0.
    ring_z = -(_RING_NORMAL[0] * x + _RING_NORMAL[1] * y) / _RING_NORMAL[2]
    radius = math.sqrt(x * x + y * y + ring_z * ring_z)
    if RING_INNER <= radius <= RING_OUTER and (planet_z is None or ring_z > planet_z):
        ring = _ring_colour(radius)
        if ring is not None:
            if _in_planet_shadow((x, y, ring_z)):
                ring = scale(ring, 0.4)
            colour = ring
    return tuple(clamp(c) for c in colour)


# ---------------------------------------------------------------------------------------------

PICTURES = [(picture0, 4), (picture1, 4), (picture2, 3), (picture3, 3), (picture4, 4)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--preview", metavar="DIR", help="also write preview PNGs into DIR")
    parser.add_argument("--only", type=int, help="make (and preview) only this picture")
    args = parser.parse_args()
    data = bytearray()
    if args.only is not None and os.path.exists(OUTPUT):
        with open(OUTPUT, "rb") as f:
            data = bytearray(f.read())
    if len(data) != 5 * WIDTH * HEIGHT * 3:
        data = bytearray(5 * WIDTH * HEIGHT * 3)
    for index, (shader, samples) in enumerate(PICTURES):
        if args.only is not None and index != args.only:
            continue
        rgb = render(shader, samples)
        data[index * len(rgb):(index + 1) * len(rgb)] = rgb
        if args.preview:
            os.makedirs(args.preview, exist_ok=True)
            base = os.path.join(args.preview, f"picture{index}")
            png.write_png(base + ".png", *png.scale_up(WIDTH, HEIGHT, rgb, 8, 12))
            png.write_png(base + "_shade.png", *shade_preview.preview(WIDTH, HEIGHT, rgb))
            grey = shade_preview.grey_preview(WIDTH, HEIGHT, rgb)
            png.write_png(base + "_grey.png", *png.scale_up(WIDTH, HEIGHT, grey, 8, 12))
            half = shade_preview.half_resolution(WIDTH, HEIGHT, rgb)
            png.write_png(base + "_half.png", *shade_preview.preview(*half))
    with open(OUTPUT, "wb") as f:
        f.write(data)
    print(f"{OUTPUT}: {len(data)} bytes")


if __name__ == "__main__":
    main()
