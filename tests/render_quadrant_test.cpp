#include "render/quadrant_renderer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "data/assets.h"

namespace {

using Glyphs = std::vector<std::array<uint8_t, kGlyphHeight>>;

// The matching rules, transcribed as directly as possible: ink counted pixel by pixel, every
// index scanned against every code of the range, a code kept only if strictly nearer.
std::vector<uint16_t> referenceTable(const uint8_t (*glyphs)[kGlyphHeight], int flags) {
    const int first = (flags & 3) != 0 ? 32 : 0;
    const int last = (flags & 2) != 0 ? 126 : 255;
    std::vector<std::array<int, 4>> levels(256);
    for (int code = first; code <= last; ++code) {
        int count[4] = {};
        for (int row = 0; row < 12; ++row)
            for (int bit = 7; bit >= 0; --bit)
                if (glyphs[code][row] >> bit & 1) ++count[(row >= 6 ? 2 : 0) + (bit >= 4 ? 0 : 1)];
        for (int q = 0; q < 4; ++q)
            levels[code][q] = count[q] * 16 / 24;
    }
    std::vector<uint16_t> table(65536);
    for (int p = 0; p < 16; ++p)
        for (int q = 0; q < 16; ++q)
            for (int r = 0; r < 16; ++r)
                for (int s = 0; s < 16; ++s) {
                    int best = 1 << 30, bestCode = first;
                    for (int code = first; code <= last; ++code) {
                        const auto& l = levels[code];
                        const int distance = std::abs(l[0] - p) + std::abs(l[1] - q) +
                                             std::abs(l[2] - r) + std::abs(l[3] - s);
                        if (distance < best) {
                            best = distance;
                            bestCode = code;
                        }
                    }
                    table[p * 4096 + q * 256 + r * 16 + s] =
                        static_cast<uint16_t>(0x0700 | bestCode);
                }
    return table;
}

void expectSameTable(const uint16_t* table, const std::vector<uint16_t>& expected, int flags) {
    int mismatches = 0;
    for (int index = 0; index < 65536; ++index)
        if (table[index] != expected[index] && ++mismatches <= 10)
            ADD_FAILURE() << "flags " << flags << " index " << std::hex << index << ": "
                          << table[index] << " instead of " << expected[index];
    EXPECT_EQ(mismatches, 0) << "flags " << flags;
}

std::set<int> codesIn(const std::vector<uint16_t>& table) {
    std::set<int> codes;
    for (uint16_t cell : table)
        codes.insert(cell & 0xff);
    return codes;
}

const uint8_t (*glyphsOf(const Glyphs& font))[kGlyphHeight] {
    return reinterpret_cast<const uint8_t(*)[kGlyphHeight]>(font.data());
}

std::vector<uint16_t> tableOf(const Glyphs& font, int flags) {
    std::vector<uint16_t> table(65536);
    fillQuadrantTable(glyphsOf(font), flags, table.data());
    return table;
}

// Quadrant masks: top-left is bits 7-4 of rows 0-5, and so on.
void ink(std::array<uint8_t, kGlyphHeight>& glyph, bool top, bool left) {
    for (int row = top ? 0 : 6; row < (top ? 6 : 12); ++row)
        glyph[row] |= left ? 0xf0 : 0x0f;
}

TEST(QuadrantTable, EqualsTheRulesForTheFontInEveryRange) {
    for (int flags : {0xffff, 0, 1}) {
        QuadrantRenderer renderer;
        renderer.buildTable(flags);
        expectSameTable(renderer.table(), referenceTable(GlyphFont, flags), flags);
    }
}

TEST(QuadrantTable, EqualsTheRulesForARandomFont) {
    // Sparse random glyphs give many equal distances, so the order of the codes matters.
    std::mt19937 random(3);
    Glyphs font(256);
    for (auto& glyph : font)
        for (uint8_t& row : glyph)
            row = static_cast<uint8_t>(random() & random() & random());
    for (int flags : {0, 1, 2})
        expectSameTable(tableOf(font, flags).data(), referenceTable(glyphsOf(font), flags), flags);
}

TEST(QuadrantTable, FlagsChooseTheCharacterRange) {
    // Blank glyphs everywhere except: 0 top-left, 31 and 255 full, 32 top-right, 126
    // bottom-left, 127 bottom-right.
    Glyphs font(256);
    ink(font[0], true, true);
    for (int code : {31, 255})
        for (uint8_t& row : font[code])
            row = 0xff;
    ink(font[32], true, false);
    ink(font[126], false, true);
    ink(font[127], false, false);

    EXPECT_EQ(codesIn(tableOf(font, 0)), (std::set<int>{0, 1, 31, 32, 126, 127}));
    EXPECT_EQ(codesIn(tableOf(font, 1)), (std::set<int>{32, 33, 126, 127, 255}));
    for (int flags : {2, 3, 0xffff, -1})
        EXPECT_EQ(codesIn(tableOf(font, flags)), (std::set<int>{32, 33, 126})) << flags;
    EXPECT_EQ(tableOf(font, 4), tableOf(font, 0)) << "only bits 0 and 1 count";
}

TEST(QuadrantTable, LowerCodeWinsOnEqualDistance) {
    // Codes 40 and 50 are half inked in different quadrants; all other glyphs are full and far.
    Glyphs font(256);
    for (auto& glyph : font)
        glyph.fill(0xff);
    for (int swap = 0; swap < 2; ++swap) {
        font[40].fill(0);
        font[50].fill(0);
        // 12 pixels, level 8: rows 0-2 of the top-left or top-right quadrant.
        for (int row = 0; row < 3; ++row) {
            font[swap ? 50 : 40][row] = 0xf0;
            font[swap ? 40 : 50][row] = 0x0f;
        }
        const std::vector<uint16_t> table = tableOf(font, 0);
        EXPECT_EQ(table[0x4400], 0x0700 | 40) << "distance 8 from both";
        EXPECT_EQ(table[0x8000], 0x0700 | (swap ? 50 : 40));
        EXPECT_EQ(table[0x0800], 0x0700 | (swap ? 40 : 50));
    }
}

TEST(QuadrantTable, InkLevelsAreTruncatedAndPlacedByQuadrant) {
    Glyphs font(256);
    font[33][0] = 0x80;  // 1 pixel top-left: level 0 (rounding would give 1)
    font[34][0] = 0xc0;  // 2 pixels: level 1
    for (int row = 6; row < 12; ++row)
        font[35][row] = 0x0f;  // bottom-right full: 16
    // Top-right: 23 pixels in 36 (level 15) and 22 in 37 (level 14; rounding would give 15
    // and make 36 win the index of level 14 as the lower code at distance 1).
    for (int row = 0; row < 6; ++row) {
        font[36][row] = row < 5 ? 0x0f : 0x07;
        font[37][row] = row < 4 ? 0x0f : 0x07;
    }
    const std::vector<uint16_t> table = tableOf(font, 0xffff);
    EXPECT_EQ(table[0x1000] & 0xff, 34);
    EXPECT_EQ(table[0x0000] & 0xff, 32);
    EXPECT_EQ(table[0x000f] & 0xff, 35) << "level 16 is at distance 1 from level 15";
    EXPECT_EQ(table[0x0e00] & 0xff, 37);
    EXPECT_EQ(table[0x0f00] & 0xff, 36);
}

class QuadrantRendererTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        renderer = new QuadrantRenderer();
        renderer->buildTable(0xffff);
    }
    static void TearDownTestSuite() { delete renderer; }
    static QuadrantRenderer* renderer;
};

