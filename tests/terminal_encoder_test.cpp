#include "host/terminal_encoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "host/cp437.h"
#include "terminal_model.h"

namespace {

// The console colour that a 16-colour SGR index names (ANSI bit 0 is red, console bit 0 blue).
int consoleFromAnsi(int ansi) {
    return (ansi & 8) | (ansi & 1) << 2 | (ansi & 2) | (ansi & 4) >> 2;
}

ModelColour expectedColour(int colour, ColourMode mode) {
    if (mode == ColourMode::Ansi16) {
        for (int ansi = 0; ansi < 16; ++ansi)
            if (consoleFromAnsi(ansi) == colour) return ModelColour{ansi};
    }
    TerminalRgb rgb = terminalColour(colour);
    return ModelColour{-1, rgb.red, rgb.green, rgb.blue};
}

// Every visible cell of the model shows the frame's glyph in the frame's colours.
void expectShows(const TerminalModel& model, const CellFrame& frame, int columns, int rows,
                 ColourMode mode) {
    for (int row = 0; row < rows && row < kScreenRows; ++row) {
        for (int column = 0; column < columns && column < kScreenColumns; ++column) {
            uint16_t cell = frame.cells[row * kScreenColumns + column];
            const ModelCell& shown = model.at(column, row);
            ASSERT_EQ(shown.glyph, kCp437CodePoints[cellCharacter(cell)]) << column << "," << row;
            ASSERT_EQ(shown.foreground, expectedColour(cellAttribute(cell) & 15, mode));
            ASSERT_EQ(shown.background, expectedColour(cellAttribute(cell) >> 4, mode));
        }
    }
}

CellFrame randomFrame(unsigned seed) {
    std::mt19937 random(seed);
    CellFrame frame;
    for (uint16_t& cell : frame.cells)
        cell = static_cast<uint16_t>(random());
    return frame;
}

TEST(Cp437, GlyphsMatchTheCodePage) {
    EXPECT_EQ(kCp437CodePoints[0], U' ');
    EXPECT_EQ(kCp437CodePoints[1], U'\u263A');
    EXPECT_EQ(kCp437CodePoints[65], U'A');
    EXPECT_EQ(kCp437CodePoints[127], U'\u2302');
    EXPECT_EQ(kCp437CodePoints[128], U'\u00C7');
    EXPECT_EQ(kCp437CodePoints[176], U'\u2591');
    EXPECT_EQ(kCp437CodePoints[177], U'\u2592');
    EXPECT_EQ(kCp437CodePoints[178], U'\u2593');
    EXPECT_EQ(kCp437CodePoints[219], U'\u2588');
    EXPECT_EQ(kCp437CodePoints[220], U'\u2584');
    EXPECT_EQ(kCp437CodePoints[224], U'\u03B1');
    EXPECT_EQ(kCp437CodePoints[254], U'\u25A0');
    EXPECT_EQ(kCp437CodePoints[255], U'\u00A0');
    // Every code but 0 (a blank like 32) has a glyph of its own.
    for (int a = 1; a < 256; ++a)
        for (int b = a + 1; b < 256; ++b)
            ASSERT_NE(kCp437CodePoints[a], kCp437CodePoints[b]);
}

TEST(Cp437, Utf8EncodingRoundTrips) {
    for (int c = 0; c < 256; ++c) {
        const Utf8Glyph& g = kCp437Utf8[c];
        TerminalModel model(1, 1);
        model.feed(std::string(g.bytes, g.length));
        EXPECT_EQ(model.at(0, 0).glyph, kCp437CodePoints[c]) << c;
    }
}

TEST(TerminalEncoder, ColourModeFollowsColorterm) {
    EXPECT_EQ(colourModeFor("truecolor"), ColourMode::TrueColour);
    EXPECT_EQ(colourModeFor("24bit"), ColourMode::TrueColour);
    EXPECT_EQ(colourModeFor(nullptr), ColourMode::Ansi16);
    EXPECT_EQ(colourModeFor(""), ColourMode::Ansi16);
    EXPECT_EQ(colourModeFor("yes"), ColourMode::Ansi16);
}

TEST(TerminalEncoder, TrueColoursAreThePaletteScaledToEightBits) {
    auto rgb = [](int c) {
        TerminalRgb v = terminalColour(c);
        return std::to_string(v.red) + "," + std::to_string(v.green) + "," + std::to_string(v.blue);
    };
    EXPECT_EQ(rgb(0), "0,0,0");
    EXPECT_EQ(rgb(1), "0,0,170");
    EXPECT_EQ(rgb(6), "170,85,0");
    EXPECT_EQ(rgb(7), "170,170,170");
    EXPECT_EQ(rgb(8), "85,85,85");
    EXPECT_EQ(rgb(9), "85,85,255");
    EXPECT_EQ(rgb(14), "255,255,85");
    EXPECT_EQ(rgb(15), "255,255,255");
}

TEST(TerminalEncoder, SixteenColoursSwapRedAndBlueBits) {
    CellFrame frame{};
    frame.cells[0] = makeCell('x', 0x9c);  // light red on light blue
    frame.cells[1] = makeCell('y', 0x41);  // blue on red
    frame.cells[2] = makeCell('z', 0x0e);  // yellow on black
    TerminalScreen screen;
    std::string out;
    encodeFrame(frame, screen, 80, 50, ColourMode::Ansi16, out);
    EXPECT_NE(out.find("\x1b[91;104mx"), std::string::npos);
    EXPECT_NE(out.find("\x1b[34;41my"), std::string::npos);
    EXPECT_NE(out.find("\x1b[93;40mz"), std::string::npos);
}

TEST(TerminalEncoder, AllZeroFrameShowsABlackScreen) {
    for (ColourMode mode : {ColourMode::Ansi16, ColourMode::TrueColour}) {
        CellFrame frame{};
        TerminalScreen screen;
        std::string out;
        encodeFrame(frame, screen, 80, 50, mode, out);
        ASSERT_EQ(out.rfind("\x1b[?2026h", 0), 0u);
        ASSERT_EQ(out.substr(out.size() - 8), "\x1b[?2026l");
        TerminalModel model(80, 50);
        model.feed(out);
        EXPECT_EQ(model.glyphsWritten(), kScreenCells);
        EXPECT_EQ(model.colourSequences(), 2);  // the reset before the clear, then black on black
        expectShows(model, frame, 80, 50, mode);
        EXPECT_FALSE(model.syncOpen());
    }
}

TEST(TerminalEncoder, EveryFrameReplaysExactlyInBothModes) {
    for (ColourMode mode : {ColourMode::Ansi16, ColourMode::TrueColour}) {
        TerminalScreen screen;
        TerminalModel model(80, 50);
        for (unsigned seed = 1; seed <= 5; ++seed) {
            CellFrame frame = randomFrame(seed);
            // Keep some cells from the frame before, so that skipped runs are exercised.
            for (int k = 0; k < kScreenCells; k += 3)
                frame.cells[k] = screen.shown[k];
            std::string out;
            encodeFrame(frame, screen, 80, 50, mode, out);
            model.feed(out);
            expectShows(model, frame, 80, 50, mode);
        }
    }
}

TEST(TerminalEncoder, OnlyChangedCellsAreWritten) {
    CellFrame frame = randomFrame(7);
    TerminalScreen screen;
    TerminalModel model(80, 50);
    std::string out;
    encodeFrame(frame, screen, 80, 50, ColourMode::TrueColour, out);
    model.feed(out);

    out.clear();
    encodeFrame(frame, screen, 80, 50, ColourMode::TrueColour, out);
    EXPECT_TRUE(out.empty()) << "an unchanged frame writes nothing";

    frame.cells[5 * 80 + 17] = makeCell(219, 0x1f);
    frame.cells[49 * 80 + 79] = makeCell('Z', 0x07);
    model.resetCounters();
    encodeFrame(frame, screen, 80, 50, ColourMode::TrueColour, out);
    model.feed(out);
    EXPECT_EQ(model.glyphsWritten(), 2);
    expectShows(model, frame, 80, 50, ColourMode::TrueColour);
}

TEST(TerminalEncoder, ColourSequencesOnlyWhereTheAttributeChanges) {
    CellFrame frame{};
    for (int k = 0; k < kScreenCells; ++k)
        frame.cells[k] = makeCell(static_cast<uint8_t>(k), 0x1f);
    for (int k = 2000; k < kScreenCells; ++k)
        frame.cells[k] = makeCell('#', 0x2f);
    TerminalScreen screen;
    std::string out;
    encodeFrame(frame, screen, 80, 50, ColourMode::TrueColour, out);
    TerminalModel model(80, 50);
    model.feed(out);
    EXPECT_EQ(model.colourSequences(), 3);  // the reset, then one per attribute run
    // Only the background changes at the second run: the foreground is not repeated.
    EXPECT_NE(out.find("\x1b[48;2;0;170;0m#"), std::string::npos);
}

TEST(TerminalEncoder, SmallTerminalShowsTheTopLeftPart) {
    CellFrame frame = randomFrame(11);
    TerminalScreen screen;
    TerminalModel model(33, 17);  // throws if anything lands outside 33 by 17
    std::string out;
    encodeFrame(frame, screen, 33, 17, ColourMode::Ansi16, out);
    model.feed(out);
    EXPECT_EQ(model.glyphsWritten(), 33 * 17);
    expectShows(model, frame, 33, 17, ColourMode::Ansi16);

    // A cell outside the visible part changes: nothing to write.
    frame.cells[20 * 80 + 50] ^= 0x0101;
    out.clear();
    encodeFrame(frame, screen, 33, 17, ColourMode::Ansi16, out);
    EXPECT_TRUE(out.empty());
}

TEST(TerminalEncoder, ResizeRedrawsEverythingAtTheNextFrame) {
    CellFrame frame = randomFrame(12);
    TerminalScreen screen;
    std::string out;
    encodeFrame(frame, screen, 40, 20, ColourMode::TrueColour, out);
    out.clear();
    encodeFrame(frame, screen, 100, 60, ColourMode::TrueColour, out);
    TerminalModel model(100, 60);
    model.feed(out);
    EXPECT_EQ(model.glyphsWritten(), kScreenCells);
    expectShows(model, frame, 80, 50, ColourMode::TrueColour);
    EXPECT_FALSE(model.at(85, 55).written);
}

TEST(TerminalEncoder, RestoreGivesTheTerminalBack) {
    std::string restore = kTerminalRestore;
    EXPECT_EQ(restore[0], '\x18') << "a sequence cut short by a signal is cancelled first";
    for (const char* part : {"\x1b[?2026l", "\x1b[0m", "\x1b[?25h", "\x1b[?7h", "\x1b[?1049l"})
        EXPECT_NE(restore.find(part), std::string::npos) << part + 1;
    // Colours are reset before leaving the alternate screen.
    EXPECT_LT(restore.find("\x1b[0m"), restore.find("\x1b[?1049l"));

    std::string enter = kTerminalEnter;
    for (const char* part : {"\x1b[?1049h", "\x1b[?25l", "\x1b[?7l"})
        EXPECT_NE(enter.find(part), std::string::npos) << part + 1;
}

TEST(TerminalEncoder, TitleSequenceDropsControlCharacters) {
    std::string out;
    appendTitleSequence("Kald\a mig\x1b bare", out);
    TerminalModel model(10, 1);
    model.feed(out);
    EXPECT_EQ(model.title(), "Kald mig bare");
}

}  // namespace
