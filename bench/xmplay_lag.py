#!/usr/bin/env python3
"""How far xmplay's screen trails its sound in a terminal that takes its input slowly: the
player (24-bit colour, SDL's dummy sound driver) in a tmux pane of each size, behind a relay
at each rate, playing a song for SECONDS (at most the song's length, to its first loop).
Every EVERY seconds the position line is read; the lag is the time since the player started
less the start of the row shown. The song must keep one speed and tempo (its rows are timed
from xmrender --info); the player starts its sound within milliseconds of being started, so
the figures are, if anything, too high.

usage: bench/xmplay_lag.py [--seconds 60] [--every 2] [--rates 40000,100000]
                           [--sizes 80x25,200x60] [--relay COMMAND] XMPLAY XMRENDER SONG.xm

--relay names another relay that takes the same arguments (RATE COMMAND...), such as a
slow-terminal tool of one's own; by default tests/e2e/slow_relay.py.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
RELAY = "%s %s" % (sys.executable, os.path.join(HERE, "..", "tests", "e2e", "slow_relay.py"))
POSITION = re.compile(r"Order (\d+)/\d+  Pattern \d+  Row (\d+)/")


def row_starts(xmrender, song):
    """The row at which each order position starts, and the seconds of a row."""
    info = subprocess.run([xmrender, song, "--info"], capture_output=True, text=True,
                          check=True).stdout
    speed, bpm = map(int, re.search(r"speed (\d+), (\d+) BPM", info).groups())
    orders_text = info.split("Order list:")[1].split("Patterns:")[0]
    orders = [int(v) for v in orders_text.split()]
    rows = {int(p): int(r) for p, r in re.findall(r"^\s+(\d+):\s+(\d+) rows", info, re.M)}
    starts, total = [], 0
    for pattern in orders:
        starts.append(total)
        total += rows.get(pattern, 64)
    return starts, speed * 2.5 / bpm, total * speed * 2.5 / bpm


def measure(player, relay, song, columns, rows, rate, seconds, every, starts, row_seconds):
    socket = "xmplay-lag-%d-%dx%d-%d" % (os.getpid(), columns, rows, rate)

    def tmux(*arguments):
        return subprocess.run(["tmux", "-L", socket, *arguments], capture_output=True,
                              text=True, timeout=30).stdout

    started = time.monotonic()
    tmux("new-session", "-d", "-x", str(columns), "-y", str(rows), "-s", "lag",
         "env COLORTERM=truecolor SDL_AUDIODRIVER=dummy TERM=tmux-256color %s %d %s --loop %s"
         % (relay, rate, player, song))
    lags = []
    try:
        next_sample = started + 2
        while next_sample < started + seconds:
            time.sleep(max(0, next_sample - time.monotonic()))
            next_sample += every
            before = time.monotonic()
            text = tmux("capture-pane", "-p", "-t", "lag")
            now = (before + time.monotonic()) / 2 - started
            match = POSITION.search(text)
            if not match:
                continue
            order, row = int(match.group(1)), int(match.group(2))
            lags.append(now - (starts[order] + row) * row_seconds)
    finally:
        tmux("kill-server")
    return lags


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--every", type=float, default=2)
    parser.add_argument("--rates", default="40000,100000")
    parser.add_argument("--sizes", default="80x25,200x60")
    parser.add_argument("--relay", default=RELAY)
    parser.add_argument("player")
    parser.add_argument("xmrender")
    parser.add_argument("song")
    arguments = parser.parse_args()
    starts, row_seconds, length = row_starts(arguments.xmrender, arguments.song)
    # Past its length the song comes back to an order it has played, and rows repeat.
    seconds = min(arguments.seconds, length)
    print("%-8s %8s %8s %8s %8s" % ("size", "rate", "median", "worst", "samples"))
    for size in arguments.sizes.split(","):
        columns, rows = map(int, size.split("x"))
        for rate in map(int, arguments.rates.split(",")):
            lags = measure(os.path.abspath(arguments.player), arguments.relay,
                           os.path.abspath(arguments.song), columns, rows, rate,
                           seconds, arguments.every, starts, row_seconds)
            if not lags:
                print("%-8s %8d no position line seen" % (size, rate))
                continue
            print("%-8s %8d %7.2fs %7.2fs %8d" % (size, rate, statistics.median(lags), max(lags),
                                                  len(lags)))


if __name__ == "__main__":
    main()
