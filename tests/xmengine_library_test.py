#!/usr/bin/env python3
"""The music engine's library as a stranger gets it: installed with cmake --install, found with
pkg-config and with CMake's find_package, built against in C99.

usage: xmengine_library_test.py BUILD_DIR SOURCE_DIR PATH/TO/xmrender PATH/TO/xmcorpus

The shared library may export the interface's functions alone, the static one may define no
other global name, and the header must compile as C99 and as C++ without a warning. The
README's example, examples/render_wav.c, built against the installed tree (shared and static,
through pkg-config and through CMake), must write the very WAV file that xmrender writes, for
every song xmcorpus makes and for the demo's song.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD = SOURCE = XMRENDER = XMCORPUS = None
PREFIX = None  # the installed tree, made once


def run(*args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs)


def compiler(language):
    return shutil.which("cc" if language == "c" else "c++")


class Library(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        global PREFIX
        PREFIX = os.path.join(cls.dir.name, "prefix")
        for component in ("library", "development"):
            run("cmake", "--install", BUILD, "--prefix", PREFIX, "--component", component)
        cls.songs = os.path.join(cls.dir.name, "songs")
        os.mkdir(cls.songs)
        run(XMCORPUS, cls.songs)
        shutil.copy(os.path.join(SOURCE, "src/data/song.xm"), cls.songs)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def installed(self, *parts):
        matches = []
        for root, _, files in os.walk(PREFIX):
            matches += [os.path.join(root, f) for f in files if f in parts]
        return matches

    def test_the_libraries_show_the_interface_alone(self):
        shared = run("nm", "-D", "--defined-only", os.path.join(BUILD, "libxmengine.so")).stdout
        names = [line.split()[-1] for line in shared.splitlines() if line.strip()]
        exported = [n.split("@")[0] for n in names if not n.startswith("XMENGINE_")]
        self.assertGreater(len(exported), 20)
        self.assertEqual([n for n in exported if not n.startswith("xme_")], [])
        static = run("nm", "-g", "--defined-only", os.path.join(BUILD, "libxmengine.a")).stdout
        globals_ = [line.split()[-1] for line in static.splitlines()
                    if re.match(r"^[0-9a-f]+ [A-Z] ", line)]
        self.assertEqual(sorted(globals_), sorted(exported))
        # Nothing of the C++ runtime is needed: a C program links either library alone.
        needed = run("objdump", "-p", os.path.join(BUILD, "libxmengine.so")).stdout
        self.assertEqual(sorted(re.findall(r"NEEDED\s+(\S+)", needed)), ["libc.so.6", "libm.so.6"])

    def test_the_header_compiles_as_c99_and_as_cpp_without_warnings(self):
        header = os.path.join(SOURCE, "src/engine/xmengine.h")
        for language, standard in (("c", "c99"), ("c++", "c++11"), ("c++", "c++20")):
            result = subprocess.run(
                [compiler(language), "-x", language, "-std=" + standard, "-Wall", "-Wextra",
                 "-pedantic", "-Werror", "-fsyntax-only", header],
                capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, (standard, result.stderr))

    def render_with(self, program, library_path=None):
        """Every song through program and through xmrender: the two WAV files must be equal."""
        env = dict(os.environ)
        if library_path:
            env["LD_LIBRARY_PATH"] = library_path
        for song in sorted(os.listdir(self.songs)):
            with self.subTest(song=song, program=program):
                path = os.path.join(self.songs, song)
                ours = os.path.join(self.dir.name, "example.wav")
                theirs = os.path.join(self.dir.name, "xmrender.wav")
                printed = run(program, path, ours, env=env).stdout
                run(XMRENDER, path, "-o", theirs)
                with open(ours, "rb") as a, open(theirs, "rb") as b:
                    self.assertTrue(a.read() == b.read(), song)
                # One line for every order played, the first at 0 s.
                self.assertRegex(printed.splitlines()[0], r"^ +0\.00 s  order 0, pattern \d+$")

    def test_the_example_built_with_pkg_config_writes_what_xmrender_writes(self):
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.dirname(self.installed("xmengine.pc")[0]))
        flags = run("pkg-config", "--cflags", "--libs", "xmengine", env=env).stdout.split()
        shared = os.path.join(self.dir.name, "render_wav_shared")
        source = os.path.join(SOURCE, "examples/render_wav.c")
        run(compiler("c"), "-std=c99", "-Wall", "-Wextra", "-pedantic", "-Werror", source,
            *flags, "-o", shared)
        library_dir = os.path.dirname(self.installed("libxmengine.so.1")[0])
        self.render_with(shared, library_dir)
        # Static: the archive and the libraries pkg-config names for static linking.
        static_libs = run("pkg-config", "--static", "--libs-only-l", "xmengine",
                          env=env).stdout.split()
        static = os.path.join(self.dir.name, "render_wav_static")
        run(compiler("c"), "-std=c99", "-pedantic", "-Werror", source,
            *run("pkg-config", "--cflags", "xmengine", env=env).stdout.split(),
            self.installed("libxmengine.a")[0],
            *[lib for lib in static_libs if lib != "-lxmengine"], "-o", static)
        self.assertNotIn("libxmengine", run("ldd", static).stdout)
        self.render_with(static)

    def test_the_example_built_with_find_package_writes_what_xmrender_writes(self):
        project = os.path.join(self.dir.name, "consumer")
        os.makedirs(project, exist_ok=True)
        with open(os.path.join(project, "CMakeLists.txt"), "w") as f:
            f.write("cmake_minimum_required(VERSION 3.16)\n"
                    "project(consumer C)\n"
                    "find_package(xmengine 1.0 CONFIG REQUIRED)\n"
                    "add_executable(render_wav %s)\n"
                    "target_link_libraries(render_wav PRIVATE xmengine::static)\n"
                    % os.path.join(SOURCE, "examples/render_wav.c"))
        build = os.path.join(project, "build")
        run("cmake", "-S", project, "-B", build, "-DCMAKE_PREFIX_PATH=" + PREFIX)
        run("cmake", "--build", build)
        self.render_with(os.path.join(build, "render_wav"))


if __name__ == "__main__":
    BUILD, SOURCE, XMRENDER, XMCORPUS = (os.path.abspath(a) for a in sys.argv[1:5])
    del sys.argv[1:5]
    unittest.main()
