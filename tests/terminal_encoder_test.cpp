#include "terminal/terminal_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "terminal/cp437.h"
#include "terminal_model.h"

namespace {

// The console colour that a 16-colour SGR index names (ANSI bit 0 is red, console bit 0 blue).
int consoleFromAnsi(int ansi) {
    return (ansi & 8) | (ansi & 1) << 2 | (ansi & 2) | (ansi & 4) >> 2;
}

// The colour of entry 16..255 of the 256-colour palette, as terminals define it: a 6 by 6 by 6
// cube (red slowest) of the levels 0, 95, 135, ..., 255, then 24 greys from 8 in steps of 10.
ConsoleRgb referencePaletteRgb(int index) {
    auto level = [](int step) { return static_cast<uint8_t>(step == 0 ? 0 : 55 + 40 * step); };
    if (index >= 232) {
        const auto grey = static_cast<uint8_t>(8 + 10 * (index - 232));
        return {grey, grey, grey};
    }
    return {level((index - 16) / 36), level((index - 16) / 6 % 6), level((index - 16) % 6)};
}

// The nearest of the palette's entries 16..255, by trying them all.
int referenceNearestEntry(ConsoleRgb rgb) {
    int best = 0, bestDistance = 1 << 30;
    for (int index = 16; index < 256; ++index) {
        const ConsoleRgb c = referencePaletteRgb(index);
        const int dr = c.red - rgb.red, dg = c.green - rgb.green, db = c.blue - rgb.blue;
        if (dr * dr + dg * dg + db * db < bestDistance) {
            bestDistance = dr * dr + dg * dg + db * db;
            best = index;
        }
    }
    return best;
}

ModelColour paletteColour(int index) {
    return ModelColour{-1, -1, -1, -1, index};
}

constexpr ColourMode kEveryMode[] = {ColourMode::Ansi16, ColourMode::Ansi256,
                                     ColourMode::TrueColour};

ModelColour expectedColour(int colour, ColourMode mode) {
    if (mode == ColourMode::Ansi256)
        return paletteColour(referenceNearestEntry(consoleColourRgb(colour)));
    if (mode == ColourMode::Ansi16) {
        for (int ansi = 0; ansi < 16; ++ansi)
            if (consoleFromAnsi(ansi) == colour) return ModelColour{ansi};
    }
    ConsoleRgb rgb = consoleColourRgb(colour);
    return ModelColour{-1, rgb.red, rgb.green, rgb.blue};
}

// The model shows every cell of the frame in its glyph and colours, with the frame's top-left
// corner at column left and row top.
void expectShows(const TerminalModel& model, const CellFrame& frame, ColourMode mode, int left = 0,
                 int top = 0) {
    for (int row = 0; row < kScreenRows; ++row) {
        for (int column = 0; column < kScreenColumns; ++column) {
            uint16_t cell = frame.cells[row * kScreenColumns + column];
            const ModelCell& shown = model.at(left + column, top + row);
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

TEST(TerminalEncoder, ColourModeFollowsColortermThenTheColourCount) {
    EXPECT_EQ(colourModeFor("truecolor"), ColourMode::TrueColour);
    EXPECT_EQ(colourModeFor("24bit", 8), ColourMode::TrueColour);
    EXPECT_EQ(colourModeFor("truecolor", 256), ColourMode::TrueColour);
    EXPECT_EQ(colourModeFor(nullptr), ColourMode::Ansi16);
    EXPECT_EQ(colourModeFor(""), ColourMode::Ansi16);
    EXPECT_EQ(colourModeFor("yes"), ColourMode::Ansi16);
    EXPECT_EQ(colourModeFor(nullptr, 256), ColourMode::Ansi256);
    EXPECT_EQ(colourModeFor("yes", 1 << 24), ColourMode::Ansi256);
    EXPECT_EQ(colourModeFor(nullptr, 88), ColourMode::Ansi16);
    EXPECT_EQ(colourModeFor(nullptr, 8), ColourMode::Ansi16);
}

TEST(TerminalColours256, EachConsoleColourIsItsNearestCubeOrGreyEntryWithinTen) {
    for (int colour = 0; colour < 16; ++colour) {
        CellFrame frame{};
        frame.cells[0] = makeCell('x', static_cast<uint8_t>(colour | (15 - colour) << 4));
        TerminalScreen screen;
        std::string out;
        encodeFrame(frame, screen, 80, 50, ColourMode::Ansi256, out);
        TerminalModel model(80, 50);
        model.feed(out);
        const int entry = model.at(0, 0).foreground.indexed;
        ASSERT_EQ(entry, referenceNearestEntry(consoleColourRgb(colour))) << colour;
        EXPECT_EQ(model.at(0, 0).background.indexed,
                  referenceNearestEntry(consoleColourRgb(15 - colour)));
        const ConsoleRgb want = consoleColourRgb(colour), got = referencePaletteRgb(entry);
        EXPECT_LE(std::abs(got.red - want.red), 10) << colour;
        EXPECT_LE(std::abs(got.green - want.green), 10) << colour;
        EXPECT_LE(std::abs(got.blue - want.blue), 10) << colour;
    }
    // Any colour, as picture mode mixes them.
    for (int red = 0; red < 256; red += 7)
        for (int green = 0; green < 256; green += 11)
            for (int blue = 0; blue < 256; blue += 5) {
                const ConsoleRgb rgb{static_cast<uint8_t>(red), static_cast<uint8_t>(green),
                                     static_cast<uint8_t>(blue)};
                ASSERT_EQ(nearestPaletteEntry(rgb), referenceNearestEntry(rgb))
                    << red << "," << green << "," << blue;
            }
}

TEST(TerminalEncoder, TrueColoursAreThePaletteScaledToEightBits) {
    auto rgb = [](int c) {
        ConsoleRgb v = consoleColourRgb(c);
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
    for (ColourMode mode : kEveryMode) {
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
        expectShows(model, frame, mode);
        EXPECT_FALSE(model.syncOpen());
    }
}

TEST(TerminalEncoder, EveryFrameReplaysExactlyInEveryMode) {
    for (ColourMode mode : kEveryMode) {
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
            expectShows(model, frame, mode);
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
    expectShows(model, frame, ColourMode::TrueColour);
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

// The colours of the upper and lower half of a terminal character, whichever of the blocks
// or the blank shows them.
std::pair<ModelColour, ModelColour> halves(const TerminalModel& model, int column, int row) {
    const ModelCell& cell = model.at(column, row);
    switch (cell.glyph) {
        case U'\u2580':
            return {cell.foreground, cell.background};
        case U'\u2584':
            return {cell.background, cell.foreground};
        case U'\u2588':
            return {cell.foreground, cell.foreground};
        case U' ':
            return {cell.background, cell.background};
        default:
            ADD_FAILURE() << "not a block at " << column << "," << row;
            return {};
    }
}

ModelColour pictureColour(ConsoleRgb rgb, ColourMode mode) {
    if (mode == ColourMode::Ansi16) return expectedColour(nearestConsoleColour(rgb), mode);
    if (mode == ColourMode::Ansi256) return paletteColour(referenceNearestEntry(rgb));
    return ModelColour{-1, rgb.red, rgb.green, rgb.blue};
}

// A frame from a few large areas of one cell each, for the blanks and full blocks of
// equal halves, and random cells elsewhere.
CellFrame patchyFrame(unsigned seed) {
    CellFrame frame = randomFrame(seed);
    for (int k = 0; k < kScreenCells; ++k)
        if (k / kScreenColumns < 20) frame.cells[k] = makeCell(219, static_cast<uint8_t>(k / 400));
    return frame;
}

TEST(TerminalPicture, CellColourIsTheGlyphsInkShareOfForegroundOverBackgroundOrTheNearest) {
    auto rgb = [](uint16_t cell) {
        ConsoleRgb v = averageCellColour(cell);
        return std::to_string(v.red) + "," + std::to_string(v.green) + "," + std::to_string(v.blue);
    };
    // Half of 177 is ink: white (255,255,255) half over blue (0,0,170).
    EXPECT_EQ(rgb(makeCell(177, 0x1f)), "128,128,213");
    // 176 and 178: a quarter and three quarters of green (0,170,0) over black.
    EXPECT_EQ(rgb(makeCell(176, 0x02)), "0,43,0");
    EXPECT_EQ(rgb(makeCell(178, 0x02)), "0,128,0");
    // A blank shows its background, 219 its foreground, whatever the other colour.
    EXPECT_EQ(rgb(makeCell(' ', 0x4e)), "170,0,0");
    EXPECT_EQ(rgb(makeCell(0, 0x4e)), "170,0,0");
    EXPECT_EQ(rgb(makeCell(219, 0x4e)), "255,255,85");
    // 38 of the 96 pixels of the font's 'A' are ink: light grey on black as the quadrant
    // renderer draws it, 170 * 38 / 96.
    EXPECT_EQ(rgb(makeCell('A', 0x07)), "67,67,67");

    // In 16 colours, the nearest console colour.
    for (int colour = 0; colour < 16; ++colour)
        EXPECT_EQ(nearestConsoleColour(consoleColourRgb(colour)), colour);
    // 177 white on blue: light grey (170,170,170) is nearer than light blue (85,85,255).
    EXPECT_EQ(nearestConsoleColour(averageCellColour(makeCell(177, 0x1f))), 7);
    EXPECT_EQ(nearestConsoleColour(ConsoleRgb{200, 20, 30}), 4);
}

TEST(TerminalPicture, LayoutFitsTheWholeFrameAndCentresIt) {
    auto layout = [](int columns, int rows) {
        TerminalLayout l = layoutFor(columns, rows);
        return std::string(l.presentation == Presentation::Glyphs ? "glyphs " : "picture ") +
               std::to_string(l.width) + "x" + std::to_string(l.height) + " at " +
               std::to_string(l.left) + "," + std::to_string(l.top);
    };
    EXPECT_EQ(layout(80, 50), "glyphs 80x50 at 0,0");
    EXPECT_EQ(layout(80, 49), "picture 80x50 at 0,12");
    EXPECT_EQ(layout(120, 25), "picture 80x50 at 20,0");
    // 80 by 24: 48 half rows, and 48 * 80 / 50 = 76.8 columns.
    EXPECT_EQ(layout(80, 24), "picture 77x48 at 1,0");
    EXPECT_EQ(layout(40, 40), "picture 40x26 at 0,13");
}

TEST(TerminalPicture, At80By25EveryCellIsOneHalfOfACharacter) {
    for (ColourMode mode : kEveryMode) {
        TerminalScreen screen;
        TerminalModel model(80, 25);
        for (unsigned seed = 1; seed <= 3; ++seed) {
            CellFrame frame = patchyFrame(seed);
            std::string out;
            encodeFrame(frame, screen, 80, 25, mode, out);
            model.feed(out);
            for (int row = 0; row < 25; ++row)
                for (int column = 0; column < 80; ++column) {
                    const uint16_t* upper = frame.cells + 2 * row * 80 + column;
                    ASSERT_EQ(halves(model, column, row),
                              std::make_pair(pictureColour(averageCellColour(upper[0]), mode),
                                             pictureColour(averageCellColour(upper[80]), mode)))
                        << column << "," << row;
                }
        }
    }
}

TEST(TerminalPicture, ASmallerTerminalShowsTheAreaAverageOfTheWholeFrame) {
    CellFrame frame = patchyFrame(4);
    TerminalScreen screen;
    TerminalModel model(40, 20);  // throws if anything lands outside
    std::string out;
    encodeFrame(frame, screen, 40, 20, ColourMode::TrueColour, out);
    model.feed(out);
    // 40 by 26 pixels at row 3: each pixel covers 2 by 50/26 cells, averaged here in
    // floating point.
    const double cellsDown = 50.0 / 26;
    for (int y = 0; y < 26; ++y)
        for (int x = 0; x < 40; ++x) {
            double sum[3] = {0, 0, 0};
            for (int row = 0; row < 50; ++row) {
                double cover =
                    std::min(row + 1.0, (y + 1) * cellsDown) - std::max(1.0 * row, y * cellsDown);
                if (cover <= 0) continue;
                for (int column = 2 * x; column < 2 * x + 2; ++column) {
                    ConsoleRgb c = averageCellColour(frame.cells[row * 80 + column]);
                    sum[0] += cover * c.red;
                    sum[1] += cover * c.green;
                    sum[2] += cover * c.blue;
                }
            }
            auto [upper, lower] = halves(model, x, 3 + y / 2);
            const ModelColour& shown = y % 2 ? lower : upper;
            const double area = 2 * cellsDown;
            EXPECT_NEAR(shown.red, sum[0] / area, 1.0) << x << "," << y;
            EXPECT_NEAR(shown.green, sum[1] / area, 1.0) << x << "," << y;
            EXPECT_NEAR(shown.blue, sum[2] / area, 1.0) << x << "," << y;
        }
    EXPECT_FALSE(model.at(0, 2).written);
    EXPECT_FALSE(model.at(0, 16).written);
}

TEST(TerminalPicture, NoSizeWritesOutsideTheTerminalOrUsesAPaletteEntryBelowSixteen) {
    CellFrame frame = randomFrame(5);
    for (ColourMode mode : {ColourMode::Ansi16, ColourMode::Ansi256})
        for (int columns = 1; columns <= 100; columns += 3)
            for (int rows = 1; rows <= 60; rows += 2) {
                TerminalScreen screen;
                TerminalModel model(columns, rows);
                std::string out;
                encodeFrame(frame, screen, columns, rows, mode, out);
                ASSERT_NO_THROW(model.feed(out)) << columns << "x" << rows;
                if (mode != ColourMode::Ansi256) continue;
                // Entries 0-15 and the 16 standard colours are the terminal theme's.
                for (int k = 0; k < columns * rows; ++k)
                    for (const ModelColour& c : {model.at(k % columns, k / columns).foreground,
                                                 model.at(k % columns, k / columns).background})
                        ASSERT_TRUE(c.ansi < 0 && (c.indexed < 0 || c.indexed >= 16))
                            << k << " of " << columns << "x" << rows;
            }
}

TEST(TerminalPicture, OnlyChangedCharactersAndColoursAreWritten) {
    CellFrame frame{};
    for (uint16_t& cell : frame.cells)
        cell = makeCell(177, 0x1f);
    TerminalScreen screen;
    TerminalModel model(80, 24);
    std::string out;
    encodeFrame(frame, screen, 80, 24, ColourMode::TrueColour, out);
    model.feed(out);
    EXPECT_EQ(model.glyphsWritten(), 77 * 24);
    EXPECT_EQ(model.colourSequences(), 2) << "the reset, then the one colour of the picture";

    out.clear();
    encodeFrame(frame, screen, 80, 24, ColourMode::TrueColour, out);
    EXPECT_TRUE(out.empty()) << "an unchanged frame writes nothing";

    // One cell in the top-left corner changes: one character, with one colour sequence.
    frame.cells[0] = makeCell(219, 0x0c);
    model.resetCounters();
    encodeFrame(frame, screen, 80, 24, ColourMode::TrueColour, out);
    model.feed(out);
    EXPECT_EQ(model.glyphsWritten(), 1);
    EXPECT_EQ(model.colourSequences(), 1);
}

TEST(TerminalEncoder, ResizeRedrawsEverythingOnceAndCentresTheGlyphs) {
    CellFrame frame = randomFrame(12);
    TerminalScreen screen;
    std::string out;
    encodeFrame(frame, screen, 40, 20, ColourMode::TrueColour, out);
    // From a picture to glyphs: every cell, centred in 100 by 60.
    out.clear();
    encodeFrame(frame, screen, 100, 60, ColourMode::TrueColour, out);
    TerminalModel large(100, 60);
    large.feed(out);
    EXPECT_EQ(large.glyphsWritten(), kScreenCells);
    expectShows(large, frame, ColourMode::TrueColour, 10, 5);
    EXPECT_FALSE(large.at(9, 5).written);
    EXPECT_FALSE(large.at(90, 5).written);
    EXPECT_FALSE(large.at(10, 4).written);
    EXPECT_FALSE(large.at(10, 55).written);
    // From glyphs to a picture: every character once, then nothing while nothing changes.
    out.clear();
    encodeFrame(frame, screen, 80, 24, ColourMode::TrueColour, out);
    TerminalModel small(80, 24);
    small.feed(out);
    EXPECT_EQ(small.glyphsWritten(), 77 * 24);
    out.clear();
    encodeFrame(frame, screen, 80, 24, ColourMode::TrueColour, out);
    EXPECT_TRUE(out.empty());
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

// A text frame is drawn cell for cell at any size: replayed on a model terminal it shows every
// cell, through changes and a resize; on a terminal smaller than the frame it shows the
// top-left part, with nothing written past the edges (the model refuses such a write).
TEST(TerminalText, AnySizeReplaysCellForCellAndIsCutAtTheTerminalsEdges) {
    static TextFrame frame;
    static TextScreen screen;
    const int sizes[][2] = {{132, 43}, {200, 60}, {80, 25}, {13, 3}};
    for (ColourMode mode : kEveryMode) {
        screen.known = false;
        for (const auto& size : sizes) {
            const int columns = size[0], rows = size[1];
            TerminalModel model(columns, rows);
            std::mt19937 random(static_cast<unsigned>(columns * rows));
            frame.columns = columns;
            frame.rows = rows;
            for (int pass = 0; pass < 3; ++pass) {
                for (int k = 0; k < columns * rows; ++k)
                    if (pass == 0 || k % 3 == 0) frame.cells[k] = static_cast<uint16_t>(random());
                std::string out;
                encodeTextFrame(frame, screen, columns, rows, mode, out);
                model.feed(out);
                for (int k = 0; k < columns * rows; ++k) {
                    const ModelCell& shown = model.at(k % columns, k / columns);
                    ASSERT_EQ(shown.glyph, kCp437CodePoints[cellCharacter(frame.cells[k])]) << k;
                    ASSERT_EQ(shown.foreground,
                              expectedColour(cellAttribute(frame.cells[k]) & 15, mode));
                    ASSERT_EQ(shown.background,
                              expectedColour(cellAttribute(frame.cells[k]) >> 4, mode));
                }
            }
            std::string out;
            encodeTextFrame(frame, screen, columns, rows, mode, out);
            EXPECT_TRUE(out.empty()) << "an unchanged frame writes nothing";
        }
    }
    // A frame larger than the terminal: its top-left part, nothing beyond.
    frame.columns = 120;
    frame.rows = 40;
    for (int k = 0; k < 120 * 40; ++k)
        frame.cells[k] = makeCell(static_cast<uint8_t>('A' + k % 26), 0x07);
    TerminalModel small(80, 25);
    std::string out;
    encodeTextFrame(frame, screen, 80, 25, ColourMode::Ansi16, out);
    small.feed(out);
    EXPECT_EQ(small.glyphsWritten(), 80 * 25);
    EXPECT_EQ(small.at(79, 24).glyph, static_cast<char32_t>('A' + (24 * 120 + 79) % 26));
}
