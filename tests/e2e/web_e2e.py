#!/usr/bin/env python3
"""The web page in a real browser: headless chromium, started by a click, compared pixel for
pixel with democapture's picture of the frame it shows, with its music running, its frames
on time and a hidden tab caught up; then the page without an AudioWorklet, and without any
sound output.

usage: web_e2e.py PAGE_DIRECTORY DEMOCAPTURE
"""
import os
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402
import common  # noqa: E402

PAGE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
CAPTURE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else ""
WIDTH, HEIGHT = 640, 600
FRAME_MILLISECONDS = 40
BLOCK_FRAMES = 882  # the ring's block: 20 ms at 44100 Hz

# Runs in the page before its own scripts, so that in every animation frame of the browser it
# runs just before the page draws: the music heard then, the newest frame due at that moment,
# and how many frames were the newest due at an animation frame, that is how many the page
# can have presented when the browser gives it fewer animation frames than frames come due.
ANIMATION_FRAMES = """
    window.animationFrames = {music: null, due: 0, presentable: 0};
    (function tick() {
        const seen = window.animationFrames;
        const music = window.demo ? demo.stats().musicMilliseconds : null;
        if (music !== null) {
            seen.music = music;
            const due = Math.floor(music / %d) + 1;
            if (due > seen.due) {
                seen.due = due;
                seen.presentable += 1;
            }
        }
        requestAnimationFrame(tick);
    })();""" % FRAME_MILLISECONDS


