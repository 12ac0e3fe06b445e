#!/usr/bin/env python3
"""Turns the score (score.txt) into the demo's song, an XM image.

    python3 tools/song/make_song.py              writes src/data/song.xm
    python3 tools/song/make_song.py --check      exits 1 if src/data/song.xm differs
    python3 tools/song/make_song.py --timeline   prints when each order position starts

The score names the instruments as synthesis settings (single-cycle chip waveforms and short
drum sounds, all computed or seeded, so the output is the same byte for byte on every run) and
the patterns as channels of tracks, each track a list of rows with notes and effects. See the
head of score.txt for the notation.
"""

import argparse
import math
import pathlib
import re
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
DEFAULT_SCORE = HERE / "score.txt"
DEFAULT_OUTPUT = ROOT / "src" / "data" / "song.xm"

NOTE_NAMES = {"C-": 0, "C#": 1, "D-": 2, "D#": 3, "E-": 4, "F-": 5, "F#": 6, "G-": 7,
              "G#": 8, "A-": 9, "A#": 10, "B-": 11}
KEY_OFF = 97
C4 = 49  # XM note number of C-4, which a sample plays at its own rate when untuned


class ScoreError(Exception):
    pass


def fail(line_no, message):
    raise ScoreError(f"score line {line_no}: {message}")


# ---------------------------------------------------------------------------------------------
# Notation of one cell

def parse_note(token):
    """'C-4' -> 49, 'C#4' -> 50, 'off' -> 97; None if the token is not a note."""
    if token == "off":
        return KEY_OFF
    if len(token) == 3 and token[:2] in NOTE_NAMES and token[2].isdigit():
        note = 12 * int(token[2]) + NOTE_NAMES[token[:2]] + 1
        if 1 <= note <= 96:
            return note
    return None


VOLUME_COLUMN = {"-": 0x60, "+": 0x70, "d": 0x80, "u": 0x90, "s": 0xA0, "v": 0xB0, "p": 0xC0,
                 "l": 0xD0, "r": 0xE0, "m": 0xF0}
EFFECT_RE = re.compile(r"^[0-9A-Z][0-9A-F]{2}$")


def parse_volume(token):
    """'v40' sets volume 0x40 (hex, 00..40); 'v-4' slides down, 'v+4' up, 'vd4'/'vu4' fine
    slides, 'vs4' vibrato speed, 'vv4' vibrato depth, 'vp8' panning, 'vl4'/'vr4' panning
    slides, 'vm4' tone portamento. Returns the volume-column byte or None."""
    if len(token) == 3 and token[0] == "v":
        try:
            value = int(token[1:], 16)
        except ValueError:
            value = None
        if value is not None and not token[1] in "+-" and value <= 0x40:
            return 0x10 + value
        if token[1] in VOLUME_COLUMN and token[2] in "0123456789ABCDEF":
            return VOLUME_COLUMN[token[1]] + int(token[2], 16)
    return None


def parse_effect(token):
    """'A0F' -> (10, 0x0F); letters after 9 count on from 10 ('R' is 27, 'X' is 33)."""
    if EFFECT_RE.match(token):
        kind = int(token[0], 36)
        return kind, int(token[1:], 16)
    return None


class Cell:
    __slots__ = ("note", "instrument", "volume", "effect", "parameter")

    def __init__(self):
        self.note = self.instrument = self.volume = self.effect = self.parameter = 0

    def empty(self):
        return not (self.note or self.instrument or self.volume or self.effect or self.parameter)


class Event:
    """One row of a track: any of note, instrument, volume byte, effect."""

    def __init__(self, row):
        self.row = row
        self.note = None
        self.instrument = None
        self.volume = None
        self.effect = None  # (kind, parameter)

    def copy(self):
        e = Event(self.row)
        e.note, e.instrument, e.volume, e.effect = self.note, self.instrument, self.volume, self.effect
        return e


