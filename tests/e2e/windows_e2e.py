#!/usr/bin/env python3
"""The Windows build as people run it, under Wine with a virtual X display.

usage: windows_e2e.py DEMO.EXE WINE_PREFIX_DIRECTORY DEMOCAPTURE
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

EXE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
PREFIX_HOME = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
CAPTURE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
TOOLS = ("wine", "wineserver", "Xvfb", "xwininfo", "xwd", "convert")


def free_display():
    for number in range(90, 200):
        if not os.path.exists("/tmp/.X%d-lock" % number) and \
                not os.path.exists("/tmp/.X11-unix/X%d" % number):
            return number
    raise AssertionError("no free X display")


class Windows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        missing = [tool for tool in TOOLS if not shutil.which(tool)]
        if not EXE or not os.path.exists(EXE) or not CAPTURE or missing:
            common.skip_or_fail("needs %s, democapture and %s" % (EXE or "demo.exe", ", ".join(missing) or "-"))
        cls.display, cls.xvfb = cls.start_xvfb("1280x1024x24")
        # A screen too small for a console window of 50 rows.
        cls.small_display, cls.small_xvfb = cls.start_xvfb("800x480x24")
        # The Wine prefix is made once and kept beside the build: making it takes a while.
        os.makedirs(PREFIX_HOME, exist_ok=True)
        cls.prefix = os.path.join(PREFIX_HOME, "prefix")
        # Nothing of an earlier run may still hold the prefix.
        subprocess.run(["wineserver", "-k"], env=cls.environment(None), capture_output=True, timeout=60)
        for display in (cls.display, cls.small_display):
            if not common.wait_until(lambda: subprocess.run(["xwininfo", "-root", "-display", display],
                                                            capture_output=True).returncode == 0, 20):
                cls.tearDownClass()
                raise AssertionError("Xvfb did not start")

    @classmethod
    def start_xvfb(cls, screen):
        display = ":%d" % free_display()
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", screen, "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The next display's lock file may not be there yet.
        common.wait_until(lambda: os.path.exists("/tmp/.X%s-lock" % display[1:]), 20)
        return display, xvfb

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env=cls.environment(None), capture_output=True, timeout=60)
        for xvfb in (cls.xvfb, cls.small_xvfb):
            xvfb.terminate()
            xvfb.wait(timeout=20)

    @classmethod
    def environment(cls, home):
        environment = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "DISPLAY": cls.display,
                       "WINEPREFIX": cls.prefix, "WINEDEBUG": "-all",
                       "HOME": home or PREFIX_HOME, "WINEDLLOVERRIDES": "mscoree,mshtml="}
        return environment

    def run_demo(self, with_sound, display=None):
        home = tempfile.TemporaryDirectory()
        self.addCleanup(home.cleanup)
        if with_sound:
            # A silent sound card: ALSA's null device.
            with open(os.path.join(home.name, ".asoundrc"), "w") as f:
                f.write("pcm.!default { type null }\nctl.!default { type hw card 0 }\n")
        else:
            # No ALSA device at all.
            with open(os.path.join(home.name, "empty.conf"), "w") as f:
                f.write("\n")
        environment = self.environment(home.name)
        environment["DISPLAY"] = display or self.display
        if not with_sound:
            environment["ALSA_CONFIG_PATH"] = os.path.join(home.name, "empty.conf")
        process = subprocess.Popen(["wine", EXE], env=environment, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)

        def stop():
            if process.poll() is None:
                process.kill()
            subprocess.run(["wineserver", "-k"], env=environment, capture_output=True, timeout=60)
            process.wait(timeout=60)
        self.addCleanup(stop)
        return process

    def window(self, display=None):
        result = subprocess.run(["xwininfo", "-root", "-tree", "-display", display or self.display],
                                capture_output=True, text=True)
        for line in result.stdout.splitlines():
            if '"%s"' % common.TITLE in line:
                return line.split()[0]
        return None

    def size(self, window, display=None):
        result = subprocess.run(["xwininfo", "-id", window, "-display", display or self.display],
                                capture_output=True, text=True)
        values = dict(line.strip().split(": ", 1) for line in result.stdout.splitlines()
                      if line.strip().startswith(("Width:", "Height:")))
        return int(values["Width"]), int(values["Height"])

    def screenshot(self, window, display=None):
        """The window's pixels as RGB bytes; none when the window has gone meanwhile."""
        result = subprocess.run("xwd -silent -id %s -display %s | convert xwd:- -depth 8 rgb:-"
                                % (window, display or self.display), shell=True, capture_output=True,
                                timeout=30)
        return result.stdout if result.returncode == 0 else b""

    def still_picture(self, window, display=None):
        """The window's pixels once it shows a picture that stands still: the first picture
        zooms in from 4 s on and stands still from 5.6 s to 14 s, the first 4 s are black.
        Taken when two screenshots a moment apart are the same and not black, however long
        Wine took to start the music."""
        shots = []

        def settled():
            shots.append(self.screenshot(window, display))
            shots[:] = shots[-2:]
            return (len(shots) == 2 and shots[1] and shots[0] == shots[1]
                    and shots[1].count(b"\0\0\0") < len(shots[1]) // 3 * 9 // 10)
        self.assertTrue(common.wait_until(settled, 60, 0.3), "the window never stood still "
                        "with a picture")
        return shots[1]

    def test_opens_its_window_and_shows_the_zoom(self):
        self.run_demo(with_sound=True)
        window = common.wait_until(self.window, 180, 0.5)
        self.assertIsNotNone(window, "no window titled %s" % common.TITLE)
        pixels = self.still_picture(window)
        self.assertTrue(pixels, "no screenshot of the window")
        colours = {}
        for k in range(0, len(pixels) - 2, 3):
            rgb = pixels[k:k + 3]
            colours[rgb] = colours.get(rgb, 0) + 1
        total = len(pixels) // 3
        lit = total - colours.get(b"\0\0\0", 0)
        self.assertGreater(lit, total // 3, "the console window is mostly black")
        # Text in 16 console colours: a handful of colours, most of the window in a few of them.
        main_colours = [c for c, n in colours.items() if n > total // 200]
        self.assertGreaterEqual(len(main_colours), 3)
        self.assertLessEqual(len(main_colours), 16)
        self.expect_all_rows(window, pixels)

    def expect_all_rows(self, window, pixels):
        """The window shows the 80 by 50 cells of the still sunset (frame 140 to 350), each in a
        box of its own: cells that hold the same character and attribute look alike (the same
        average colour), but for a few (the console may draw its cursor). A window of 25 rows,
        or a scrolled one, would put other rows in those boxes."""
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "still.cells")
            subprocess.run([CAPTURE, "--frames", "200:200", "--cells", path], check=True, timeout=300)
            with open(path, "rb") as f:
                cells = struct.unpack("<%dH" % common.CELLS, f.read())
        width, height = self.size(window)
        self.assertEqual(len(pixels), width * height * 3)
        box_width, box_height = width // common.COLUMNS, height // common.ROWS
        self.assertGreater(box_height, 0, "a window %d pixels high" % height)
        looks = {}
        for row in range(common.ROWS):
            for column in range(common.COLUMNS):
                total = [0, 0, 0]
                for y in range(row * box_height, (row + 1) * box_height):
                    start = (y * width + column * box_width) * 3
                    for channel in range(3):
                        total[channel] += sum(pixels[start + channel:start + box_width * 3:3])
                look = tuple(round(v / (box_width * box_height)) for v in total)
                looks.setdefault(cells[row * common.COLUMNS + column], []).append(look)
        self.assertGreater(len(looks), 20)
        alike = 0
        for boxes in looks.values():
            usual = max(set(boxes), key=boxes.count)
            alike += sum(1 for look in boxes if max(abs(a - b) for a, b in zip(look, usual)) <= 12)
        self.assertGreaterEqual(alike, common.CELLS - 40, "the %d by %d window does not show the 50 "
                                "rows cell for cell (%d of %d cells alike)" % (width, height, alike, common.CELLS))

    def test_a_window_of_fewer_rows_shows_the_same_cells(self):
        """On a screen too small for 50 rows the console window keeps fewer, and the demo looks
        for a console that takes escape sequences. Wine's shows them as text; the demo finds that
        out and keeps to the whole-frame write, so the rows shown are those of a window of 50
        rows, pixel for pixel, but for the window's last, partly shown row."""
        pictures = []
        for display in (self.display, self.small_display):
            process = self.run_demo(with_sound=True, display=display)
            window = common.wait_until(lambda: self.window(display), 180, 0.5)
            self.assertIsNotNone(window, "no window titled %s" % common.TITLE)
            pictures.append((self.size(window, display), self.still_picture(window, display)))
            subprocess.run(["wineserver", "-k"], env=self.environment(None), capture_output=True, timeout=60)
            process.wait(timeout=60)
        ((width, height), full), ((small_width, small_height), small) = pictures
        self.assertEqual(small_width, width)
        self.assertLess(small_height, height * 2 // 3)
        shown = width * small_height * 3
        same = sum(1 for k in range(0, shown, 3) if small[k:k + 3] == full[k:k + 3])
        self.assertGreater(same, shown // 3 * 95 // 100, "the window of %d pixels' height shows other "
                           "cells than one of 50 rows (%d of %d pixels alike)" % (small_height, same, shown // 3))

    def test_without_a_sound_device_it_ends_without_a_picture(self):
        process = self.run_demo(with_sound=False)
        seen = []

        def ended():
            window = self.window()
            if window:
                pixels = self.screenshot(window)
                lit = sum(1 for k in range(0, len(pixels) - 2, 3) if pixels[k:k + 3] != b"\0\0\0")
                seen.append(lit / max(1, len(pixels) // 3))
            return process.poll() is not None
        self.assertTrue(common.wait_until(ended, 180, 0.5), "the demo did not end")
        self.assertEqual(process.returncode, 0)
        # The text cursor may blink in a corner; a picture would light much of the window.
        self.assertTrue(all(share < 0.02 for share in seen), "a picture was shown")


if __name__ == "__main__":
    unittest.main()
