#!/usr/bin/env python3
"""Runs the built xmrender against good, bad and broken input.

usage: xmrender_test.py PATH/TO/xmrender

Every failure must be a one-line message naming the file and a non-zero exit status, never a
crash; a good song must give a 44100 Hz 16-bit stereo WAV of the expected length.
"""
import os
import pty
import re
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import wave

XMRENDER = None


def xm_image():
    """A one-channel XM song: 4 rows at speed 6, 125 BPM; a note of an 8-bit looping sample."""
    header = bytearray(b"Extended Module: ")
    header += b"tiny test song".ljust(20, b"\0") + b"\x1a" + b"xmrender_test".ljust(20, b"\0")
    header += struct.pack("<H", 0x0104)
    order = bytes([0]) + bytes(255)
    # header size, song length, restart, channels, patterns, instruments, flags, speed, bpm
    header += struct.pack("<IHHHHHHHH", 276, 1, 0, 1, 1, 1, 1, 6, 125) + order
    cells = bytes([0x83, 49, 1]) + bytes([0x80]) * 3  # C-4 with instrument 1, then empty rows
    pattern = struct.pack("<IBHH", 9, 0, 4, len(cells)) + cells
    values = [int(100 * ((k % 32) - 16) / 16) for k in range(256)]
    deltas, previous = bytearray(), 0
    for v in values:
        deltas.append((v - previous) & 0xFF)
        previous = v
    instrument = bytearray(struct.pack("<I", 263)) + b"instrument".ljust(22, b"\0") + b"\0"
    instrument += struct.pack("<HI", 1, 40) + bytes(96) + bytes(96)  # note map, envelopes
    instrument += bytes(14) + struct.pack("<H", 0)  # envelope settings, vibrato, fadeout
    instrument = instrument.ljust(263, b"\0")
    sample = struct.pack("<IIIBbBBbB", len(values), 0, len(values), 64, 0, 1, 128, 0, 0)
    sample += b"sample".ljust(22, b"\0")
    return bytes(header) + pattern + bytes(instrument) + sample + bytes(deltas)


