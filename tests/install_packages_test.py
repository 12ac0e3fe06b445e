#!/usr/bin/env python3
"""The package installer of tools/setup against stand-ins for dpkg-query, apt-get, sudo, id and
brew: which packages it finds missing, how it installs them, and what it does without root,
without sudo, without apt-get but with Homebrew, and with neither. The script runs with only
the stand-ins on its PATH."""
import os
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
SCRIPT = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 and not sys.argv[1].startswith("-") \
    else os.path.join(SOURCE, "tools", "setup", "install-packages")

STAND_INS = {
    # Prints "name status" for the packages it knows, like dpkg-query -W -f; fails when it
    # knows some of them not.
    "dpkg-query": """
        unknown=0
        for name in "$@"; do
            [[ "$name" == -* ]] && continue
            if [[ " $FAKE_INSTALLED " == *" $name "* ]]; then echo "$name:amd64 ii "
            elif [[ " $FAKE_REMOVED " == *" $name "* ]]; then echo "$name rc "
            else echo "dpkg-query: no packages found matching $name" >&2; unknown=1; fi
        done
        exit $unknown""",
    "apt-get": 'echo "apt-get $* frontend=$DEBIAN_FRONTEND root=$FAKE_ROOT" >>"$FAKE_LOG"',
    "sudo": 'echo "sudo" >>"$FAKE_LOG"; export FAKE_ROOT=1; exec /usr/bin/env "$@"',
    "id": 'echo "$FAKE_UID"',
    # Lists the formulae of FAKE_FORMULAE, one a line.
    "brew": """
        echo "brew $* root=$FAKE_ROOT" >>"$FAKE_LOG"
        if [[ "$1" == list ]]; then for name in $FAKE_FORMULAE; do echo "$name"; done; fi""",
}

# The install commands for the test group under each package manager, from their own
# package indexes.
OTHER_COMMANDS = [
    "apt-get install g++ cmake ninja-build libsdl2-dev libgtest-dev libgmock-dev python3 libpng-dev"
    " pkg-config",
    "brew install cmake ninja sdl2 googletest python libpng pkg-config",
    "dnf install gcc-c++ cmake ninja-build SDL2-devel gtest-devel gmock-devel python3 libpng-devel"
    " pkgconf",
    "pacman -S --needed gcc cmake ninja sdl2 gtest python libpng pkgconf",
    "zypper install gcc-c++ cmake ninja SDL2-devel gtest gmock python3 libpng16-devel pkg-config",
    "apk add g++ cmake samurai sdl2-dev gtest-dev python3 libpng-dev pkgconf",
    "pkg install cmake ninja sdl2 googletest python3 png pkgconf",
]


def package_list(*groups):
    result = subprocess.run(["/bin/bash", SCRIPT, "--list", *groups], capture_output=True,
                            text=True, check=True)
    return result.stdout.split()


