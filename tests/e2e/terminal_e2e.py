#!/usr/bin/env python3
"""The terminal build as people run it: in tmux at 80 by 50 and at 80 by 24, with SDL's dummy
sound driver, suspended with Ctrl-Z and brought back with fg, and on a bare pty for the bytes
it writes around signals and to a slow reader.

usage: terminal_e2e.py DEMO DEMOCAPTURE
"""
import fcntl
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402

DEMO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
CAPTURE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
RELAY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "slow_relay.py")


def tmux(*arguments, check=True):
    result = subprocess.run(["tmux", "-L", Terminal.socket, *arguments], capture_output=True,
                            text=True, timeout=20)
    if check and result.returncode != 0:
        raise AssertionError("tmux %s: %s" % (" ".join(arguments), result.stderr))
    return result.stdout


def wait_for_state(pid, stopped, timeout=10):
    """Polls the kernel's state of process pid until it is stopped (or runs again); returns
    the moments of the last reading in the old state and of the first in the new."""
    deadline = time.monotonic() + timeout
    last = time.monotonic()
    while True:
        with open("/proc/%d/stat" % pid) as f:
            state = f.read().rsplit(")", 1)[1].split()[0]
        now = time.monotonic()
        if (state == "T") == stopped:
            return last, now
        if now > deadline:
            raise AssertionError("process %d is still in state %s" % (pid, state))
        last = now
        time.sleep(0.002)


def waited_for_a_processor(pids):
    """The seconds that the threads of the processes have spent waiting for a processor, as
    the kernel counts them (schedstat)."""
    total = 0
    for pid in pids:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[1])
    return total / 1e9