def parse_event(tokens, instruments, line_no, default_row=None):
    if default_row is None:
        if not tokens or not tokens[0].isdigit():
            fail(line_no, "a track line starts with its row number")
        event = Event(int(tokens[0]))
        tokens = tokens[1:]
    else:
        event = Event(default_row)
    for token in tokens:
        note = parse_note(token)
        if note is not None:
            if event.note is not None:
                fail(line_no, f"two notes in one cell: {token}")
            event.note = note
            continue
        if token in instruments:
            event.instrument = instruments[token].number
            continue
        volume = parse_volume(token)
        if volume is not None:
            event.volume = volume
            continue
        effect = parse_effect(token)
        if effect is not None:
            if event.effect is not None:
                fail(line_no, f"two effects in one cell: {token}")
            event.effect = effect
            continue
        fail(line_no, f"cannot read '{token}' (note, instrument, vNN or effect expected)")
    return event


# ---------------------------------------------------------------------------------------------
# Score reading

class Instrument:
    def __init__(self, number, name):
        self.number = number
        self.name = name
        self.sample = {}  # synthesis settings
        self.volume = 64
        self.panning = 128
        self.finetune = 0
        self.relative_note = 0
        self.loop = ("none", 0, 0)  # mode, start, length in values
        self.loop_flag = True  # False keeps the loop points in the header with the loop off
        self.envelopes = {"volume": None, "panning": None}
        self.fadeout = 0
        self.vibrato = (0, 0, 0, 0)  # type, sweep, depth, rate
        self.fit_to_image = False


class Envelope:
    def __init__(self):
        self.points = []
        self.sustain = None
        self.loop = None


class Track:
    def __init__(self, name, rows):
        self.name = name
        self.rows = rows
        self.events = []


class Pattern:
    def __init__(self, number, rows, title):
        self.number = number
        self.rows = rows
        self.title = title
        self.channels = {}  # channel (1-based) -> (line_no, spec tokens)
        self.cells = []  # (line_no, channel, event)


def parse_settings(tokens, line_no):
    settings = {}
    for token in tokens:
        if "=" not in token:
            fail(line_no, f"'{token}' should read name=value")
        key, value = token.split("=", 1)
        settings[key] = value
    return settings


def parse_envelope(tokens, line_no):
    env = Envelope()
    i = 0
    while i < len(tokens):
        token = tokens[i]
        if token == "sustain":
            env.sustain = int(tokens[i + 1])
            i += 2
        elif token == "loop":
            env.loop = (int(tokens[i + 1]), int(tokens[i + 2]))
            i += 3
        elif "/" in token:
            x, y = token.split("/")
            env.points.append((int(x), int(y)))
            i += 1
        else:
            fail(line_no, f"envelope: cannot read '{token}'")
    if not 2 <= len(env.points) <= 12:
        fail(line_no, "an envelope has 2 to 12 points")
    xs = [p[0] for p in env.points]
    if xs[0] != 0 or any(b <= a for a, b in zip(xs, xs[1:])):
        fail(line_no, "envelope points start at tick 0 and grow")
    if any(not 0 <= p[1] <= 64 for p in env.points):
        fail(line_no, "envelope values are 0..64")
    for index in ([env.sustain] if env.sustain is not None else []) + list(env.loop or ()):
        if not 0 <= index < len(env.points):
            fail(line_no, f"envelope point {index} does not exist")
    return env


class Score:
    def __init__(self):
        self.header = {}
        self.order = []
        self.instruments = {}  # name -> Instrument
        self.instrument_list = []
        self.tracks = {}
        self.patterns = {}


