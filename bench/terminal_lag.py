#!/usr/bin/env python3
"""How far the picture trails the music in a terminal that takes its input slowly: the demo
(24-bit colour, SDL's dummy sound driver) in a tmux pane of each size, behind
tests/e2e/slow_relay.py at each rate, for SECONDS. Every few seconds the pane is matched with
the frames that democapture records (cell for cell at 80 by 50, half block for half block
at 80 by 25); the lag is the music's time less the time of the frame shown.

usage: bench/terminal_lag.py [--seconds 180] [--every 3] [--rates 40000,100000,400000]
                             [--sizes 80x25,80x50] [--jobs 2] [--relay COMMAND] [--samples]
                             DEMO DEMOCAPTURE

--relay names another relay that takes the same arguments (RATE COMMAND...).
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ProcessPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import common  # noqa: E402

RELAY = os.path.join(HERE, "..", "tests", "e2e", "slow_relay.py")
FRAME_SECONDS = 0.04


FRAMES = b""  # the recorded frames, shared with the worker processes by fork


def measure(demo, relay, columns, rows, rate, seconds, every):
    """[(music seconds, lag seconds, share of the pane matching)] of one run."""
    frames = FRAMES
    socket = "demo-lag-%d-%dx%d-%d" % (os.getpid(), columns, rows, rate)

    def tmux(*arguments):
        return subprocess.run(["tmux", "-L", socket, *arguments], capture_output=True, text=True,
                              timeout=30).stdout

    expected = {}  # frame index -> values, computed as needed

    def values(index):
        if index not in expected:
            cells = common.frame_cells(frames, index)
            expected[index] = cells if (columns, rows) == (80, 50) else common.mixed_colours(cells)
        return expected[index]

    count = len(frames) // common.FRAME_BYTES
    tmux("new-session", "-d", "-x", str(columns), "-y", str(rows), "-s", "lag",
         "env COLORTERM=truecolor SDL_AUDIODRIVER=dummy TERM=tmux-256color %s %d %s"
         % (relay, rate, demo))
    try:
        deadline = time.monotonic() + 30
        while tmux("display", "-p", "-t", "lag", "#{pane_title}").strip() != common.TITLE:
            if time.monotonic() > deadline:
                raise RuntimeError("the demo's title never showed")
            time.sleep(0.01)
        started = time.monotonic()
        samples, lowest = [], 0
        next_sample = started + 5
        while next_sample < started + seconds:
            time.sleep(max(0, next_sample - time.monotonic()))
            next_sample = max(next_sample + every, time.monotonic())
            before = time.monotonic()
            text = tmux("capture-pane", "-p", "-e", "-N", "-t", "lag")
            music = (before + time.monotonic()) / 2 - started
            try:
                shown = common.pane_values(text, columns, rows)
            except AssertionError:
                continue
            now = int(music / FRAME_SECONDS)
            if now >= count:
                break
            candidates = range(max(0, lowest - 25), min(count, now + 2))
            index, share = common.best_match(shown, ((k, values(k)) for k in candidates))
            if index is None or share < 0.5:
                continue
            lowest = max(lowest, index)
            samples.append((music, music - index * FRAME_SECONDS, share))
            # Frames far behind the search are not needed again.
            for k in [k for k in expected if k < lowest - 50]:
                del expected[k]
        return samples
    finally:
        tmux("kill-server")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=180)
    parser.add_argument("--every", type=float, default=3)
    parser.add_argument("--rates", default="40000,100000,400000")
    parser.add_argument("--sizes", default="80x25,80x50")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--samples", action="store_true", help="print every sample")
    parser.add_argument("--relay", default="%s %s" % (sys.executable, RELAY))
    parser.add_argument("demo")
    parser.add_argument("democapture")
    arguments = parser.parse_args()
    demo = os.path.abspath(arguments.demo)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "frames.cells")
        last = int((arguments.seconds + 5) / FRAME_SECONDS)
        subprocess.run([arguments.democapture, "--frames", "1:%d" % last, "--cells", path],
                       check=True, stdout=subprocess.DEVNULL)
        global FRAMES
        with open(path, "rb") as f:
            FRAMES = f.read()
    runs = [(tuple(int(v) for v in size.split("x")), int(rate))
            for size in arguments.sizes.split(",") for rate in arguments.rates.split(",")]
    with ProcessPoolExecutor(arguments.jobs) as pool:
        results = pool.map(measure, *zip(*[(demo, arguments.relay, columns, rows, rate,
                                             arguments.seconds, arguments.every)
                                            for (columns, rows), rate in runs]))
        print("%-6s %8s %8s %10s %10s %10s %10s" % ("size", "KB/s", "samples", "median s",
                                                     "worst s", "1st half", "2nd half"))
        for ((columns, rows), rate), samples in zip(runs, results):
            lags = sorted(lag for _, lag, _ in samples)
            half = arguments.seconds / 2
            first = [lag for music, lag, _ in samples if music < half]
            second = [lag for music, lag, _ in samples if music >= half]
            print("%-6s %8.0f %8d %10.2f %10.2f %10.2f %10.2f" % (
                "%dx%d" % (columns, rows), rate / 1000, len(samples),
                lags[len(lags) // 2] if lags else float("nan"), max(lags, default=float("nan")),
                max(first, default=float("nan")), max(second, default=float("nan"))))
            if arguments.samples:
                print("  " + " ".join("%.0f:%.2f" % (music, lag) for music, lag, _ in samples))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
