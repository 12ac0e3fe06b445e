// Program entry on POSIX: the demo needs a terminal to draw in and a sound output to play its
// music through. Unlike the Windows program, which ends silently, it says why it could not
// start and exits with a non-zero status.
#include <unistd.h>

#include <cstdio>

#include "director/director.h"
#include "host/console.h"
#include "sound/output.h"
#include "sound/thread.h"

int main() {
    if (!isatty(STDOUT_FILENO)) {
        std::fprintf(stderr,
                     "demo: standard output is not a terminal; run it in a terminal "
                     "of 80 by 50 cells or more\n");
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
