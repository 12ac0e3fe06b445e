#!/usr/bin/env python3
"""A terminal that takes its input slowly, as a slow link or a slow terminal emulator does:
runs COMMAND on a pty of this terminal's size and copies what it writes to this terminal at
no more than RATE bytes a second, in pieces of at most 1 KB (0: as fast as it comes). Ends
with COMMAND, with its exit status; SIGINT, SIGTERM and SIGHUP are passed on to it.

usage: slow_relay.py RATE COMMAND [ARGUMENT...]
"""
import fcntl
import os
import pty
import select
import signal
import sys
import termios
import time

PIECE = 1024


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__.strip())
    rate = float(sys.argv[1])
    command = sys.argv[2:]
    size = None
    if os.isatty(1):
        size = fcntl.ioctl(1, termios.TIOCGWINSZ, b"\0" * 8)
    pid, master = pty.fork()
    if pid == 0:
        try:
            os.execvp(command[0], command)
        finally:
            os._exit(127)
    if size:
        fcntl.ioctl(master, termios.TIOCSWINSZ, size)
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, lambda n, _: os.kill(pid, n))

    # The bytes due so far: RATE a second since the start, less what was copied. A reader
    # that has been idle starts again from at most one piece ahead, not from a burst.
    allowance, last = float(PIECE), time.monotonic()
    while True:
        if rate > 0:
            now = time.monotonic()
            allowance = min(float(PIECE), allowance + (now - last) * rate)
            last = now
            if allowance < PIECE:
                time.sleep((PIECE - allowance) / rate)
                continue
        try:
            ready, _, _ = select.select([master], [], [], 0.2)
        except InterruptedError:
            continue
        if not ready:
            continue
        try:
            data = os.read(master, PIECE)
        except OSError:  # the command has ended and the pty is closed
            break
        if not data:
            break
        os.write(1, data)
        allowance -= len(data)
    _, status = os.waitpid(pid, 0)
    sys.exit(os.waitstatus_to_exitcode(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status))


if __name__ == "__main__":
    main()
