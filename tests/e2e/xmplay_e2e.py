#!/usr/bin/env python3
"""xmplay as people run it: in tmux at 80 by 25 and 200 by 60 with SDL's dummy sound driver,
a file that is no XM song and two songs that xmcorpus writes; keys sent as a terminal sends
them; and behind a relay of 40 KB/s, where the pattern view may trail the sound by a second.

usage: xmplay_e2e.py XMPLAY XMCORPUS XMRENDER
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

XMPLAY = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
XMCORPUS = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
XMRENDER = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
RELAY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "slow_relay.py")

# The tunes of xmcorpus play 32 rows an order at speed 6 and 125 BPM: 0.12 s a row.
ROW_SECONDS = 0.12
POSITION = re.compile(r"Order (\d+)/(\d+)  Pattern (\d+)  Row (\d+)/(\d+)  (\d+):(\d\d) / ")


def tmux(*arguments, check=True):
    result = subprocess.run(["tmux", "-L", Player.socket, *arguments], capture_output=True,
                            text=True, timeout=20)
    if check and result.returncode != 0:
        raise AssertionError("tmux %s: %s" % (" ".join(arguments), result.stderr))
    return result.stdout


def position(screen):
    """(order, row, seconds played) from the position line, or None."""
    match = POSITION.search(screen)
    if not match:
        return None
    return int(match.group(1)), int(match.group(4)), 60 * int(match.group(6)) + int(match.group(7))


class Player(unittest.TestCase):
    socket = "xmplay-e2e-%d" % os.getpid()

    @classmethod
    def setUpClass(cls):
        if not (XMPLAY and XMCORPUS and XMRENDER and shutil.which("tmux")):
            common.skip_or_fail("needs xmplay, xmcorpus, xmrender and tmux")
        cls.workspace = tempfile.TemporaryDirectory()
        subprocess.run([XMCORPUS, cls.workspace.name], check=True, timeout=60)
        with open(os.path.join(cls.workspace.name, "notes.txt"), "w") as f:
            f.write("no song in here\n")
        # The words xmrender refuses the file with, which the player shows too.
        refusal = subprocess.run([XMRENDER, "notes.txt", "--info"], capture_output=True,
                                 text=True, cwd=cls.workspace.name, timeout=60)
        assert refusal.returncode == 1, refusal
        cls.refusal = refusal.stderr.strip().split("\n")[0][len("xmrender: "):]
        tmux("new-session", "-d", "-s", "keep", "sleep 3600")

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["tmux", "-L", cls.socket, "kill-server"], capture_output=True, timeout=20)
        cls.workspace.cleanup()

    def start_shell(self, name, columns, rows):
        tmux("new-session", "-d", "-x", str(columns), "-y", str(rows), "-s", name,
             "-c", self.workspace.name,
             "env -i PATH=/usr/bin:/bin HOME=%s TERM=tmux-256color bash --norc --noprofile"
             % self.workspace.name)
        self.addCleanup(lambda: tmux("kill-session", "-t", name, check=False))
        tmux("send-keys", "-t", name, "PS1='$ '; clear", "Enter")
        self.assertTrue(common.wait_until(lambda: self.screen(name).startswith("$"), 10))

    def screen(self, name):
        return tmux("capture-pane", "-p", "-t", name)

    def start_player(self, name, relay=""):
        tmux("send-keys", "-t", name,
             "COLORTERM=truecolor SDL_AUDIODRIVER=dummy %s %s notes.txt first_tune.xm "
             "second_tune.xm; echo exit=$?" % (relay, XMPLAY), "Enter")
        self.assertTrue(common.wait_until(lambda: "First tune" in self.screen(name), 20, 0.05),
                        "the first song's title never showed:\n" + self.screen(name))

    def settled(self, name, timeout=10):
        """The pane once two captures 0.2 s apart agree (a paused player's screen)."""
        deadline = time.monotonic() + timeout
        before = self.screen(name)
        while time.monotonic() < deadline:
            time.sleep(0.2)
            now = self.screen(name)
            if now == before:
                return now
            before = now
        raise AssertionError("the pane never settled:\n" + before)

    def send(self, name, *keys):
        tmux("send-keys", "-t", name, *keys)

    def test_plays_pauses_moves_and_gives_the_terminal_back(self):
        self.start_shell("play", 80, 25)
        self.start_player("play")
        screen = self.screen("play")
        self.assertIn("Not played: " + self.refusal, screen)
        self.assertEqual(tmux("display", "-p", "-t", "play", "#{alternate_on}").strip(), "1")
        self.assertEqual(tmux("display", "-p", "-t", "play", "#{cursor_flag}").strip(), "0")
        # The pattern view: the row heard marked, in tracker notation, and moving on.
        self.assertRegex(screen, r"\u25ba ?\d+\u2502")
        self.assertRegex(screen, r"[A-G][-#]\d 01 30 \u00b7\u00b7\u00b7")
        first = position(screen)
        self.assertIsNotNone(first, screen)
        self.assertTrue(common.wait_until(
            lambda: (position(self.screen("play")) or first)[:2] != first[:2], 10, 0.05),
            "the row never moved on")

        # Space: the screen stands still, the position with it.
        self.send("play", "Space")
        self.assertTrue(common.wait_until(lambda: "PAUSED" in self.screen("play"), 10, 0.05))
        frozen = self.settled("play")
        paused = position(frozen)
        for _ in range(6):
            time.sleep(0.25)
            self.assertEqual(self.screen("play"), frozen, "the paused screen changed")
        # Space again: on from where it stopped.
        self.send("play", "Space")
        self.assertTrue(common.wait_until(
            lambda: (position(self.screen("play")) or paused)[:2] != paused[:2], 10, 0.05),
            "the row never moved on after the resume")
        resumed = position(self.screen("play"))
        self.assertNotIn("PAUSED", self.screen("play"))
        self.assertGreaterEqual(resumed[2], paused[2], "the resume went back in the song")
        self.assertLessEqual(resumed[2], paused[2] + 5, "the resume jumped ahead")

        # Right, from a pause so that the song cannot have got there by itself: the next order,
        # playing.
        self.send("play", "Space")
        self.assertTrue(common.wait_until(lambda: "PAUSED" in self.screen("play"), 10, 0.05))
        order = position(self.settled("play"))[0]
        self.send("play", "Right")
        self.assertTrue(common.wait_until(
            lambda: (position(self.screen("play")) or (order,))[0] == order + 1, 10, 0.05),
            "Right did not move to order %d:\n%s" % (order + 1, self.screen("play")))
        self.assertTrue(common.wait_until(lambda: "PAUSED" not in self.screen("play"), 10, 0.05))
        # Bytes that are no keys of the player change nothing: a paste with a q in it, a mouse
        # report, another program's escape sequence.
        tmux("send-keys", "-t", "play", "-l", "\x1b[200~quit now\x1b[201~\x1b[M q \x1b[<0;3;4M")
        time.sleep(0.5)
        self.assertIn("First tune", self.screen("play"))
        # n: the second song.
        self.send("play", "n")
        self.assertTrue(common.wait_until(lambda: "Second tune" in self.screen("play"), 10, 0.05),
                        "n did not bring the second song:\n" + self.screen("play"))
        # q: the terminal as it was.
        self.send("play", "q")
        self.assertTrue(common.wait_until(lambda: "exit=0" in self.screen("play"), 10, 0.05),
                        self.screen("play"))
        self.assertEqual(tmux("display", "-p", "-t", "play", "#{alternate_on}").strip(), "0")
        self.assertEqual(tmux("display", "-p", "-t", "play", "#{cursor_flag}").strip(), "1")
        self.send("play", "echo typed-$((6*7))", "Enter")
        self.assertTrue(common.wait_until(
            lambda: "$ echo typed-$((6*7))" in self.screen("play") and "typed-42" in
            self.screen("play").replace("typed-$((6*7))", ""), 10), "echo is not back on")

    def test_a_large_terminal_shows_everything_and_sigterm_gives_it_back(self):
        self.start_shell("large", 200, 60)
        self.start_player("large")
        screen = self.screen("large")
        self.assertIn("first_tune.xm", screen)
        self.assertIn("4 channels", screen)
        self.assertIn("linear frequencies", screen)
        self.assertIn("soft square", screen)
        self.assertIn("saw bass", screen)
        self.assertRegex(screen, r"Speed 6  Tempo 125")
        lines = screen.split("\n")
        self.assertTrue(all(len(line) <= 200 for line in lines))
        shell = tmux("display", "-p", "-t", "large", "#{pane_pid}").strip()
        pid = subprocess.run(["pgrep", "-P", shell], capture_output=True, text=True).stdout.split()
        self.assertTrue(pid)
        os.kill(int(pid[0]), 15)
        self.assertTrue(common.wait_until(lambda: "exit=143" in self.screen("large"), 10, 0.05))
        self.assertEqual(tmux("display", "-p", "-t", "large", "#{alternate_on}").strip(), "0")
        self.assertEqual(tmux("display", "-p", "-t", "large", "#{cursor_flag}").strip(), "1")

    def test_behind_a_slow_terminal_the_screen_trails_the_sound_by_a_second_at_most(self):
        # 40 KB/s, less than the pattern view needs when every row moves. The song plays from
        # the moment the command starts (its start-up takes milliseconds), so the time heard
        # is at most the time since then: order × 32 rows + row, 0.12 s each, shown against it.
        self.start_shell("slow", 80, 25)
        started = time.monotonic()
        self.start_player("slow", relay="%s %s 40000" % (sys.executable, RELAY))
        lags = []
        while len(lags) < 12:
            time.sleep(0.5)
            before = time.monotonic()
            shown = position(self.screen("slow"))
            now = (before + time.monotonic()) / 2 - started
            if not shown:
                continue
            lags.append(round(now - (shown[0] * 32 + shown[1]) * ROW_SECONDS, 2))
        print("the screen trails by at most %s s (%s)" % (max(lags), lags), file=sys.stderr)
        self.assertGreater(min(lags), -0.05, "the screen is ahead of the sound")
        self.assertLessEqual(max(lags), 1.0 + ROW_SECONDS)


if __name__ == "__main__":
    unittest.main()
