#!/usr/bin/env python3
"""The demo's command line and its refusal of terminals that cannot take escape sequences.

usage: demo_cli_test.py PATH/TO/demo
"""
import os
import pty
import signal
import subprocess
import sys
import time
import unittest

DEMO = None


def run_on_a_pty(environment, seconds=10):
    """Runs the demo on a pty with the given environment; its output and exit status."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execve(DEMO, [DEMO], environment)
    output, deadline = b"", time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            data = os.read(fd, 65536)
        except OSError:  # the demo ended and closed the pty
            break
        if not data:
            break
        output += data
        if b"\x1b[" in output:  # it draws: stop it
            os.kill(pid, signal.SIGTERM)
    os.close(fd)
    _, status = os.waitpid(pid, 0)
    return output, status


class CommandLine(unittest.TestCase):
    def test_help_and_version_print_and_exit(self):
        help_text = subprocess.run([DEMO, "--help"], capture_output=True, text=True, timeout=10)
        self.assertEqual((help_text.returncode, help_text.stderr), (0, ""))
        for words in ("--version", "Ctrl-C", "first four seconds are black", "TERM"):
            self.assertIn(words, help_text.stdout)
        version = subprocess.run([DEMO, "--version"], capture_output=True, text=True, timeout=10)
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout, r"^demo \d+\.\d+\n$")

    def test_other_arguments_are_refused(self):
        for arguments in (["--play"], ["--help", "x"], ["song.xm"]):
            result = subprocess.run([DEMO, *arguments], capture_output=True, text=True,
                                    timeout=10)
            self.assertEqual(result.returncode, 2, arguments)
            self.assertEqual(result.stdout, "")
            self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)


class Terminals(unittest.TestCase):
    BASE = {"PATH": "/usr/bin:/bin", "SDL_AUDIODRIVER": "dummy", "HOME": "/nonexistent"}

    def test_terminals_without_escape_sequences_get_one_line(self):
        for term in (None, "", "dumb", "unknown", "no-such-terminal-kind"):
            with self.subTest(term=term):
                environment = dict(self.BASE)
                if term is not None:
                    environment["TERM"] = term
                output, status = run_on_a_pty(environment)
                self.assertTrue(os.WIFEXITED(status) and os.WEXITSTATUS(status) == 1, status)
                self.assertNotIn(b"\x1b", output)
                self.assertEqual(len(output.strip().splitlines()), 1, output)
                self.assertTrue(output.startswith(b"demo: "), output)

    def test_known_terminals_are_drawn_on(self):
        for term in ("xterm-256color", "xterm-kitty", "linux"):
            with self.subTest(term=term):
                output, status = run_on_a_pty(dict(self.BASE, TERM=term))
                self.assertIn(b"\x1b[", output)
                self.assertTrue(os.WIFSIGNALED(status) or os.WEXITSTATUS(status) != 1, output)


if __name__ == "__main__":
    DEMO = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
