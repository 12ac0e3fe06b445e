// Program entry on POSIX: the demo needs a terminal that takes its escape sequences to draw in
// and a sound output to play its music through. Unlike the Windows program, which ends
// silently, it says why it could not start and exits with a non-zero status. It takes no
// options but --help and --version.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/version.h"
#include "director/director.h"
#include "engine/output.h"
#include "engine/thread.h"
#include "host/console.h"
#include "terminal/terminfo.h"

namespace {

const char kHelp[] =
    "demo: \"Kald mig bare ordblind...\", a real-time demo in text mode with its own music.\n"
    "\n"
    "usage: demo [--help | --version]\n"
    "\n"
    "It takes the whole terminal, draws 80 by 50 cells 25 times a second and plays its song,\n"
    "and runs until it is stopped: Ctrl-C (or SIGTERM, SIGHUP) ends it and gives the terminal\n"
    "back; Ctrl-Z suspends it. Its first four seconds are black by design. After about 100\n"
    "seconds it settles on a closing screen that runs until it is stopped.\n"
    "\n"
    "It needs a terminal that takes ANSI escape sequences (TERM set to one this system knows,\n"
    "such as xterm-256color), 80 by 50 cells or more, and a sound output;\n"
    "SDL_AUDIODRIVER=dummy runs it without sound. COLORTERM=truecolor (or 24bit) gives\n"
    "24-bit colour; otherwise a terminal of 256 colours (as terminfo says for TERM) gets the\n"
    "nearest of its colour cube and grey ramp, and any other the 16 standard colours, which\n"
    "follow the terminal's colour theme.\n"
    "\n"
    "  -h, --help  this text\n"
    "  --version   the version\n"
    "\n"
    "Exit status: 1 when it cannot start (the message says why), 2 for an unknown argument;\n"
    "stopped by a signal, the status of that signal.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        const std::string argument = argv[1];
        if (argc == 2 && (argument == "--help" || argument == "-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (argc == 2 && argument == "--version") {
            std::printf("demo %s\n", kDemoVersion);
            return 0;
        }
        std::fprintf(stderr,
                     "demo: unknown argument %s (the demo takes none but --help and --version)\n",
                     argument.c_str());
        return 2;
    }
    if (!isatty(STDOUT_FILENO)) {
        std::fprintf(stderr,
                     "demo: standard output is not a terminal; run it in a terminal "
                     "of 80 by 50 cells or more\n");
        return 1;
    }
    const std::string problem = terminalProblem(std::getenv("TERM"));
    if (!problem.empty()) {
        std::fprintf(stderr,
                     "demo: %s; run it in a terminal that takes ANSI escape sequences, or set "
                     "TERM to one that does (such as xterm-256color)\n",
                     problem.c_str());
        return 1;
    }
    useOutputDevice(&platformOutput, &platformThreads);
    openDemoConsole();
    StartUp result = runDemo();
    // runDemo returns only when the music could not be started; no picture has been shown.
    closeDemoConsole();
    if (result == StartUp::NoSoundOutput) {
        std::fprintf(stderr,
                     "demo: no sound output could be opened, and the demo shows no "
                     "pictures without its music; SDL_AUDIODRIVER=dummy runs it "
                     "without sound\n");
    } else if (result == StartUp::NoSong) {
        std::fprintf(stderr,
                     "demo: the song compiled into the program could not be loaded; "
                     "rebuild it from a clean checkout\n");
    }
    return 1;
}