def read_score(path):
    score = Score()
    current = None
    for line_no, raw in enumerate(path.read_text().splitlines(), 1):
        # A comment starts with '#' at the start of a line or after a blank; the '#' of a
        # note name such as G#4 does not start one.
        line = re.split(r"(?:^|\s)#", raw, maxsplit=1)[0].rstrip()
        if not line.strip():
            continue
        indented = line[0] in " \t"
        tokens = line.split()
        word = tokens[0]
        if not indented:
            current = None
            if word in ("song", "tracker", "speed", "tempo", "channels", "restart", "image",
                        "frequencies", "version", "seed"):
                score.header[word] = " ".join(tokens[1:])
            elif word == "order":
                score.order = [int(t) for t in tokens[1:]]
            elif word == "instrument":
                number, name = int(tokens[1]), tokens[2]
                if number != len(score.instrument_list) + 1:
                    fail(line_no, "instruments are numbered 1, 2, 3, ... in order")
                current = Instrument(number, name)
                score.instruments[name] = current
                score.instrument_list.append(current)
            elif word == "track":
                name, rows = tokens[1], int(tokens[2])
                if name in score.tracks:
                    fail(line_no, f"track {name} defined twice")
                current = Track(name, rows)
                score.tracks[name] = current
            elif word == "pattern":
                number, rows = int(tokens[1]), int(tokens[2])
                if number in score.patterns:
                    fail(line_no, f"pattern {number} defined twice")
                current = Pattern(number, rows, " ".join(tokens[3:]))
                score.patterns[number] = current
            else:
                fail(line_no, f"unknown heading '{word}'")
            continue
        if current is None:
            fail(line_no, "indented line outside an instrument, track or pattern")
        if isinstance(current, Instrument):
            read_instrument_line(current, tokens, line_no)
        elif isinstance(current, Track):
            # 'FIRST..LAST[/STEP]' puts the same cell on every row of the range.
            m = re.match(r"^(\d+)\.\.(\d+)(?:/(\d+))?$", word)
            rows = range(int(m.group(1)), int(m.group(2)) + 1, int(m.group(3) or 1)) if m \
                else [None]
            for row in rows:
                if row is None:
                    event = parse_event(tokens, score.instruments, line_no)
                else:
                    event = parse_event(tokens[1:], score.instruments, line_no, default_row=row)
                if not 0 <= event.row < current.rows:
                    fail(line_no, f"row {event.row} outside track {current.name}")
                current.events.append(event)
        else:
            if word == "cell":
                row, channel = int(tokens[1]), int(tokens[2])
                event = parse_event(tokens[3:], score.instruments, line_no, default_row=row)
                current.cells.append((line_no, channel, event))
            elif word.isdigit():
                channel = int(word)
                if channel in current.channels:
                    fail(line_no, f"channel {channel} given twice")
                current.channels[channel] = (line_no, tokens[1:])
            else:
                fail(line_no, f"pattern lines start with a channel number or 'cell'")
    return score


def read_instrument_line(ins, tokens, line_no):
    word = tokens[0]
    if word == "sample":
        ins.sample = parse_settings(tokens[1:], line_no)
    elif word == "volume":
        ins.volume = int(tokens[1])
    elif word == "panning":
        ins.panning = int(tokens[1])
    elif word == "loop":
        # loop forward|pingpong START LENGTH [off]: 'off' keeps the points but plays once
        mode = tokens[1]
        if mode not in ("forward", "pingpong"):
            fail(line_no, "loop forward|pingpong START LENGTH [off]")
        ins.loop = (mode, int(tokens[2]), int(tokens[3]))
        ins.loop_flag = not (len(tokens) > 4 and tokens[4] == "off")
    elif word == "envelope":
        kind = tokens[1]
        if kind not in ("volume", "panning"):
            fail(line_no, "envelope volume|panning ...")
        ins.envelopes[kind] = parse_envelope(tokens[2:], line_no)
    elif word == "fadeout":
        ins.fadeout = int(tokens[1])
    elif word == "vibrato":
        s = parse_settings(tokens[1:], line_no)
        kinds = {"sine": 0, "square": 1, "rampdown": 2, "rampup": 3}
        ins.vibrato = (kinds[s.get("wave", "sine")], int(s.get("sweep", 0)),
                       int(s.get("depth", 0)), int(s.get("rate", 0)))
    elif word == "fit":
        ins.fit_to_image = True
    else:
        fail(line_no, f"unknown instrument setting '{word}'")


# ---------------------------------------------------------------------------------------------
# Pattern assembly: channels of tracks into cells

TRACK_RE = re.compile(r"^([A-Za-z][\w.]*)(?::([+-]\d+))?(?:\*(\d+))?$")


