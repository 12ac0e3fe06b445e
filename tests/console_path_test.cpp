#include "host/console_path.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "host/cp437.h"
#include "terminal_model.h"

namespace {

// Console states as GetConsoleScreenBufferInfo and the window class report them after set-up.
TEST(ConsolePath, RecordedConsoleStates) {
    struct Recorded {
        const char* what;
        ConsoleState state;
        ConsolePath path;
    };
    const Recorded recorded[] = {
        // Wine 8 here gives the same window; its maximise grows the buffer to 160 by 62.
        {"a classic console window of the whole 80 by 50 buffer",
         {{0, 0, 79, 49}, false},
         ConsolePath::WholeFrameWrite},
        // A terminal tab keeps its size; the buffer, as large as the tab, refuses to shrink.
        {"a pseudo console of 120 by 30", {{0, 0, 119, 29}, true}, ConsolePath::Terminal},
        // It may be resized at any time, so even a large one is written to as a terminal.
        {"a pseudo console of 200 by 60", {{0, 0, 199, 59}, true}, ConsolePath::Terminal},
        {"a window that stayed 80 by 25 of the 80 by 50 buffer",
         {{0, 0, 79, 24}, false},
         ConsolePath::Terminal},
        {"50 rows of Wine's larger buffer, scrolled down",
         {{0, 12, 79, 61}, false},
         ConsolePath::Terminal},
        {"a column short", {{0, 0, 78, 49}, false}, ConsolePath::Terminal},
    };
    for (const Recorded& r : recorded)
        EXPECT_EQ(chooseConsolePath(r.state), r.path) << r.what;
}

// Where the cursor stands after kTerminalProbe: Wine's console showed the six bytes as text.
TEST(ConsolePath, TheProbeTellsAConsoleThatActsOnSequences) {
    EXPECT_FALSE(terminalProbeMoved({0, 0, 79, 24}, 6, 0));
    EXPECT_TRUE(terminalProbeMoved({0, 0, 79, 24}, 2, 1));
    // Positions count from the window, which may stand lower in the buffer.
    EXPECT_TRUE(terminalProbeMoved({0, 25, 79, 49}, 2, 26));
    EXPECT_FALSE(terminalProbeMoved({0, 25, 79, 49}, 2, 1));
}

// The upper and lower colour of a half-block character.
std::pair<ModelColour, ModelColour> halves(const ModelCell& cell) {
    if (cell.glyph == U'\u2580') return {cell.foreground, cell.background};
    if (cell.glyph == U'\u2584') return {cell.background, cell.foreground};
    if (cell.glyph == U'\u2588') return {cell.foreground, cell.foreground};
    EXPECT_EQ(cell.glyph, U' ');
    return {cell.background, cell.background};
}

ModelColour trueColour(ConsoleRgb rgb) {
    return ModelColour{-1, rgb.red, rgb.green, rgb.blue};
}

// The bytes of the terminal path, replayed on a terminal of the window's size, show the whole
// frame: every cell as half a character in 24-bit colour, centred, where 25 rows fit; the
// glyphs themselves once the window shows 80 by 50. A new window size redraws everything; a
// window of the same size that only moved is brought up to date from what it showed.
TEST(ConsolePath, TerminalPathShowsTheWholeFrameInTheWindowAndFollowsResizes) {
    const ConsoleRegion windows[] = {
        {0, 0, 119, 29},  // a pseudo console's tab
        {0, 0, 79, 24},   // a window that stayed small, and the same window scrolled down
        {0, 25, 79, 49}, {0, 0, 99, 39},  // resized
        {0, 0, 79, 49},                   // large enough for the glyphs
    };
    std::mt19937 random(17);
    TerminalScreen screen;
    TerminalModel model(1, 1);
    int columns = 0, rows = 0;
    for (const ConsoleRegion& window : windows) {
        CellFrame frame;
        for (uint16_t& cell : frame.cells)
            cell = static_cast<uint16_t>(random());
        const int newColumns = window.right - window.left + 1;
        const int newRows = window.bottom - window.top + 1;
        if (newColumns != columns || newRows != rows) model = TerminalModel(newColumns, newRows);
        columns = newColumns;
        rows = newRows;
        std::string out;
        encodeForConsoleWindow(frame, window, screen, out);
        model.resetCounters();
        model.feed(out);
        EXPECT_FALSE(model.syncOpen());
        if (rows >= kScreenRows) {
            for (int k = 0; k < kScreenCells; ++k)
                ASSERT_EQ(model.at(k % kScreenColumns, k / kScreenColumns).glyph,
                          kCp437CodePoints[cellCharacter(frame.cells[k])]);
            continue;
        }
        const int left = (columns - kScreenColumns) / 2, top = (rows - kScreenRows / 2) / 2;
        for (int row = 0; row < kScreenRows / 2; ++row)
            for (int column = 0; column < kScreenColumns; ++column) {
                const uint16_t* upper = frame.cells + 2 * row * kScreenColumns + column;
                ASSERT_EQ(halves(model.at(left + column, top + row)),
                          std::make_pair(trueColour(averageCellColour(upper[0])),
                                         trueColour(averageCellColour(upper[kScreenColumns]))))
                    << columns << "x" << rows << " at " << column << "," << row;
            }
    }
}

}  // namespace