def read_png_rgb(path):
    """The pixels of an 8-bit RGB PNG without interlacing, as bytes of red, green, blue."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    position, compressed, header = 8, b"", None
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        position += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert (depth, colour, interlace) == (8, 2, 0), header
    raw = zlib.decompress(compressed)
    stride = 3 * width
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = row[x - 3] if x >= 3 else 0
            b = previous[x]
            c = previous[x - 3] if x >= 3 else 0
            if kind == 1:
                row[x] = (row[x] + a) & 255
            elif kind == 2:
                row[x] = (row[x] + b) & 255
            elif kind == 3:
                row[x] = (row[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[x] = (row[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(row))
        previous = row
    return (width, height), b"".join(rows)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        lacking = browser.missing(PAGE)
        if not os.access(CAPTURE, os.X_OK):
            lacking.append("democapture")
        if lacking:
            common.skip_or_fail("needs " + ", ".join(lacking))
        cls.server = browser.Server(PAGE)

    @classmethod
    def tearDownClass(cls):
        cls.server.close()

    def open(self, query="", before=None):
        # Autoplay is allowed, so that ?autostart can start the page without a click.
        page = browser.Browser("--autoplay-policy=no-user-gesture-required")
        self.addCleanup(page.close)
        page.before_page(ANIMATION_FRAMES)
        if before:
            page.before_page(before)
        page.driver.get(self.server.url + query)
        return page

    def wait_for(self, page, condition, timeout, what):
        stats = common.wait_until(lambda: (lambda s: s if condition(s) else None)(page.stats()),
                                  timeout)
        self.assertTrue(stats, "%s: %s" % (what, page.stats()))
        return stats

    def shown_and_seen(self, page):
        """The page's figures and those of the browser's last animation frame, read together."""
        return page.run("return [demo.stats(), window.animationFrames]")

    def assert_shows_the_frame_due(self, stats, seen):
        """The page shows the frame that was due at the browser's last animation frame: the
        page read the music a moment after the check's own reading there, so a frame may have
        come due between the two."""
        lag = seen["music"] - FRAME_MILLISECONDS * (stats["shownFrame"] - 1)
        self.assertTrue(-10 <= lag < FRAME_MILLISECONDS, "frame %d shown at %.1f ms of music, at the "
                        "last animation frame" % (stats["shownFrame"], seen["music"]))

    def latency_bound(self, audio):
        """How far the page's played frames may lead the music heard, in ms, from what the
        page reports: the node's buffer, twice for a ScriptProcessorNode, whose buffer being
        filled is played after the one playing; the context's latency and the device's; one
        block of the ring; and what the browser had no time to play."""
        buffers = 2 if audio["node"] == "ScriptProcessorNode" else 1
        rate = audio["sampleRate"] / 1000
        return (buffers * audio["bufferFrames"] / rate
                + 1000 * (audio["baseLatency"] + audio["outputLatency"])
                + BLOCK_FRAMES / 44.1 + audio["unheardFrames"] / rate)

    def assert_canvas_is_democaptures(self, page):
        """Compares the canvas pixel for pixel with democapture's picture of the frame the page
        reports, and returns that frame."""
        frame, pixels = page.canvas()
        with tempfile.TemporaryDirectory() as directory:
            subprocess.run([CAPTURE, "--frames", "%d:%d" % (frame, frame), "--png", directory],
                           check=True, timeout=300)
            size, expected = read_png_rgb(os.path.join(directory, "frame_%05d.png" % frame))
        self.assertEqual(size, (WIDTH, HEIGHT))
        self.assertEqual(len(pixels), 4 * WIDTH * HEIGHT)
        different = sum(1 for k in range(WIDTH * HEIGHT)
                        if pixels[4 * k:4 * k + 3] != expected[3 * k:3 * k + 3]
                        or pixels[4 * k + 3] != 255)
        self.assertEqual(different, 0, "pixels of frame %d unlike democapture's" % frame)
        return frame

    def test_the_demo_after_a_click(self):
        page = self.open("?bench")
        waiting = self.wait_for(page, lambda s: s["state"] == "waiting", 30, "the prompt")
        self.assertEqual(waiting["title"], common.TITLE)
        self.assertIn("click or press a key to start", page.run("return document.body.innerText"))
        self.assertEqual(waiting["audio"]["state"], "none", "no sound before the click")

        page.click()
        running = self.wait_for(page, lambda s: s["state"] == "running" and s["shownFrame"] > 1,
                                30, "the demo running")
        self.assertEqual(running["title"], common.TITLE)
        self.assertEqual(running["audio"]["state"], "running")
        self.assertEqual(running["audio"]["node"], "AudioWorkletNode")

        # At about 8 s the canvas shows democapture's picture of the frame the page reports.
        self.wait_for(page, lambda s: (s["musicMilliseconds"] or 0) >= 8000, 60, "8 s of music")
        self.assertGreater(self.assert_canvas_is_democaptures(page), 150)

        # For the next 10 s: the music plays, no block of it was heard before it was mixed,
        # the picture keeps to the music, and every frame that was the newest due at one of
        # the browser's animation frames was presented.
        first, first_seen = self.shown_and_seen(page)
        levels = []
        for _ in range(10):
            time.sleep(1)
            stats, seen = self.shown_and_seen(page)
            levels.append(stats["audio"]["level"])
            self.assert_shows_the_frame_due(stats, seen)
        last, last_seen = self.shown_and_seen(page)
        self.assertEqual(last["audio"]["state"], "running")
        self.assertGreater(min(levels), 0.005, "silence: %s" % levels)
        self.assertEqual(last["audio"]["staleBlocks"], 0)
        heard = last["musicMilliseconds"] - first["musicMilliseconds"]
        played = (last["audio"]["playedFrames"] - first["audio"]["playedFrames"]) / 44.1
        self.assertGreaterEqual(heard, 240 * FRAME_MILLISECONDS, "the music stalled")
        self.assertLessEqual(abs(played - heard), self.latency_bound(last["audio"]),
                             "%.0f ms played while %.0f ms were heard" % (played, heard))
        presentable = last_seen["presentable"] - first_seen["presentable"]
        presented = last["presentedFrames"] - first["presentedFrames"]
        self.assertGreaterEqual(presented, presentable - 1, "%d frames presented of %d that were "
                                "due at an animation frame" % (presented, presentable))
        # What the page does for a frame fits in the frame's 40 ms: a page too slow for its
        # frames would make the browser's animation frames few as well.
        work = page.run("return demo.timings().total.median")
        self.assertLess(work, FRAME_MILLISECONDS, "the page's work for a frame takes %.1f ms" % work)
        print("%d of %d frames presented, %.0f ms played while %.0f ms were heard, %.1f ms of "
              "work a frame" % (presented, presentable, played, heard, work), file=sys.stderr)

        # Hidden for longer than the ring lasts, the tab keeps mixing its music, and when it
        # comes back it catches up with every frame that came due.
        page.run("window.seen = []; document.addEventListener('visibilitychange', "
                 "() => seen.push(document.visibilityState));")
        shown = page.driver.current_window_handle
        page.driver.switch_to.new_window("tab")
        time.sleep(4)
        page.driver.close()
        page.driver.switch_to.window(shown)
        page.driver.execute_cdp_cmd("Page.bringToFront", {})
        back = self.wait_for(page, lambda s: s["shownFrame"] > last["shownFrame"] + 100, 10,
                             "the frames after the hidden time")
        self.assertEqual(page.run("return seen"), ["hidden", "visible"])
        self.assertEqual(back["audio"]["staleBlocks"], 0)
        self.assert_shows_the_frame_due(*self.shown_and_seen(page))
        # The frames drawn to catch up are the frames of democapture too.
        self.assertGreater(self.assert_canvas_is_democaptures(page), back["shownFrame"] - 1)
        self.assertGreater(page.run("return demo.timings().frames"), 0, "?bench times frames")

    def test_an_older_browser_plays_through_a_script_processor_at_its_own_rate(self):
        # As in a page served over plain http from another machine (no secure context, so no
        # AudioWorklet), by a browser whose audio runs at 48000 Hz and takes no other rate.
        page = self.open("?autostart&bench", """
            const Context = window.AudioContext;
            window.AudioContext = function (options) {
                if (options && options.sampleRate)
                    throw new DOMException('no such rate', 'NotSupportedError');
                return new Context({sampleRate: 48000});
            };
            delete window.AudioWorkletNode;""")
        self.wait_for(page, lambda s: (s["musicMilliseconds"] or 0) >= 6000, 60, "6 s of music")
        stats, seen = self.shown_and_seen(page)
        audio = stats["audio"]
        self.assertEqual((audio["node"], audio["state"], audio["sampleRate"]),
                         ("ScriptProcessorNode", "running", 48000))
        self.assertGreater(audio["level"], 0.005)
        self.assertEqual(audio["staleBlocks"], 0)
        # The ring's 44100 frames a second go by in a second of the context's clock: what has
        # been played leads what has been heard by no more than the output's latency.
        lead = audio["playedFrames"] / 44.1 - stats["musicMilliseconds"]
        bound = self.latency_bound(audio)
        self.assertTrue(0 <= lead <= bound, "played %.0f ms ahead of the music heard, more than "
                        "the %.0f ms of the output's latency: %s" % (lead, bound, audio))
        print("played %.0f ms ahead of the music heard, at most %.0f ms" % (lead, bound),
              file=sys.stderr)
        self.assert_shows_the_frame_due(stats, seen)

    def test_without_bench_the_page_marks_no_frames_and_has_no_analyser(self):
        page = self.open("?autostart", """
            window.marked = [];
            new PerformanceObserver((list) => marked.push(...list.getEntries().map(e => e.name)))
                .observe({entryTypes: ['mark', 'measure']});""")
        stats = self.wait_for(page, lambda s: s["presentedFrames"] > 25, 60, "a second of frames")
        self.assertIsNone(stats["audio"]["level"])
        self.assertEqual(page.run("return marked"), [])
        self.assertEqual(page.run("return demo.timings().frames"), 0)

    def test_without_sound_output_no_picture(self):
        page = self.open("", "delete window.AudioContext; delete window.webkitAudioContext;")
        self.wait_for(page, lambda s: s["state"] == "waiting", 30, "the prompt")
        page.click()
        failed = self.wait_for(page, lambda s: s["state"] == "failed", 30, "the failure")
        self.assertEqual(failed["title"], common.TITLE)
        text = page.run("return document.body.innerText").strip()
        self.assertIn("No sound output could be opened", text)
        lines = [line for line in text.splitlines() if line.strip()]
        self.assertEqual(len(lines), 2, "the title and one line: %r" % text)
        self.assertTrue(page.run("return document.getElementById('screen').hidden"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