def channel_events(score, pattern, channel, line_no, spec):
    """Expands a channel line: tracks placed one after another, each with an optional
    transposition (':+3') and repetition ('*4'); then the line-wide modifiers: '>N' moves
    everything N rows later, 'fx-' drops every effect (and rows left without anything),
    'vNN' sets the volume of every note, 'pNN' pans every note with 8NN."""
    events = []
    row = 0
    shift = 0
    drop_effects = False
    volume = None
    panning = None
    for token in spec:
        if token.startswith(">"):
            shift = int(token[1:])
            continue
        if token == "fx-":
            drop_effects = True
            continue
        if re.match(r"^p[0-9A-F]{2}$", token):
            panning = int(token[1:], 16)
            continue
        if parse_volume(token) is not None and token[1] not in "-+":
            volume = parse_volume(token)
            continue
        m = TRACK_RE.match(token)
        if not m or m.group(1) not in score.tracks:
            fail(line_no, f"unknown track '{token}'")
        track = score.tracks[m.group(1)]
        transpose = int(m.group(2) or 0)
        for _ in range(int(m.group(3) or 1)):
            for e in track.events:
                e = e.copy()
                e.row += row
                if e.note is not None and e.note != KEY_OFF and transpose:
                    e.note += transpose
                    if not 1 <= e.note <= 96:
                        fail(line_no, f"{track.name} transposed out of range")
                events.append(e)
            row += track.rows
    if row > pattern.rows:
        fail(line_no, f"channel {channel} holds {row} rows, the pattern {pattern.rows}")
    result = []
    for e in events:
        e.row += shift
        if e.row >= pattern.rows:
            continue  # an echo that runs past the end of the pattern is cut there
        if drop_effects:
            e.effect = None
            if e.note is None and e.volume is None and e.instrument is None:
                continue
        if e.note is not None and e.note != KEY_OFF:
            if volume is not None:
                e.volume = volume
            if panning is not None and e.effect is None:
                e.effect = (8, panning)
        result.append(e)
    return result


def build_cells(score, pattern, channels):
    grid = [[Cell() for _ in range(channels)] for _ in range(pattern.rows)]
    placed = []
    for channel, (line_no, spec) in sorted(pattern.channels.items()):
        for e in channel_events(score, pattern, channel, line_no, spec):
            placed.append((line_no, channel, e))
    placed.extend(pattern.cells)
    for line_no, channel, e in placed:
        if not 1 <= channel <= channels:
            fail(line_no, f"channel {channel} does not exist")
        if not 0 <= e.row < pattern.rows:
            fail(line_no, f"row {e.row} outside pattern {pattern.number}")
        cell = grid[e.row][channel - 1]
        where = f"pattern {pattern.number} row {e.row} channel {channel}"
        if e.note is not None:
            if cell.note:
                fail(line_no, f"{where}: two notes")
            cell.note = e.note
        if e.instrument is not None:
            if cell.instrument:
                fail(line_no, f"{where}: two instruments")
            cell.instrument = e.instrument
        if e.volume is not None:
            if cell.volume:
                fail(line_no, f"{where}: two volume bytes")
            cell.volume = e.volume
        if e.effect is not None:
            if cell.effect or cell.parameter:
                fail(line_no, f"{where}: two effects")
            cell.effect, cell.parameter = e.effect
    return grid


# ---------------------------------------------------------------------------------------------
# Synthesis. Every sample is computed in floating point, scaled so that its peak is the given
# amplitude and rounded to signed 8-bit values.

class Noise:
    """xorshift32: the same sequence on every machine for a given seed."""

    def __init__(self, seed):
        self.state = (seed & 0xFFFFFFFF) or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x / 2147483648.0 - 1.0  # -1 .. 1


def to_bytes(values, amplitude):
    peak = max(abs(v) for v in values) or 1.0
    scale = amplitude / peak
    return [max(-128, min(127, int(round(v * scale)))) for v in values]


