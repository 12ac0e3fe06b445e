#!/usr/bin/env python3
"""Guards the sound of the engine: renders a few songs with xmrender and compares the SHA-256
of each WAV file with the figure recorded in RENDERS below.

usage: render_checksums_test.py PATH/TO/xmrender PATH/TO/xmcorpus [--print]

The songs are the one compiled into the demo (src/data/song.xm, played to its loop), two of
the small songs that xmcorpus writes and its busy song of 32 channels, which between them use
both loop kinds, 8- and 16-bit samples, envelopes with sustain and loop, fade-out, instrument
vibrato, several effects and nearly all 64 voices of the mixer at once.
A change anywhere in the loader, the sequencer, the mixer, the stream or the WAV writer that
moves a single bit of these renders fails here, with the song named.

When a change is meant to alter the sound, make sure first that the new sound is the one
wanted: listen to the renders, compare them with the old ones (tools/xmrender/
compare_renders.py, a spectrogram with sox) and check that nothing else moved. Then run this
script with --print, which renders the songs with the built xmrender and prints the RENDERS
table with the new figures; paste it over the one below and say in the commit message why the
sound changed. The figures are what `sha256sum` gives for `xmrender SONG -o OUT.wav` with the
arguments of the table.
"""
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest

XMRENDER = None
XMCORPUS = None
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")

# (name, song: a path below the source tree or "corpus:" and a name xmcorpus writes,
#  xmrender arguments, SHA-256 of the WAV file)
RENDERS = [
    ("embedded song to its loop", "src/data/song.xm", [],
     "cd231c6507729ceb77624ef46553eb811686224f04bb54690a4c85ab2872b82b"),
    ("corpus two_instruments, 10 s", "corpus:two_instruments", ["--seconds", "10"],
     "c7886678d35df7f30611ec61078c96bce52cf52c3a4e025d63ab4dad67b35254"),
    ("corpus envelopes, 10 s", "corpus:envelopes", ["--seconds", "10"],
     "d71073fcbe1266df2c73478426b76a9222bd52c5013868a7118ea41355b4fe3a"),
    ("corpus busy_32_channels, 10 s", "corpus:busy_32_channels", ["--seconds", "10"],
     "a3d2656722280453cd3f502e1eb7eeeb00b812b6f01ea030036df6e224977ce2"),
]


def render_checksum(song, arguments, directory):
    if song.startswith("corpus:"):
        path = os.path.join(directory, "corpus", song[len("corpus:"):] + ".xm")
    else:
        path = os.path.join(SOURCE, song)
    out = os.path.join(directory, "render.wav")
    result = subprocess.run([XMRENDER, path, *arguments, "-o", out], capture_output=True,
                            text=True, timeout=300)
    if result.returncode != 0:
        raise RuntimeError("xmrender failed on %s: %s" % (path, result.stderr.strip()))
    digest = hashlib.sha256()
    with open(out, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    os.remove(out)
    return digest.hexdigest()


def write_corpus(directory):
    corpus = os.path.join(directory, "corpus")
    os.mkdir(corpus)
    subprocess.run([XMCORPUS, corpus], check=True, timeout=60)


class RenderChecksums(unittest.TestCase):
    def test_renders_are_bit_identical_to_the_recorded_ones(self):
        with tempfile.TemporaryDirectory() as directory:
            write_corpus(directory)
            for name, song, arguments, expected in RENDERS:
                with self.subTest(render=name):
                    self.assertEqual(render_checksum(song, arguments, directory), expected,
                                     "the render of %s changed; if that is meant, see how to "
                                     "update the figures at the top of %s" % (name, __file__))


def print_table():
    with tempfile.TemporaryDirectory() as directory:
        write_corpus(directory)
        print("RENDERS = [")
        for name, song, arguments, _ in RENDERS:
            print("    (%s, %s, %s,\n     %s)," %
                  (json.dumps(name), json.dumps(song), json.dumps(arguments),
                   json.dumps(render_checksum(song, arguments, directory))))
        print("]")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    XMRENDER, XMCORPUS = sys.argv.pop(1), sys.argv.pop(1)
    if sys.argv[1:] == ["--print"]:
        print_table()
    else:
        unittest.main()
