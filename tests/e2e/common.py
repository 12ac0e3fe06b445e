"""Shared pieces of the end-to-end checks: the demo's code page and colours as a terminal or a
console shows them, and bounded waiting."""
import os
import re
import time
import unittest

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
COLUMNS, ROWS = 80, 50
CELLS = COLUMNS * ROWS
FRAME_BYTES = 2 * CELLS
TITLE = "Kald mig bare ordblind..."


def code_points():
    """The Unicode code point of each character code, read from the terminal host's table."""
    with open(os.path.join(SOURCE, "src", "host", "cp437.cpp")) as f:
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