def cycle_wave(s, n):
    shape = s["wave"]
    out = []
    for k in range(n):
        phase = k / n
        if shape == "pulse":
            out.append(1.0 if phase < float(s.get("duty", 0.5)) else -1.0)
        elif shape == "triangle":
            out.append(4 * phase - 1 if phase < 0.5 else 3 - 4 * phase)
        elif shape in ("saw", "additive"):
            if shape == "saw":
                weights = [1.0 / h for h in range(1, int(s.get("harmonics", 8)) + 1)]
            else:
                weights = [float(w) for w in s["weights"].split(",")]
            out.append(sum(w * math.sin(2 * math.pi * (h + 1) * phase)
                           for h, w in enumerate(weights)))
        else:
            raise ScoreError(f"unknown waveform '{shape}'")
    # A narrow pulse sits mostly below zero; centre every cycle on zero so that the voices
    # add no constant offset to the mix.
    mean = sum(out) / n
    return [v - mean for v in out]


def drum(s, n, seed):
    kind = s["wave"]
    rate = float(s["rate"])
    noise = Noise(seed)
    out = []
    phase = 0.0
    previous = 0.0
    for k in range(n):
        t = k / rate
        if kind == "kick":
            f0, f1 = float(s["from"]), float(s["to"])
            freq = f1 + (f0 - f1) * math.exp(-t / (float(s["sweep"]) / 1000))
            phase += 2 * math.pi * freq / rate
            body = math.sin(phase) * math.exp(-t / (float(s["decay"]) / 1000))
            click = noise.next() * float(s.get("click", 0)) * math.exp(-t / 0.002)
            out.append(body + click)
        elif kind == "snare":
            phase += 2 * math.pi * float(s["tone"]) / rate
            tone = math.sin(phase) * math.exp(-t / (float(s["tonedecay"]) / 1000))
            white = noise.next()
            bright = white - 0.5 * previous  # tilt the noise toward the highs
            previous = white
            hiss = bright * float(s["mix"]) * math.exp(-t / (float(s["noisedecay"]) / 1000))
            out.append(tone + hiss)
        elif kind == "hat":
            white = noise.next()
            bright = white - previous  # first difference: a high-passed noise
            previous = white
            out.append(bright * math.exp(-t / (float(s["decay"]) / 1000)))
        else:
            raise ScoreError(f"unknown drum '{kind}'")
    return out


def synthesise(ins, length, seed):
    s = ins.sample
    amplitude = float(s.get("amplitude", 100))
    if s["wave"] in ("kick", "snare", "hat"):
        return to_bytes(drum(s, length, seed + ins.number), amplitude)
    return to_bytes(cycle_wave(s, length), amplitude)


def tuning(semitones):
    """A transposition in semitones as the sample's relative note and finetune (1/128)."""
    relative = math.floor(semitones)
    finetune = int(round((semitones - relative) * 128))
    if finetune >= 128:
        relative, finetune = relative + 1, finetune - 128
    return relative, finetune


def sample_tuning(ins):
    s = ins.sample
    if "cycle" in s:
        # One cycle of n values: the note must play the sample at n times its frequency.
        # C-4 (261.63 Hz) plays a sample at 8363 values a second when untuned.
        n = int(s["cycle"])
        return tuning(12 * math.log2(n * 261.6255653 / 8363))
    # A drum sampled at 'rate' values a second that should sound as recorded on 'note'.
    rate = float(s["rate"])
    note = parse_note(s.get("note", "C-4"))
    return tuning(12 * math.log2(rate / 8363) - (note - C4))


# ---------------------------------------------------------------------------------------------
# XM writing

def pad(text, size):
    data = text.encode("ascii")
    if len(data) > size:
        raise ScoreError(f"'{text}' is longer than {size} characters")
    return data + b"\0" * (size - len(data))


def pack_pattern(grid):
    out = bytearray()
    for row in grid:
        for c in row:
            fields = [c.note, c.instrument, c.volume, c.effect, c.parameter]
            mask = sum(1 << i for i, v in enumerate(fields) if v)
            if mask == 0x1F:
                out += bytes(fields)
            else:
                out.append(0x80 | mask)
                out += bytes(v for v in fields if v)
    return bytes(out)


