#!/usr/bin/env python3
"""xmplay's command line, exit statuses and its play without a screen, where standard output
is no terminal (SDL's dummy sound driver, short songs that xmcorpus writes).

usage: xmplay_cli_test.py PATH/TO/xmplay PATH/TO/xmcorpus
"""
import os
import subprocess
import sys
import tempfile
import unittest

XMPLAY = None
XMCORPUS = None


class CommandLine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        subprocess.run([XMCORPUS, cls.dir.name], check=True, timeout=60)
        with open(os.path.join(cls.dir.name, "notes.txt"), "w") as f:
            f.write("no song in here\n")

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def run_player(self, *arguments):
        environment = dict(os.environ, SDL_AUDIODRIVER="dummy")
        return subprocess.run([XMPLAY, *arguments], capture_output=True, text=True,
                              cwd=self.dir.name, env=environment, timeout=60)

    def test_help_version_and_bad_arguments(self):
        result = self.run_player("--help")
        self.assertEqual(result.returncode, 0)
        self.assertIn("usage: xmplay [--loop] [--repeat] FILE...", result.stdout)
        result = self.run_player("--version")
        self.assertEqual(result.returncode, 0)
        self.assertRegex(result.stdout, r"^xmplay \d+\.\d+")
        for arguments, problem in [((), "no file given"), (("--fast", "a.xm"), "unknown option"),
                                   (("--loop", "--loop", "a.xm"), "given twice")]:
            result = self.run_player(*arguments)
            self.assertEqual(result.returncode, 2, arguments)
            self.assertIn(problem, result.stderr)
            self.assertIn("See xmplay --help.", result.stderr)

    def test_no_file_that_plays_exits_1_with_the_reasons(self):
        result = self.run_player("notes.txt", "missing.xm")
        self.assertEqual(result.returncode, 1)
        self.assertIn('xmplay: notes.txt: not an XM file', result.stderr)
        self.assertIn("xmplay: missing.xm: ", result.stderr)
        self.assertIn("no file can be played", result.stderr)
        self.assertEqual(result.stdout, "")

    def test_without_a_terminal_a_line_a_file_and_the_songs_to_their_end(self):
        result = self.run_player("minimal.xm", "notes.txt", "two_instruments.xm")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 2, result.stdout)
        self.assertRegex(lines[0], r'^minimal\.xm: "test song", 0:00$')
        self.assertRegex(lines[1], r'^two_instruments\.xm: "test song", \d:\d\d$')
        self.assertIn("xmplay: notes.txt: not an XM file", result.stderr)


if __name__ == "__main__":
    XMPLAY = os.path.abspath(sys.argv.pop(1))
    XMCORPUS = os.path.abspath(sys.argv.pop(1))
    unittest.main()
