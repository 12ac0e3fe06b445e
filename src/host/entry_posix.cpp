// Program entry on POSIX: the demo needs a terminal to draw in.
#include <unistd.h>

#include <cstdio>

#include "director/director.h"
#include "host/console.h"

int main() {
    if (!isatty(STDOUT_FILENO)) {
        std::fprintf(stderr, "demo: standard output is not a terminal; run it in a terminal "
                             "of 80 by 50 cells or more\n");
        return 1;
    }
    openDemoConsole();
    runDemo();
    return 0;
}