def write_envelope(env):
    points = bytearray()
    for x, y in (env.points if env else []):
        points += struct.pack("<HH", x, y)
    return points + b"\0" * (48 - len(points))


def envelope_type(env):
    if env is None:
        return 0
    return 1 | (2 if env.sustain is not None else 0) | (4 if env.loop is not None else 0)


def envelope_points(env):
    """Point count, sustain point, loop start and loop end as stored in the header."""
    if env is None:
        return bytes(4)
    loop = env.loop or (0, 0)
    return bytes([len(env.points), env.sustain or 0, loop[0], loop[1]])


def instrument_header(ins, sample_length):
    vol, pan = ins.envelopes["volume"], ins.envelopes["panning"]
    v, p = envelope_points(vol), envelope_points(pan)
    header = bytearray()
    header += struct.pack("<I", 263)
    header += pad(ins.name, 22)
    header += bytes([0])  # instrument type
    header += struct.pack("<H", 1)  # one sample
    header += struct.pack("<I", 40)  # sample header size
    header += bytes(96)  # every note plays sample 0
    header += write_envelope(vol) + write_envelope(pan)
    header += bytes([v[0], p[0]]) + v[1:] + p[1:]
    header += bytes([envelope_type(vol), envelope_type(pan)])
    header += bytes(ins.vibrato)
    header += struct.pack("<H", ins.fadeout)
    header += bytes(22)  # reserved
    assert len(header) == 263

    relative, finetune = sample_tuning(ins)
    mode, start, length = ins.loop
    loop_type = {"none": 0, "forward": 1, "pingpong": 2}[mode] if ins.loop_flag else 0
    if mode == "forward" and length == 0:
        start, length = 0, sample_length  # the whole sample loops
    sample = struct.pack("<IIIBbBBbB", sample_length, start, length, ins.volume, finetune,
                         loop_type, ins.panning, relative, 0)
    sample += pad(ins.name, 22)
    assert len(sample) == 40
    return bytes(header) + sample


def delta_code(values):
    out = bytearray()
    previous = 0
    for v in values:
        out.append((v - previous) & 0xFF)
        previous = v
    return bytes(out)


def build_image(score):
    h = score.header
    channels = int(h["channels"])
    pattern_numbers = sorted(score.patterns)
    if pattern_numbers != list(range(len(pattern_numbers))):
        raise ScoreError("patterns are numbered 0, 1, 2, ... without gaps")
    for number in score.order:
        if number not in score.patterns:
            raise ScoreError(f"order names pattern {number}, which the score does not hold")
    restart = int(h["restart"])
    if not 0 <= restart < len(score.order):
        raise ScoreError("the restart position lies outside the order list")

    image = bytearray()
    image += b"Extended Module: "
    image += pad(h["song"], 20)
    image += b"\x1a"
    image += pad(h["tracker"], 20)
    image += struct.pack("<H", int(h.get("version", "0x0104"), 0))
    flags = 1 if h.get("frequencies", "linear") == "linear" else 0
    order = bytes(score.order) + bytes(256 - len(score.order))
    image += struct.pack("<IHHHHHHHH", 276, len(score.order), restart, channels,
                         len(pattern_numbers), len(score.instrument_list), flags,
                         int(h["speed"]), int(h["tempo"]))
    image += order
    assert len(image) == 60 + 276

    grids = {}
    for number in pattern_numbers:
        pattern = score.patterns[number]
        grids[number] = build_cells(score, pattern, channels)
        packed = pack_pattern(grids[number])
        image += struct.pack("<IBHH", 9, 0, pattern.rows, len(packed)) + packed

    seed = int(h.get("seed", "1"))
    target = int(h["image"]) if "image" in h else None
    for index, ins in enumerate(score.instrument_list):
        last = index == len(score.instrument_list) - 1
        if ins.fit_to_image:
            if not last or target is None:
                raise ScoreError("only the last instrument can be fitted to the image size")
            length = target - len(image) - 263 - 40
            minimum = int(ins.sample.get("minimum", 1000))
            if length < minimum:
                raise ScoreError(f"the song leaves {length} values for {ins.name}, "
                                 f"fewer than {minimum}: shorten the patterns")
        else:
            length = int(ins.sample["length"])
        values = synthesise(ins, length, seed)
        image += instrument_header(ins, length) + delta_code(values)
    if target is not None and len(image) != target:
        raise ScoreError(f"the image has {len(image)} bytes, the score asks for {target}")
    return bytes(image), grids


