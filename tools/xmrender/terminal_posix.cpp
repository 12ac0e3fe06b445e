// Whether the progress line has a terminal to go to.
#include <unistd.h>

#include "terminal.h"

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