class Terminal(unittest.TestCase):
    socket = "demo-e2e-%d" % os.getpid()

    @classmethod
    def setUpClass(cls):
        if not (DEMO and CAPTURE and shutil.which("tmux")):
            common.skip_or_fail("needs the demo, democapture and tmux")
        cls.workspace = tempfile.TemporaryDirectory()
        # The frames the demo shows from 4 s to 52 s, recorded offline.
        cls.first_frame, cls.last_frame = 101, 1300
        cells_path = os.path.join(cls.workspace.name, "frames.cells")
        subprocess.run([CAPTURE, "--frames", "%d:%d" % (cls.first_frame, cls.last_frame),
                        "--cells", cells_path], check=True, timeout=300)
        with open(cells_path, "rb") as f:
            data = f.read()
        cls.frames = [data[k:k + common.FRAME_BYTES] for k in range(0, len(data), common.FRAME_BYTES)]
        # A session that lives as long as the class keeps the tmux server up between tests.
        tmux("new-session", "-d", "-s", "keep", "sleep 3600")

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["tmux", "-L", cls.socket, "kill-server"], capture_output=True, timeout=20)
        cls.workspace.cleanup()

    def start_shell(self, name, columns=80, rows=50):
        tmux("new-session", "-d", "-x", str(columns), "-y", str(rows), "-s", name, "-c", self.workspace.name,
             # No history file: bash writes one when the server's end hangs it up, which
             # could land in the workspace while tearDownClass removes it.
             "env -i PATH=/usr/bin:/bin HOME=%s HISTFILE= TERM=tmux-256color bash --norc "
             "--noprofile" % self.workspace.name)
        self.addCleanup(lambda: tmux("kill-session", "-t", name, check=False))
        tmux("send-keys", "-t", name, "PS1='$ '; clear", "Enter")
        self.assertTrue(common.wait_until(lambda: tmux("capture-pane", "-p", "-t", name).startswith("$"), 10))

    def pane(self, name, form):
        return tmux("display", "-p", "-t", name, form).strip()

    def demo_pid(self, name):
        shell = self.pane(name, "#{pane_pid}")
        result = subprocess.run(["pgrep", "-P", shell], capture_output=True, text=True)
        return int(result.stdout.split()[0]) if result.stdout.split() else None

    def start_demo(self, name, environment="COLORTERM=truecolor", relay=""):
        """Starts the demo in the shell of the session, behind a relay command if given;
        returns when its title shows. self.launched is when the command was sent."""
        self.launched = time.monotonic()
        tmux("send-keys", "-t", name,
             "%s SDL_AUDIODRIVER=dummy %s %s; echo exit=$?" % (environment, relay, DEMO), "Enter")
        self.assertTrue(common.wait_until(lambda: self.pane(name, "#{pane_title}") == common.TITLE, 20, 0.05),
                        "the demo's title never appeared")
        return time.monotonic()

    def recorded_frame(self, name, colours=None):
        """The number of the first recorded frame that the pane shows cell for cell, if any."""
        try:
            cells = common.decode_pane(tmux("capture-pane", "-p", "-e", "-N", "-t", name), colours)
        except AssertionError:  # not the demo's screen, or a frame being written
            return None
        words = b"".join(c.to_bytes(2, "little") for c in cells)
        return self.first_frame + self.frames.index(words) if words in self.frames else None

    def test_shows_the_recorded_frames_and_gives_the_terminal_back(self):
        self.start_shell("show")
        self.start_demo("show")
        self.assertEqual(self.pane("show", "#{alternate_on}"), "1")
        self.assertEqual(self.pane("show", "#{cursor_flag}"), "0")

        # A few seconds into the picture scenes the pane shows exactly one of the recorded
        # frames. A capture taken while a frame is being written may mix two; try again.
        time.sleep(8)
        matched = None
        for _ in range(10):
            matched = self.recorded_frame("show")
            if matched:
                break
            time.sleep(0.3)
        self.assertIsNotNone(matched, "the pane matches no frame from %d to %d"
                             % (self.first_frame, self.last_frame))

        pid = self.demo_pid("show")
        self.assertIsNotNone(pid)
        os.kill(pid, 15)
        self.assertTrue(common.wait_until(lambda: "exit=143" in tmux("capture-pane", "-p", "-t", "show"), 10))
        self.assertEqual(self.pane("show", "#{alternate_on}"), "0")
        self.assertEqual(self.pane("show", "#{cursor_flag}"), "1")
        screen = tmux("capture-pane", "-p", "-t", "show")
        self.assertIn("$ COLORTERM=truecolor", screen, "the shell's screen is back")

    def test_a_256_colour_terminal_gets_the_nearest_cube_and_grey_entries(self):
        # TERM=xterm-256color without COLORTERM, as over ssh: each console colour is drawn in
        # the palette entry 16-255 nearest to it, and none in 0-15, which follow the theme.
        entries = [common.nearest_palette_entry(rgb) for rgb in common.terminal_colours()]
        for colour, (rgb, entry) in enumerate(zip(common.terminal_colours(), entries)):
            shown = common.palette_rgb(entry)
            self.assertLessEqual(max(abs(a - b) for a, b in zip(rgb, shown)), 10,
                                 "colour %d %s as entry %d %s" % (colour, rgb, entry, shown))
        self.assertEqual(len(set(entries)), 16, "two console colours share an entry")
        colours = {common.palette_rgb(entry): colour for colour, entry in enumerate(entries)}
        self.start_shell("palette")
        self.start_demo("palette", "TERM=xterm-256color")
        time.sleep(8)
        matched = None
        for _ in range(10):
            matched = self.recorded_frame("palette", colours)
            if matched:
                break
            time.sleep(0.3)
        self.assertIsNotNone(matched, "the pane matches no frame from %d to %d"
                             % (self.first_frame, self.last_frame))
        screen = tmux("capture-pane", "-p", "-e", "-N", "-t", "palette")
        used = set()
        for match in common.SGR.finditer(screen):
            values = match.group(1).split(";")
            k = 0
            while k < len(values):
                if values[k] in ("38", "48"):
                    self.assertEqual(values[k + 1], "5", match.group(0))
                    used.add(int(values[k + 2]))
                    k += 3
                    continue
                self.assertIn(values[k], ("", "0", "39", "49"), match.group(0))
                k += 1
        self.assertTrue(used)
        self.assertLessEqual(used, set(entries))

    def test_a_slow_terminal_shows_pictures_within_a_second_of_the_music(self):
        # The demo at 80 by 25 behind a relay of 40 KB/s, less than the frames of the point
        # cloud and the closing screen need: the pane is matched with recorded frames at 64 s
        # and at 112 s, and may trail the music by at most a second.
        moments = [64, 112]
        recorded = {}
        for moment in moments:
            first = int((moment - 4) / 0.04) + 1
            path = os.path.join(self.workspace.name, "at%d.cells" % moment)
            subprocess.run([CAPTURE, "--frames", "%d:%d" % (first, first + 150), "--cells", path],
                           check=True, timeout=300)
            with open(path, "rb") as f:
                data = f.read()
            recorded[moment] = (first, [common.mixed_colours(common.frame_cells(data, k))
                                        for k in range(151)])
        self.start_shell("slow", 80, 25)
        started = self.start_demo("slow", relay="%s %s 40000" % (sys.executable, RELAY))
        for moment in moments:
            first, pictures = recorded[moment]
            time.sleep(max(0, started + moment - time.monotonic()))
            lags = []
            while len(lags) < 4 and time.monotonic() < started + moment + 3:
                before = time.monotonic()
                text = tmux("capture-pane", "-p", "-e", "-N", "-t", "slow")
                music = (before + time.monotonic()) / 2 - started
                # Nearly always the relay is in the middle of a frame: the pane shows the
                # frame being written down to some half block and the frame before from
                # there on. The lag is that of the newer of the two, among the frames up to
                # the one playing now.
                last = min(int(music / 0.04) + 1, first + 150)
                shown = common.frames_on_pane(
                    common.pane_values(text, 80, 25),
                    [(n, pictures[n - first]) for n in range(first, last + 1)], 2)
                self.assertIsNotNone(shown, "the pane at %.1f s shows no recorded frame from %d "
                                     "to %d, nor one over another" % (music, first, last))
                lags.append(round(music - (shown[1] - 1) * 0.04, 2))
                time.sleep(0.4)
            self.assertTrue(lags)
            self.assertLessEqual(max(lags), 1.0, "at %d s the pane trails by %s s" % (moment, lags))
            self.assertGreater(min(lags), -0.1)
            print("at %d s the pane trails by %s s" % (moment, lags), file=sys.stderr)
        pid = self.demo_pid("slow")
        self.assertIsNotNone(pid)
        os.kill(pid, 15)
        self.assertTrue(common.wait_until(lambda: "exit=143" in tmux("capture-pane", "-p", "-t", "slow"), 10))
        self.assertEqual(self.pane("slow", "#{alternate_on}"), "0")

    def test_resumes_after_ctrl_z_and_fg_at_the_frame_where_it_stopped(self):
        self.start_shell("suspend")
        started = self.start_demo("suspend")
        pid = self.demo_pid("suspend")
        self.assertIsNotNone(pid)
        tmux_server = int(tmux("display", "-p", "#{pid}").strip())
        tmux_waited = waited_for_a_processor([tmux_server])
        # Stopped 2 s in, in the black before the first picture, for 6 s. The demo counts
        # the stop from its handler of SIGTSTP to its handler of SIGCONT; the moments come
        # from the kernel's state of the process, each between two readings.
        time.sleep(max(0, started + 2 - time.monotonic()))
        sent = time.monotonic()
        tmux("send-keys", "-t", "suspend", "C-z")
        stop = wait_for_state(pid, True)
        self.assertTrue(common.wait_until(lambda: self.pane("suspend", "#{alternate_on}") == "0", 5))
        time.sleep(max(0, sent + 6 - time.monotonic()))
        tmux("send-keys", "-t", "suspend", "fg", "Enter")
        resume = wait_for_state(pid, False)
        shortest_stop, longest_stop = resume[0] - stop[1], resume[1] - sent
        # From 4.2 s to 5.4 s of the demo's own time the picture zooms in, a different frame
        # (106 to 136) every 40 ms. Had the schedule followed the clock through the stop, the
        # demo would stand 6 s further on, at the still picture after the zoom.
        seen = []
        while time.monotonic() < resume[1] + 3.6:
            before = time.monotonic()
            frame = self.recorded_frame("suspend")
            if frame and 106 <= frame <= 136:
                seen.append((frame, before, time.monotonic()))
            time.sleep(0.05)
        self.assertTrue(seen, "no frame of the zoom in the 1.2 s it should show")
        # A frame shows from its time of the demo's clock on, never before, and the clock
        # starts after the demo was launched; the frame may show later than from when the
        # title showed by as long as the demo and tmux waited for a processor meanwhile, as
        # the kernel counts it.
        waited = (waited_for_a_processor([pid]) + waited_for_a_processor([tmux_server])
                  - tmux_waited)
        for frame, before, after in seen:
            latest = (after - self.launched - shortest_stop) / 0.04 + 1
            earliest = (before - started - longest_stop - waited) / 0.04
            self.assertTrue(earliest <= frame <= latest,
                            "frame %d, due from %.1f to %.1f: %.2f s after the title, stopped "
                            "%.2f to %.2f s, %.2f s waiting for a processor"
                            % (frame, earliest, latest, after - started, shortest_stop,
                               longest_stop, waited))
        print("frames %d to %d of the zoom shown on time, stopped %.2f to %.2f s, %.2f s waiting "
              "for a processor" % (seen[0][0], seen[-1][0], shortest_stop, longest_stop, waited),
              file=sys.stderr)

    def test_a_terminal_of_80_by_24_shows_the_whole_picture(self):
        self.start_shell("small", 80, 24)
        self.start_demo("small")
        # The sunset stands still from frame 140 (5.56 s) to 14 s; at 80 by 24 it is 77 by 48 half blocks
        # (the shape of 80 by 50 in 48 half rows), centred.
        time.sleep(8)
        width, height, left = 77, 48, 1
        still = struct.unpack("<%dH" % common.CELLS, self.frames[140 - self.first_frame])
        expected = common.expected_picture(still, width, height)
        grid = common.decode_half_blocks(tmux("capture-pane", "-p", "-e", "-N", "-t", "small"), 80, 24)
        for row in range(24):
            for column in list(range(left)) + list(range(left + width, 80)):
                self.assertIsNone(grid[row][column], "a margin shows a picture at %d,%d" % (column, row))
        worst = 0
        for y in range(height):
            for x in range(width):
                halves = grid[y // 2][left + x]
                self.assertIsNotNone(halves, "no half block at %d,%d" % (left + x, y // 2))
                shown = halves[y % 2]
                worst = max(worst, max(abs(a - b) for a, b in zip(shown, expected[y * width + x])))
        # The demo rounds each cell's mix and each average; this reference rounds nothing.
        self.assertLessEqual(worst, 1.5)

    def test_without_sound_it_says_why_and_ends_at_once(self):
        self.start_shell("silent")
        # A driver that does not exist stands for a machine without sound output; where the
        # machine has no sound device at all, SDL's own choice fails the same way.
        cases = ["SDL_AUDIODRIVER=no-such-driver"]
        if not os.path.exists("/dev/snd") and "PULSE_SERVER" not in os.environ:
            cases.append("")
        for case, environment in enumerate(cases):
            tmux("send-keys", "-t", "silent", "clear; %s %s; echo case%d-exit=$?"
                 % (environment, DEMO, case), "Enter")
            # 10 s is a deadline for a demo that hangs, not a measure of its speed: it ends
            # in a small part of a second.
            ended = re.compile(r"case%d-exit=\d" % case)
            self.assertTrue(common.wait_until(
                lambda: ended.search(tmux("capture-pane", "-p", "-t", "silent")), 10),
                "the demo did not end")
            screen = tmux("capture-pane", "-p", "-J", "-t", "silent")
            self.assertIn("case%d-exit=1" % case, screen)
            messages = [line for line in screen.splitlines() if line.startswith("demo:")]
            self.assertEqual(len(messages), 1, screen)
            self.assertIn("SDL_AUDIODRIVER=dummy", messages[0])
            self.assertEqual(self.pane("silent", "#{alternate_on}"), "0")
            self.assertEqual(self.pane("silent", "#{cursor_flag}"), "1")


class PseudoTerminal(unittest.TestCase):
    """The bytes the demo writes, read straight from a pty: around job-control signals, and
    to a reader slower than the demo."""

    ENTER = b"\x1b[22;0t"  # pushes the title: once per taking of the terminal
    RESTORE = b"\x1b[23;0t"  # pops it: once per giving back

    def start(self, non_blocking=False):
        if not DEMO:
            common.skip_or_fail("needs the demo")
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.environ["SDL_AUDIODRIVER"] = "dummy"
            os.environ["TERM"] = "xterm-256color"  # the demo refuses a terminal of no known kind
            if non_blocking:
                fcntl.fcntl(1, fcntl.F_SETFL, fcntl.fcntl(1, fcntl.F_GETFL) | os.O_NONBLOCK)
            os.execv(DEMO, [DEMO])
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 80, 0, 0))
        self.output = b""
        self.addCleanup(os.close, self.fd)
        self.assertTrue(common.wait_until(lambda: self.read_for(0.2) or
                                          common.TITLE.encode() in self.output, 20))

    def read_for(self, seconds, chunk=65536, pause=0):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    self.output += os.read(self.fd, chunk)
                except OSError:
                    return
            time.sleep(pause)

    def end(self):
        # Everything the demo writes until it has ended: read_for returns when the pty closes.
        os.kill(self.pid, signal.SIGTERM)
        self.read_for(10)
        os.waitpid(self.pid, 0)

    def read_until(self, sequence, count, what):
        """Reads until the output holds sequence count times: the demo has handled a signal."""
        self.assertTrue(common.wait_until(lambda: self.read_for(0.05) or
                                          self.output.count(sequence) >= count, 10), what)

    def test_a_continue_without_a_stop_leaves_the_terminal_as_it_is(self):
        self.start()
        os.kill(self.pid, signal.SIGCONT)
        self.read_for(0.5)
        self.end()
        self.assertEqual(self.output.count(self.ENTER), 1)
        self.assertEqual(self.output.count(self.RESTORE), 1)

    def test_a_stop_and_continue_give_the_terminal_back_and_take_it_again(self):
        self.start()
        # The demo leads its own orphaned process group here, so the stop itself is
        # discarded by the kernel; the handlers run all the same.
        os.kill(self.pid, signal.SIGTSTP)
        self.read_until(self.RESTORE, 1, "the stop never gave the terminal back")
        os.kill(self.pid, signal.SIGCONT)
        self.read_until(self.ENTER, 2, "the continue never took the terminal again")
        self.end()
        self.assertEqual(self.output.count(self.ENTER), 2)
        self.assertEqual(self.output.count(self.RESTORE), 2)

    def test_a_slow_reader_on_a_non_blocking_terminal_gets_every_frame_whole(self):
        # Another program may leave the terminal non-blocking; the reader here takes about
        # 20 KB a second, far less than the picture scenes send.
        self.start(non_blocking=True)
        self.read_for(6, chunk=1024, pause=0.05)
        self.end()
        frames = self.output.split(b"\x1b[?2026h")[1:]
        self.assertGreater(len(frames), 5)
        # Each frame ends its synchronized update before the next one begins, and the last
        # is finished before the terminal is given back (the restore begins with CAN).
        for k, frame in enumerate(frames):
            self.assertTrue(b"\x1b[?2026l" in frame, "frame %d of %d is cut short" % (k, len(frames)))
        self.assertTrue(self.output[:self.output.index(b"\x18")].endswith(b"\x1b[?2026l"),
                        "the last frame is cut short by the signal")


if __name__ == "__main__":
    unittest.main()