# ---------------------------------------------------------------------------------------------
# Timeline: where each order position starts, following the song as the sequencer plays it
# (pattern loops, breaks, jumps and pattern delays).

def timeline(score, grids):
    """Start times of the order positions in seconds, from position 0 until the song leaves
    its last position (for its restart position) or jumps back to an earlier one."""
    h = score.header
    speed, tempo = int(h["speed"]), int(h["tempo"])
    channels = int(h["channels"])
    loop_row = [0] * channels
    loop_count = [0] * channels
    order_index, row, seconds = 0, 0, 0.0
    starts = [(0, 0.0)]
    for _ in range(100000):
        grid = grids[score.order[order_index]]
        next_row, next_order, loop_jump, delay = -1, -1, -1, 0
        jumped = False
        for ch, cell in enumerate(grid[row]):
            x, y = cell.parameter >> 4, cell.parameter & 15
            if cell.effect == 11:
                next_row, next_order, jumped = 0, cell.parameter, True
                if next_order >= len(score.order):
                    next_order = 0
            elif cell.effect == 13:
                next_row = 10 * x + y
                if next_row > 63:
                    next_row = 0
                if not jumped:
                    next_order = order_index + 1
                if next_order >= len(score.order):
                    next_order = 0
            elif cell.effect == 14 and x == 6:
                if y == 0:
                    loop_row[ch] = row
                else:
                    loop_count[ch] = y if loop_count[ch] == 0 else loop_count[ch] - 1
                    if loop_count[ch]:
                        loop_jump = loop_row[ch]
            elif cell.effect == 14 and x == 14:
                delay = speed * y
            elif cell.effect == 15 and cell.parameter:
                if cell.parameter < 32:
                    speed = cell.parameter
                else:
                    tempo = cell.parameter
        seconds += (speed + delay) * 2.5 / tempo
        if next_row == -1:
            next_row = loop_jump if loop_jump >= 0 else row + 1
            if next_row >= len(grid):
                next_order = order_index + 1
                if next_order >= len(score.order):
                    next_order = int(h["restart"])
                next_row = 0
        if next_order >= 0:
            if next_order <= order_index:
                return starts, seconds
            starts.append((next_order, seconds))
            order_index = next_order
        row = next_row
    raise ScoreError("the song does not reach its end")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--score", type=pathlib.Path, default=DEFAULT_SCORE)
    parser.add_argument("--output", type=pathlib.Path, default=DEFAULT_OUTPUT)
    parser.add_argument("--check", action="store_true",
                        help="compare with the output file instead of writing it")
    parser.add_argument("--timeline", action="store_true",
                        help="print the start time of every order position")
    args = parser.parse_args()
    try:
        score = read_score(args.score)
        image, grids = build_image(score)
    except ScoreError as error:
        print(f"make_song: {error}", file=sys.stderr)
        return 2
    if args.timeline:
        starts, end = timeline(score, grids)
        for position, seconds in starts:
            number = score.order[position]
            title = score.patterns[number].title
            print(f"{seconds:7.2f} s  position {position:2}  pattern {number:2}  {title}")
        print(f"{end:7.2f} s  back to position {score.header['restart']}")
    if args.check:
        if not args.output.exists() or args.output.read_bytes() != image:
            print(f"make_song: {args.output} differs from the score", file=sys.stderr)
            return 1
        return 0
    if not args.timeline:
        args.output.write_bytes(image)
        print(f"make_song: wrote {args.output} ({len(image)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
