#!/usr/bin/env python3
"""Time from the README's run command to the demo's first frame, after a clean build
directory: the command runs as written in the README (its first sh block under "Run the
demo"), in a pty of 80 by 50 with SDL's dummy sound driver, on a machine that has every
package already. Prints the wall time to the alternate screen and to the first frame, and the
processor time the build and the demo took.

usage: bench/first_frame.py [--keep-build]   (from anywhere; it removes build/demo first)
"""
import fcntl
import os
import pty
import re
import resource
import select
import shutil
import signal
import struct
import sys
import termios
import time

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))


def run_command():
    text = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read()
    section = re.search(r"^## Run the demo\n(.*?)^## ", text, re.S | re.M).group(1)
    return re.search(r"```sh\n(.*?)```", section, re.S).group(1).strip()


def main():
    command = run_command()
    if "--keep-build" not in sys.argv:
        shutil.rmtree(os.path.join(SOURCE, "build", "demo"), ignore_errors=True)
    started = time.monotonic()
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(SOURCE)
        os.environ["SDL_AUDIODRIVER"] = "dummy"
        os.execv("/bin/bash", ["bash", "-c", command])
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 80, 0, 0))
    output = b""
    screen_at = frame_at = None
    while frame_at is None and time.monotonic() - started < 1200:
        ready, _, _ = select.select([fd], [], [], 1.0)
        if not ready:
            continue
        try:
            data = os.read(fd, 65536)
        except OSError:
            break
        if not data:
            break
        output += data
        if screen_at is None and b"\x1b[?1049h" in output:
            screen_at = time.monotonic()
        if screen_at and b"\x1b[?2026h" in output[output.index(b"\x1b[?1049h"):]:
            frame_at = time.monotonic()
    os.kill(pid, signal.SIGTERM)
    os.waitpid(pid, 0)
    os.close(fd)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    print("command: %s" % command)
    if frame_at is None:
        tail = output.decode("utf-8", "replace")[-500:]
        print("no frame; the output ends with:\n" + tail)
        return 1
    print("alternate screen after %.1f s, first frame after %.1f s (wall)" %
          (screen_at - started, frame_at - started))
    print("processor time of the build and the demo: %.1f s user, %.1f s system" %
          (children.ru_utime, children.ru_stime))
    return 0


if __name__ == "__main__":
    sys.exit(main())