QuadrantRenderer* QuadrantRendererTest::renderer = nullptr;

TEST_F(QuadrantRendererTest, DemoTableHoldsPrintableCharactersInLightGrey) {
    for (int index = 0; index < kQuadrantTableSize; ++index) {
        const uint16_t cell = renderer->table()[index];
        ASSERT_EQ(cell >> 8, 7) << index;
        ASSERT_GE(cell & 0xff, 32) << index;
        ASSERT_LE(cell & 0xff, 126) << index;
    }
    EXPECT_EQ(renderer->table()[0], 0x0720) << "four levels 0 give the space";
}

TEST_F(QuadrantRendererTest, CellForColourUsesGreenAlone) {
    for (int g = 0; g < 256; ++g) {
        const uint16_t expected = renderer->table()[(g >> 4) * 0x1111];
        EXPECT_EQ(renderer->cellForColour(0, g, 0), expected) << g;
        EXPECT_EQ(renderer->cellForColour(255, g, 255), expected) << g;
    }
    EXPECT_EQ(renderer->cellForColour(0, 200, 0), renderer->cellForColour(255, 200, 255));
    EXPECT_EQ(renderer->cellForColour(0, 0x0f, 0), 0x0720);
    // Out of range, only the low 8 bits count and the table is never overrun.
    EXPECT_EQ(renderer->cellForColour(0, 0x1f0, 0), renderer->cellForColour(0, 0xf0, 0));
    EXPECT_EQ(renderer->cellForColour(0, -1, 0), renderer->cellForColour(0, 0xff, 0));
}

