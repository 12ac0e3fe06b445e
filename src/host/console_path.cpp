#include "host/console_path.h"

#include <algorithm>

ConsolePath chooseConsolePath(const ConsoleState& state) {
    const ConsoleRegion& w = state.window;
    const bool showsWholeFrame = w.left <= kPresentRegion.left && w.top <= kPresentRegion.top &&
                                 w.right >= kPresentRegion.right &&
                                 w.bottom >= kPresentRegion.bottom;
    return showsWholeFrame && !state.pseudoConsole ? ConsolePath::WholeFrameWrite
                                                   : ConsolePath::Terminal;
}

void encodeForConsoleWindow(const CellFrame& frame, const ConsoleRegion& window,
                            TerminalScreen& screen, std::string& out) {
    const int columns = std::max(1, window.right - window.left + 1);
    const int rows = std::max(1, window.bottom - window.top + 1);
    encodeFrame(frame, screen, columns, rows, ColourMode::TrueColour, out);
}

bool terminalProbeMoved(const ConsoleRegion& window, int cursorColumn, int cursorRow) {
    return cursorColumn == window.left + 2 && cursorRow == window.top + 1;
}
