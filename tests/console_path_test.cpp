#include "host/console_path.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "terminal_model.h"

namespace {

// Console states as GetConsoleScreenBufferInfo and the window class report them after set-up.
TEST(ConsolePath, RecordedConsoleStates) {
    using enum ConsolePath;
    // A classic console window of the whole buffer; Wine gives the same (its maximise grows the
    // buffer to 160 by 62, the window stays 80 by 50).
    EXPECT_EQ(chooseConsolePath({{0, 0, 79, 49}, false}), WholeFrameWrite);
    // A terminal tab of 120 by 30: its buffer, as large as the tab, refuses to shrink. A tab
    // large enough may still be resized at any time.
    EXPECT_EQ(chooseConsolePath({{0, 0, 119, 29}, true}), Terminal);
    EXPECT_EQ(chooseConsolePath({{0, 0, 199, 59}, true}), Terminal);
    // A window that stayed 80 by 25, one a column short, 50 rows scrolled down a larger buffer.
    EXPECT_EQ(chooseConsolePath({{0, 0, 79, 24}, false}), Terminal);
    EXPECT_EQ(chooseConsolePath({{0, 0, 78, 49}, false}), Terminal);
    EXPECT_EQ(chooseConsolePath({{0, 12, 79, 61}, false}), Terminal);
    // The probe's cursor: where a console that acts on it puts it, and Wine's after six bytes.
    EXPECT_TRUE(terminalProbeMoved({0, 25, 79, 49}, 2, 26));
    EXPECT_FALSE(terminalProbeMoved({0, 0, 79, 24}, 6, 0));
}

// The upper and lower colour of a half-block character.
std::pair<ModelColour, ModelColour> halves(const ModelCell& cell) {
    if (cell.glyph == U'\u2580') return {cell.foreground, cell.background};
    if (cell.glyph == U'\u2584') return {cell.background, cell.foreground};
    if (cell.glyph == U'\u2588') return {cell.foreground, cell.foreground};
    EXPECT_EQ(cell.glyph, U' ');
    return {cell.background, cell.background};
}

// The terminal path's bytes, replayed on a terminal of the window's size, show every cell as
// half a character in its average colour (24-bit), centred: in a tab of 120 by 30, and after a
// resize to 80 by 25, also once that window has moved down the buffer.
TEST(ConsolePath, TerminalPathShowsTheWholeFrameInTheWindowAndFollowsResizes) {
    std::mt19937 random(17);
    TerminalScreen screen;
    TerminalModel model(120, 30);
    for (ConsoleRegion window : {ConsoleRegion{0, 0, 119, 29}, {0, 0, 79, 24}, {0, 25, 79, 49}}) {
        const int columns = window.right - window.left + 1, rows = window.bottom - window.top + 1;
        if (columns == 80 && window.top == 0) model = TerminalModel(columns, rows);
        CellFrame frame;
        for (uint16_t& cell : frame.cells)
            cell = static_cast<uint16_t>(random());
        std::string out;
        encodeForConsoleWindow(frame, window, screen, out);
        model.feed(out);
        const int left = (columns - kScreenColumns) / 2, top = (rows - kScreenRows / 2) / 2;
        for (int k = 0; k < kScreenCells / 2; ++k) {
            const int column = k % kScreenColumns, row = k / kScreenColumns;
            const uint16_t* upper = frame.cells + 2 * row * kScreenColumns + column;
            ConsoleRgb a = averageCellColour(upper[0]),
                       b = averageCellColour(upper[kScreenColumns]);
            ASSERT_EQ(halves(model.at(left + column, top + row)),
                      std::make_pair(ModelColour{-1, a.red, a.green, a.blue},
                                     ModelColour{-1, b.red, b.green, b.blue}))
                << columns << "x" << rows << " at " << column << "," << row;
        }
    }
}

}  // namespace