TEST_F(QuadrantRendererTest, ConversionsBuildTheIndexFromGreenLevels) {
    std::mt19937 random(5);
    std::vector<uint32_t> pixels(160 * 100);
    for (uint32_t& p : pixels)
        p = random();  // top byte set too: it must not matter
    const uint16_t* table = renderer->table();
    auto green = [&](int x, int y) { return pixels[y * 160 + x] >> 8 & 0xff; };
    auto subBlock = [&](int x, int y) {
        return (green(x, y) + green(x + 1, y) + green(x, y + 1) + green(x + 1, y + 1)) >> 6;
    };

    CellFrame cells{};
    renderer->render1x1(pixels.data(), SourceRect{0, 0, 80, 50}, 160, 0, 0, cells);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 80; ++x)
            ASSERT_EQ(cells.cells[y * 80 + x], table[(green(x, y) >> 4) * 0x1111]) << x << "," << y;

    renderer->render2x2(pixels.data(), SourceRect{0, 0, 160, 100}, 160, 0, 0, cells);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 80; ++x) {
            const int px = 2 * x, py = 2 * y;
            const uint32_t index = (green(px, py) >> 4) << 12 | (green(px + 1, py) >> 4) << 8 |
                                   (green(px, py + 1) >> 4) << 4 | green(px + 1, py + 1) >> 4;
            ASSERT_EQ(cells.cells[y * 80 + x], table[index]) << x << "," << y;
        }

    renderer->render4x4(pixels.data(), SourceRect{0, 0, 160, 100}, 160, 0, 0, cells);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 40; ++x) {
            const int px = 4 * x, py = 4 * y;
            const uint32_t index = subBlock(px, py) << 12 | subBlock(px + 2, py) << 8 |
                                   subBlock(px, py + 2) << 4 | subBlock(px + 2, py + 2);
            ASSERT_EQ(cells.cells[y * 80 + x], table[index]) << x << "," << y;
        }
}

TEST_F(QuadrantRendererTest, BrightestGreensGiveLevelFifteen) {
    const uint32_t pixels[2] = {0xf000, 0xff00};
    CellFrame cells{};
    renderer->render1x1(pixels, SourceRect{0, 0, 2, 1}, 2, 0, 0, cells);
    EXPECT_EQ(cells.cells[0], renderer->table()[0xffff]);
    EXPECT_EQ(cells.cells[1], renderer->table()[0xffff]);
}

TEST_F(QuadrantRendererTest, FourByFourLevelIsTheHighNibbleOfTheAverage) {
    // Greens 63, 63, 63, 67 sum to 256: level 4 (average 64). Averaging levels would give 3.
    uint32_t block[16] = {};
    const uint32_t greens[4] = {63, 63, 63, 67};
    for (int i = 0; i < 4; ++i)
        block[(i / 2) * 4 + i % 2] = greens[i] << 8;
    CellFrame cells{};
    renderer->render4x4(block, SourceRect{0, 0, 4, 4}, 4, 0, 0, cells);
    EXPECT_EQ(cells.cells[0], renderer->table()[0x4000]);
    ASSERT_NE(renderer->table()[0x4000], renderer->table()[0x3000]) << "the case needs two cells";
}

}  // namespace
