#!/usr/bin/env python3
"""The web page's figures: its size, raw and gzip-compressed, and the main thread's time for
each presented frame over the first 60 seconds in headless chromium (drawing the frames that
came due, converting the cells to pixels, putting them on the canvas), read from the page's
own performance marks, which it makes with ?bench. Needs Debian's chromium, chromium-driver and
python3-selenium.

    /usr/bin/python3 bench/web_page.py [build/web]
"""
import gzip
import os
import sys
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import browser  # noqa: E402

SECONDS = 60


def page_size(directory):
    raw = packed = 0
    print("%-12s %9s %9s" % ("file", "raw", "gzip -9"))
    for name in sorted(os.listdir(directory)):
        with open(os.path.join(directory, name), "rb") as f:
            data = f.read()
        size = len(gzip.compress(data, 9))
        print("%-12s %9d %9d" % (name, len(data), size))
        raw += len(data)
        packed += size
    print("%-12s %9d %9d   (%.1f KB, %.1f KB compressed)" % ("the page", raw, packed, raw / 1024,
                                                               packed / 1024))


def frame_times(directory):
    server = browser.Server(directory)
    page = browser.Browser("--autoplay-policy=no-user-gesture-required")
    try:
        page.driver.get(server.url + "?autostart&bench")
        deadline = time.monotonic() + SECONDS + 60
        while time.monotonic() < deadline:
            stats = page.stats()
            if stats["state"] == "failed":
                raise SystemExit("the page did not start: %s" % stats)
            if (stats["musicMilliseconds"] or 0) > 1000 * (SECONDS + 1):
                break
            time.sleep(1)
        timings = page.run("return demo.timings()")
        stats = page.stats()
    finally:
        page.close()
        server.close()
    print("\n%d frames presented in the first %d s (%s, %d Hz); main-thread time a frame:" %
          (timings["frames"], SECONDS, stats["audio"]["node"], stats["audio"]["sampleRate"]))
    print("%-28s %8s %8s" % ("", "median", "worst"))
    for name, label in (("draw", "draw the frames that came due"), ("convert", "cells to pixels"),
                        ("upload", "pixels to the canvas"), ("total", "all of it")):
        print("%-28s %6.2f ms %6.2f ms" % (label, timings[name]["median"], timings[name]["worst"]))
    print("stale blocks of music: %d" % stats["audio"]["staleBlocks"])


if __name__ == "__main__":
    directory = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                                os.path.join(SOURCE, "build", "web"))
    lacking = browser.missing(directory)
    if lacking:
        raise SystemExit("needs " + ", ".join(lacking))
    page_size(directory)
    frame_times(directory)
