#!/usr/bin/env python3
"""Runs the democapture program the way people do: arguments, files written, exit status."""
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
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


def listing(directory):
    """Every file and folder under directory, with the contents of the files."""
    found = {}
    for folder, folders, files in os.walk(directory):
        for name in folders:
            found[os.path.relpath(os.path.join(folder, name), directory)] = None
        for name in files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, directory)] = read(path)
    return found


def interrupt_while_writing(arguments, directory, sig=signal.SIGINT):
    """Starts democapture, sends sig once its temporary files exist, returns its status."""
    process = subprocess.Popen([CAPTURE, *arguments], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while process.poll() is None and time.monotonic() < deadline:
        if any(".part-" in name for _, folders, files in os.walk(directory)
               for name in folders + files):
            time.sleep(0.3)  # well into the frames
            process.send_signal(sig)
            break
        time.sleep(0.005)
    return process.wait(timeout=60)


class Arguments(unittest.TestCase):
    def test_bad_arguments_print_usage_and_fail(self):
        for arguments in ([], ["--frames", "3:2", "--cells", "x"], ["--frames", "0:5", "--cells", "x"],
                          ["--frames", "a:b", "--cells", "x"], ["--frames", "5", "--cells", "x"],
                          ["--frames", "1:2x", "--cells", "x"], ["--cells"], ["--colour"],
                          ["--png", ""], ["--frames", " 1:10", "--cells", "x"],
                          ["--frames", "1:10 ", "--cells", "x"], ["--frames", "+1:10", "--cells", "x"],
                          ["--frames", "1:2160001", "--cells", "x"], ["--cells", "a", "--cells", "b"],
                          ["--cells", "x", "--wav", "x"], ["stray"], ["--help", "-h"]):
            with self.subTest(arguments=arguments):
                result = run(*arguments)
                self.assertEqual(result.returncode, 2)
                self.assertIn("usage: democapture", result.stderr)
                self.assertTrue(result.stderr.startswith("democapture: "))

    def test_frame_errors_state_the_real_bounds(self):
        self.assertIn("1 <= A <= B <= 2160000", run("--frames", "1:2160001", "--cells", "x").stderr)
        self.assertIn("given twice", run("--cells", "a", "--cells", "b").stderr)

    def test_help_names_every_option_of_the_table(self):
        with open(os.path.join(SOURCE, "tools", "democapture", "democapture.cpp")) as f:
            table = re.search(r"kOptions\[\] = \{(.*?)\};", f.read(), re.S).group(1)
        options = re.findall(r'"(-[-a-z]+)"', table)  # long and short names
        self.assertIn("--frames", options)
        self.assertIn("-h", options)
        result = run("--help")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        for option in options:
            with self.subTest(option=option):
                self.assertRegex(result.stdout, r"(^|[ ,])%s[ ,\n]" % re.escape(option))
        for words in ("Exit status", "Example", "WAV file, 44100 Hz", "PNG"):
            self.assertIn(words, result.stdout)

    def test_a_wav_file_beyond_4_gib_is_refused_before_writing(self):
        with tempfile.TemporaryDirectory() as directory:
            result = run("--frames", "1:1000000", "--wav", os.path.join(directory, "m.wav"))
            self.assertEqual(result.returncode, 2)
            self.assertIn("6.6 GiB", result.stderr)
            self.assertIn("at most 4.0 GiB (608697 frames)", result.stderr)
            self.assertEqual(os.listdir(directory), [])

    def test_outputs_beyond_the_free_space_are_refused_before_writing(self):
        with tempfile.TemporaryDirectory() as directory:
            cells, wav = os.path.join(directory, "c.cells"), os.path.join(directory, "m.wav")
            environment = dict(os.environ, TOOLS_TEST_FREE_SPACE=str(1600000 + 200 * 7056))
            # 200 frames: 1600000 bytes of cells and 44 + 200 x 7056 of music, 44 too many.
            result = subprocess.run([CAPTURE, "--frames", "1:200", "--cells", cells, "--wav", wav],
                                    capture_output=True, text=True, env=environment)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertIn(cells + " and " + wav + ": would take about 2.9 MiB", result.stderr)
            self.assertEqual(os.listdir(directory), [])
            result = subprocess.run([CAPTURE, "--frames", "2:200", "--cells", cells, "--wav", wav],
                                    capture_output=True, text=True, env=environment)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(sorted(os.listdir(directory)), ["c.cells", "m.wav"])

    def test_a_folder_and_a_file_in_the_wrong_place_are_named(self):
        with tempfile.TemporaryDirectory() as directory:
            afile = os.path.join(directory, "afile")
            open(afile, "w").close()
            self.assertIn(afile + " is a file, not a folder", run("--png", afile).stderr)
            for option in ("--cells", "--wav", "--video"):
                result = run(option, directory)
                self.assertEqual(result.returncode, 1)
                self.assertIn(directory + " is a folder", result.stderr)

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


class Interrupted(unittest.TestCase):
    def test_an_interrupt_leaves_no_new_file_and_keeps_the_old_ones(self):
        with tempfile.TemporaryDirectory() as directory:
            shots = os.path.join(directory, "shots")
            os.mkdir(shots)
            for name, data in (("c.cells", b"old cells"), ("m.wav", b"old music"),
                               ("shots/frame_00001.png", b"old picture")):
                with open(os.path.join(directory, name), "wb") as f:
                    f.write(data)
            before = listing(directory)
            status = interrupt_while_writing(
                ["--cells", os.path.join(directory, "c.cells"), "--wav",
                 os.path.join(directory, "m.wav"), "--png", shots, "--assets",
                 os.path.join(directory, "new", "assets")], directory)
            self.assertEqual(status, -signal.SIGINT)
            self.assertEqual(listing(directory), before)

    @unittest.skipUnless(shutil.which("ffmpeg"), "needs ffmpeg")
    def test_an_interrupted_video_leaves_nothing_behind(self):
        with tempfile.TemporaryDirectory() as directory:
            status = interrupt_while_writing(["--video", os.path.join(directory, "v.mp4")],
                                             directory, signal.SIGTERM)
            self.assertEqual(status, -signal.SIGTERM)
            time.sleep(0.2)  # an ffmpeg left running would write its file by now
            self.assertEqual(listing(directory), {})


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
