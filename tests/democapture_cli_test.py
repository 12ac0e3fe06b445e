#!/usr/bin/env python3
"""Runs the democapture program the way people do: arguments, files written, exit status."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

CAPTURE = sys.argv.pop(1) if len(sys.argv) > 1 else "build/default/tools/democapture/democapture"
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
FRAME_AUDIO_BYTES = 1764 * 4
CELL_FRAME_BYTES = 8000


def run(*arguments):
    return subprocess.run([CAPTURE, *arguments], capture_output=True, text=True, timeout=300)


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Arguments(unittest.TestCase):
    def test_bad_arguments_print_usage_and_fail(self):
        for arguments in ([], ["--frames", "3:2", "--cells", "x"], ["--frames", "0:5", "--cells", "x"],
                          ["--frames", "a:b", "--cells", "x"], ["--frames", "5", "--cells", "x"],
                          ["--frames", "1:2x", "--cells", "x"], ["--cells"], ["--colour"],
                          ["--png", ""]):
            with self.subTest(arguments=arguments):
                result = run(*arguments)
                self.assertEqual(result.returncode, 2)
                self.assertIn("usage: democapture", result.stderr)
                self.assertTrue(result.stderr.startswith("democapture: "))

    def test_unwritable_paths_fail_with_the_path_named(self):
        with tempfile.TemporaryDirectory() as directory:
            blocker = os.path.join(directory, "file")
            open(blocker, "w").close()
            for option in ("--cells", "--wav", "--png", "--assets"):
                with self.subTest(option=option):
                    target = os.path.join(blocker, "inside")
                    result = run("--frames", "1:1", option, target)
                    self.assertEqual(result.returncode, 1)
                    self.assertIn(blocker, result.stderr)
                    self.assertEqual(result.stderr.count("\n"), 1)


class Outputs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory()
        d = cls.directory.name
        cls.whole = {"cells": os.path.join(d, "all.cells"), "wav": os.path.join(d, "all.wav")}
        cls.tail = {"cells": os.path.join(d, "tail.cells"), "wav": os.path.join(d, "tail.wav")}
        for paths, frames in ((cls.whole, "1:120"), (cls.tail, "101:120")):
            result = run("--frames", frames, "--cells", paths["cells"], "--wav", paths["wav"])
            assert result.returncode == 0, result.stderr

    @classmethod
    def tearDownClass(cls):
        cls.directory.cleanup()

    def test_sizes_follow_the_frame_range(self):
        self.assertEqual(os.path.getsize(self.whole["cells"]), 120 * CELL_FRAME_BYTES)
        self.assertEqual(os.path.getsize(self.whole["wav"]), 44 + 120 * FRAME_AUDIO_BYTES)
        self.assertEqual(os.path.getsize(self.tail["wav"]), 44 + 20 * FRAME_AUDIO_BYTES)

    def test_wav_header_describes_cd_quality_stereo(self):
        header = read(self.tail["wav"])[:44]
        riff, size, wave, fmt, fmt_size, tag, channels, rate, byte_rate, align, bits, data, data_size = \
            struct.unpack("<4sI4s4sIHHIIHH4sI", header)
        self.assertEqual((riff, wave, fmt, data), (b"RIFF", b"WAVE", b"fmt ", b"data"))
        self.assertEqual((tag, channels, rate, byte_rate, align, bits), (1, 2, 44100, 176400, 4, 16))
        self.assertEqual(data_size, 20 * FRAME_AUDIO_BYTES)
        self.assertEqual(size, 36 + data_size)

    def test_frame_one_is_black(self):
        self.assertEqual(read(self.whole["cells"])[:CELL_FRAME_BYTES], bytes(CELL_FRAME_BYTES))

    def test_a_later_range_is_the_tail_of_the_whole_run(self):
        # Frame n starts at (n - 1) x 1764 audio frames, whatever the first recorded frame is.
        self.assertEqual(read(self.tail["cells"]), read(self.whole["cells"])[100 * CELL_FRAME_BYTES:])
        self.assertEqual(read(self.tail["wav"])[44:], read(self.whole["wav"])[44 + 100 * FRAME_AUDIO_BYTES:])

    def test_the_music_is_not_silent(self):
        samples = struct.unpack("<%dh" % (20 * 1764 * 2), read(self.tail["wav"])[44:])
        self.assertGreater(max(abs(s) for s in samples), 1000)


class Pictures(unittest.TestCase):
    def test_one_png_of_640_by_600_a_frame(self):
        with tempfile.TemporaryDirectory() as directory:
            result = run("--frames", "101:102", "--png", os.path.join(directory, "shots"))
            self.assertEqual(result.returncode, 0, result.stderr)
            names = sorted(os.listdir(os.path.join(directory, "shots")))
            self.assertEqual(names, ["frame_00101.png", "frame_00102.png"])
            png = read(os.path.join(directory, "shots", names[0]))
            self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
            width, height, depth, colour = struct.unpack(">IIBB", png[16:26])
            self.assertEqual((width, height, depth, colour), (640, 600, 8, 2))


class Assets(unittest.TestCase):
    def test_assets_are_the_committed_files(self):
        with tempfile.TemporaryDirectory() as directory:
            result = run("--assets", directory)
            self.assertEqual(result.returncode, 0, result.stderr)
            for name, size in (("glyph_font.bin", 3072), ("pictures.rgb", 60000),
                               ("scroll_banner.bin", 19200), ("song.xm", None)):
                with self.subTest(asset=name):
                    written = read(os.path.join(directory, name))
                    if size is not None:
                        self.assertEqual(len(written), size)
                    self.assertEqual(written, read(os.path.join(SOURCE, "src", "data", name)))


if __name__ == "__main__":
    unittest.main()