def run(*args):
    return subprocess.run([XMRENDER, *args], capture_output=True, text=True, timeout=60)


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.song = self.path("song.xm")
        with open(self.song, "wb") as f:
            f.write(xm_image())

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def assertFails(self, result, name, status=1):
        self.assertEqual(result.returncode, status, result.stderr)
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertTrue(lines[0].startswith("xmrender: " + name + ": "), lines[0])
        return lines[0]

    def test_bad_arguments_give_the_usage(self):
        for args in ([], [self.song], ["-o", "x.wav"], [self.song, "-o"], [self.song, "--what"],
                     [self.song, "--seconds", "0", "-o", "x.wav"],
                     [self.song, "--seconds", "ten", "-o", "x.wav"],
                     [self.song, "--seconds", "nan", "-o", "x.wav"],
                     [self.song, self.song, "-o", "x.wav"], ["--help", "--what"]):
            result = run(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn("usage: xmrender", result.stderr, args)

    def test_missing_file(self):
        missing = self.path("missing.xm")
        line = self.assertFails(run(missing, "-o", self.path("out.wav")), missing)
        self.assertIn("No such file", line)
        self.assertFalse(os.path.exists(self.path("out.wav")))

    def test_directory(self):
        self.assertFails(run(self.dir.name, "-o", self.path("out.wav")), self.dir.name)
        result = run(self.song, "-o", self.dir.name)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, "xmrender: %s is a folder; a file name is wanted here\n"
                         % self.dir.name)

    def test_not_an_xm_file(self):
        for name, data in (("empty.xm", b""), ("text.xm", b"Extended Mod"),
                           ("wav.xm", b"RIFF" + bytes(60))):
            line = self.assertFails(run(self.write(name, data), "-o", self.path("o.wav")),
                                    self.path(name))
            self.assertIn("not an XM file", line)

    def test_truncated_files_fail_without_a_crash(self):
        image = xm_image()
        lengths = sorted(set(range(17, len(image), 5)) | {60, 336, 345, 350, len(image) - 1})
        for length in lengths:
            name = self.write("cut.xm", image[:length])
            line = self.assertFails(run(name, "-o", self.path("o.wav")), name)
            self.assertIn("not a playable XM file", line)

    def test_truncated_files_name_the_part_cut_short(self):
        image = xm_image()
        pattern_data = 336 + 9  # song header, then the pattern's header
        instrument = pattern_data + 6
        for length, part in ((200, "the song header is cut short (200 of 336 bytes)"),
                             (pattern_data + 3, "pattern 0 is cut short (6 bytes of packed data, "
                                                "3 left in the file)"),
                             (instrument + 20, "instrument 1 is cut short (in its header)"),
                             (instrument + 263 + 30, "instrument 1 is cut short (in the header "
                                                     "of sample 1)"),
                             (len(image) - 1, "the sample data of instrument 1 is cut short "
                                              "(256 bytes, 255 left in the file)")):
            name = self.write("cut.xm", image[:length])
            line = self.assertFails(run(name, "-o", self.path("o.wav")), name)
            self.assertEqual(line, "xmrender: %s: not a playable XM file: %s" % (name, part))

    def test_inconsistent_headers_name_the_field(self):
        image = bytearray(xm_image())
        image[68:70] = struct.pack("<H", 40)  # channels
        line = self.assertFails(run(self.write("wide.xm", bytes(image)), "--info"),
                                self.path("wide.xm"))
        self.assertIn("the song header gives 40 channels, not 1 to 32", line)

    def test_help_names_every_option_of_the_table(self):
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "xmrender.cpp")) as f:
            table = re.search(r"kOptions\[\] = \{(.*?)\};", f.read(), re.S).group(1)
        options = re.findall(r'"(-[-a-z]*)"', table)  # long and short names
        self.assertIn("--seconds", options)
        self.assertIn("-o", options)
        result = run("--help")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        for option in options:
            self.assertRegex(result.stdout, r"(^|[ ,])%s[ ,\n]" % re.escape(option), option)
        for words in ("until the song first comes back", "needs no -o", "44100 Hz, 16-bit stereo",
                      "Exit status", "Examples"):
            self.assertIn(words, result.stdout)

    def test_repeated_options_and_spaces_are_refused(self):
        for args in ([self.song, "-o", "a.wav", "--output", "b.wav"],
                     [self.song, "--info", "--info"],
                     [self.song, "--seconds", " 3", "-o", "a.wav"]):
            result = run(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn("usage: xmrender", result.stderr)

    def test_limits_are_said_before_writing(self):
        result = run(self.song, "--seconds", "30000", "-o", self.path("long.wav"))
        self.assertEqual(result.returncode, 2)
        self.assertIn("a WAV file of 4.9 GiB; a WAV file holds at most 4.0 GiB", result.stderr)
        out = self.path("out.wav")
        # One pass of the song: 4 rows of 6 ticks of 882 frames, 4 bytes each, and the header.
        needed = 44 + 4 * 6 * 882 * 4
        for free, status in ((needed - 1, 1), (needed, 0)):
            result = subprocess.run([XMRENDER, self.song, "-o", out], capture_output=True,
                                    text=True, env=dict(os.environ, TOOLS_TEST_FREE_SPACE=str(free)))
            self.assertEqual(result.returncode, status, result.stderr)
            self.assertEqual(os.path.exists(out), status == 0)
            if status == 1:
                self.assertIn(out + ": would take about 82.7 KiB", result.stderr)

    def test_an_interrupt_keeps_the_earlier_file(self):
        out = self.write("out.wav", b"an earlier render")
        # A render far longer than the test, whatever the disk's real free space.
        process = subprocess.Popen([XMRENDER, self.song, "--seconds", "20000", "-o", out],
                                   stderr=subprocess.PIPE,
                                   env=dict(os.environ, TOOLS_TEST_FREE_SPACE=str(1 << 40)))
        while process.poll() is None and not any(".part-" in n for n in os.listdir(self.dir.name)):
            time.sleep(0.002)
        process.send_signal(signal.SIGINT)
        self.assertEqual(process.wait(timeout=60), -signal.SIGINT)
        process.stderr.close()
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["out.wav", "song.xm"])
        with open(out, "rb") as f:
            self.assertEqual(f.read(), b"an earlier render")

    def test_damaged_headers_fail_or_play(self):
        image = bytearray(xm_image())
        for offset in range(60, 80):  # header size, song length, channels, counts...
            damaged = bytearray(image)
            damaged[offset] ^= 0xFF
            name = self.write("damaged.xm", bytes(damaged))
            result = run(name, "--seconds", "0.5", "-o", self.path("o.wav"))
            self.assertIn(result.returncode, (0, 1), (offset, result.stderr))
            if result.returncode == 1:
                self.assertFails(result, name)

    def test_unwritable_output(self):
        out = self.path("no/such/dir/out.wav")
        self.assertFails(run(self.song, "-o", out), out)

    @unittest.skipUnless(os.path.exists("/dev/full"), "no /dev/full")
    def test_full_disk(self):
        line = self.assertFails(run(self.song, "-o", "/dev/full"), "/dev/full")
        self.assertIn("No space", line)
        self.assertTrue(os.path.exists("/dev/full"))

    def test_renders_until_the_song_loops(self):
        out = self.path("out.wav")
        result = run(self.song, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")  # no progress line without a terminal
        with wave.open(out) as w:
            self.assertEqual((w.getframerate(), w.getnchannels(), w.getsampwidth()),
                             (44100, 2, 2))
            self.assertEqual(w.getnframes(), 4 * 6 * 882)  # one pass of the 4 rows
            frames = w.readframes(w.getnframes())
        samples = struct.unpack("<%dh" % (len(frames) // 2), frames)
        self.assertGreater(max(samples), 1000)
        self.assertLess(min(samples), -1000)

    def test_progress_line_on_a_terminal(self):
        controller, terminal = pty.openpty()
        out = self.path("out.wav")
        with subprocess.Popen([XMRENDER, self.song, "--seconds", "12", "-o", out],
                              stderr=terminal) as process:
            os.close(terminal)
            shown = b""
            while True:
                try:
                    data = os.read(controller, 4096)
                except OSError:  # the terminal closed with the process
                    break
                if not data:
                    break
                shown += data
            self.assertEqual(process.wait(), 0)
        os.close(controller)
        text = shown.decode()
        self.assertRegex(text, r"\rxmrender: [0-9.]+ s of 12\.0 s")
        self.assertIn("\rxmrender: 12.0 s rendered to " + out, text)

    def test_renders_the_seconds_asked_for(self):
        out = self.path("out.wav")
        self.assertEqual(run(self.song, "--seconds", "1.5", "-o", out).returncode, 0)
        with wave.open(out) as w:
            self.assertEqual(w.getnframes(), 66150)

    def test_info(self):
        result = run(self.song, "--info")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn('"tiny test song"', result.stdout)
        self.assertIn("Song length:  1 positions", result.stdout)
        self.assertIn("sample  1: 256 values, forward loop 0..256", result.stdout)


if __name__ == "__main__":
    XMRENDER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