class InstallPackages(unittest.TestCase):
    def run_script(self, groups, installed=(), removed=(), uid=1000, missing_tools=(),
                   formulae=None):
        """formulae: the Homebrew formulae installed; None for no brew at all."""
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        for name, body in STAND_INS.items():
            if name in missing_tools or (name == "brew" and formulae is None):
                continue
            path = os.path.join(directory.name, name)
            with open(path, "w") as f:
                f.write("#!/bin/bash\n" + body + "\n")
            os.chmod(path, 0o755)
        log = os.path.join(directory.name, "log")
        environment = {"PATH": directory.name, "FAKE_LOG": log, "FAKE_UID": str(uid),
                       "FAKE_ROOT": "1" if uid == 0 else "0",
                       "FAKE_INSTALLED": " ".join(installed), "FAKE_REMOVED": " ".join(removed),
                       "FAKE_FORMULAE": " ".join(formulae or ())}
        result = subprocess.run(["/bin/bash", SCRIPT, *groups], env=environment,
                                capture_output=True, text=True, timeout=30)
        calls = []
        if os.path.exists(log):
            with open(log) as f:
                calls = f.read().splitlines()
        return result, calls

    def test_nothing_happens_when_every_package_is_there(self):
        everything = package_list("ci")
        result, calls = self.run_script(["demo", "test"], installed=everything)
        self.assertEqual((result.returncode, result.stderr, calls), (0, "", []))

    def test_the_missing_packages_alone_are_installed_through_sudo_or_as_root(self):
        wanted = package_list("test")
        # Never installed, and removed with its configuration left behind: both are missing.
        for uid, sudo in ((1000, ["sudo"]), (0, [])):
            # Homebrew beside apt-get is left alone.
            result, calls = self.run_script(["test"], installed=wanted[1:-1], removed=[wanted[-1]],
                                            uid=uid, missing_tools=[] if sudo else ["sudo"],
                                            formulae=[])
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(calls, sudo + ["apt-get update frontend=noninteractive root=1"] + sudo +
                             ["apt-get install -y %s %s frontend=noninteractive root=1"
                              % (wanted[0], wanted[-1])])

    def test_without_root_or_sudo_it_names_the_missing_packages_and_fails(self):
        result, calls = self.run_script(["demo"], installed=["g++", "cmake", "ninja-build"],
                                        missing_tools=["sudo"])
        self.assertEqual((result.returncode, calls), (1, []))
        self.assertIn("libsdl2-dev", result.stderr)
        self.assertNotIn("cmake", result.stderr)

    def test_without_apt_get_it_names_every_package_and_goes_on(self):
        for missing in (["apt-get"], ["apt-get", "dpkg-query"]):
            result, calls = self.run_script(["demo"], missing_tools=missing)
            self.assertEqual((result.returncode, calls), (0, []))
            for package in ("no apt-get", "g++", "cmake", "ninja-build", "libsdl2-dev"):
                self.assertIn(package, result.stderr)

    def test_with_homebrew_and_no_apt_get_the_missing_formulae_are_installed_as_the_user(self):
        # googletest stands for two Debian packages, and the compiler is the system's own.
        result, calls = self.run_script(["test"], missing_tools=["apt-get", "dpkg-query"],
                                        formulae=["cmake", "libpng", "git"])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(calls, ["brew list --formula root=0",
                                 "brew install ninja sdl2 googletest python pkg-config root=0"])
        # Nothing missing: nothing installed, nothing said.
        result, calls = self.run_script(["test"], missing_tools=["apt-get"], formulae=[
            "python", "googletest", "libpng", "sdl2", "ninja", "cmake", "pkg-config"])
        self.assertEqual((result.returncode, result.stderr, calls),
                         (0, "", ["brew list --formula root=0"]))
        # Packages without a Homebrew name are named, and the rest installed.
        result, calls = self.run_script(["windows", "video"], missing_tools=["apt-get"],
                                        formulae=["cmake"])
        self.assertEqual((result.returncode, calls[1:]), (0, ["brew install ninja root=0"]))
        self.assertIn("g++-mingw-w64-x86-64 ffmpeg", result.stderr)

    def test_with_neither_it_names_the_install_command_of_each_package_manager(self):
        result, calls = self.run_script(["test"], missing_tools=["apt-get"])
        self.assertEqual((result.returncode, calls), (0, []))
        lines = [line.strip() for line in result.stderr.splitlines()]
        for command in OTHER_COMMANDS:
            self.assertIn(command, lines)
        # Every package of the demo and its tests has a name under every package manager.
        self.assertEqual(len(lines), 1 + len(OTHER_COMMANDS), result.stderr)

    def test_groups_bring_in_the_groups_they_name_once(self):
        demo, test, everything = package_list("demo"), package_list("test"), package_list("ci")
        self.assertEqual(test[:len(demo)], demo)
        self.assertEqual(len(everything), len(set(everything)))
        for group in ("bench", "windows", "e2e", "fuzz"):
            self.assertLessEqual(set(package_list(group)), set(everything), group)
        unknown = subprocess.run(["/bin/bash", SCRIPT, "demo", "no-such-group"],
                                 capture_output=True, text=True)
        self.assertEqual(unknown.returncode, 2)
        self.assertIn("no-such-group", unknown.stderr)


if __name__ == "__main__":
    unittest.main()
