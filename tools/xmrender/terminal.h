// The little xmrender needs to know about its terminal.
#pragma once

// True when standard error is a terminal, so that a progress line can be redrawn in place.
bool stderrIsTerminal();
