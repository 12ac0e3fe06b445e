#include "render/shade_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "data/console_palette.h"
#include "fx/frames.h"

namespace {

// The matching rules, transcribed as directly as possible: the solid pass, then the 48
// blends of d in order, each replacing the answer only when strictly nearer.
uint16_t referenceCell(int r, int g, int b) {
    auto distance = [&](int red, int green, int blue) {
        return (red - r) * (red - r) + (green - g) * (green - g) + (blue - b) * (blue - b);
    };
    auto word = [](int foreground, int background, int character) {
        return static_cast<uint16_t>((foreground + 16 * background) * 256 + character);
    };
    int d = 0;
    int best = distance(ConsolePalette[0].red, ConsolePalette[0].green, ConsolePalette[0].blue);
    for (int i = 1; i < 16; ++i) {
        const PaletteColour& c = ConsolePalette[i];
        if (distance(c.red, c.green, c.blue) < best) {
            best = distance(c.red, c.green, c.blue);
            d = i;
        }
    }
    uint16_t cell = word(d, 0, 219);
    const PaletteColour& cd = ConsolePalette[d];
    for (int j = 0; j < 16; ++j) {
        const PaletteColour& cj = ConsolePalette[j];
        int e = distance((cd.red + cj.red) / 2, (cd.green + cj.green) / 2, (cd.blue + cj.blue) / 2);
        if (e < best) {
            best = e;
            cell = j > d ? word(j, d, 177) : word(d, j, 177);
        }
        e = distance(3 * cj.red / 4 + cd.red / 4, 3 * cj.green / 4 + cd.green / 4,
                     3 * cj.blue / 4 + cd.blue / 4);
        if (e < best) {
            best = e;
            cell = j > d ? word(j, d, 178) : word(d, j, 176);
        }
        e = distance(cj.red / 4 + 3 * cd.red / 4, cj.green / 4 + 3 * cd.green / 4,
                     cj.blue / 4 + 3 * cd.blue / 4);
        if (e < best) {
            best = e;
            cell = j >= d ? word(j, d, 176) : word(d, j, 178);
        }
    }
    return cell;
}

class ShadeRendererTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        renderer = new ShadeRenderer();
        renderer->buildTable(0xffff);
    }
    static void TearDownTestSuite() { delete renderer; }

    static uint16_t entry(uint32_t red6, uint32_t green6, uint32_t blue6) {
        return renderer->table()[red6 * 4096 + green6 * 64 + blue6];
    }

    static ShadeRenderer* renderer;
};

ShadeRenderer* ShadeRendererTest::renderer = nullptr;

TEST_F(ShadeRendererTest, NamedColoursGiveTheirCells) {
    struct Case {
        int r, g, b;
        uint16_t cell;
    };
    const Case cases[] = {
        {0, 0, 0, 0x00DB},    {63, 63, 63, 0x0FDB},
        {42, 42, 42, 0x07DB}, {21, 21, 21, 0x36B1},  // brown's best blend is with cyan, not a grey
        {40, 20, 0, 0x66B0},                         // brown with itself truncates to (41, 20, 0)
        {63, 0, 0, 0x4CB1},   {10, 10, 10, 0x07B0},
        {32, 32, 32, 0x07B2}, {3, 3, 3, 0x00DB},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(renderer->cellForColour(c.r, c.g, c.b), c.cell)
            << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(entry(c.r, c.g, c.b), c.cell) << c.r << "," << c.g << "," << c.b;
    }
}

TEST_F(ShadeRendererTest, ColoursFarOutsideTheCubeAreMatchedWithoutOverflow) {
    // The squared distances exceed 32 bits here (the sanitizer build checks for overflow).
    EXPECT_EQ(renderer->cellForColour(INT32_MIN, INT32_MIN, INT32_MIN), 0x00DB);
    // A huge red alone is nearest to red: light red's green and blue cost more than its red
    // gains.
    EXPECT_EQ(renderer->cellForColour(INT32_MAX, INT32_MIN, INT32_MIN), 0x04DB);
}

TEST_F(ShadeRendererTest, TableMatchesTheRulesForEveryColour) {
    int mismatches = 0;
    for (int r = 0; r < 64; ++r)
        for (int g = 0; g < 64; ++g)
            for (int b = 0; b < 64; ++b) {
                const uint16_t expected = referenceCell(r, g, b);
                if (entry(r, g, b) != expected && ++mismatches <= 10)
                    ADD_FAILURE() << "table at " << r << "," << g << "," << b << ": " << std::hex
                                  << entry(r, g, b) << " instead of " << expected;
                if (renderer->cellForColour(r, g, b) != expected && ++mismatches <= 10)
                    ADD_FAILURE() << "cellForColour(" << r << "," << g << "," << b << ")";
            }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(ShadeRendererTest, TableHoldsOnlyShadesAndBlocksWithoutDarkGrey) {
    bool seen[256] = {};
    for (int index = 0; index < kShadeTableSize; ++index) {
        const uint16_t cell = renderer->table()[index];
        const int character = cell & 0xff, foreground = cell >> 8 & 15, background = cell >> 12;
        ASSERT_TRUE(character == 176 || character == 177 || character == 178 || character == 219)
            << index;
        ASSERT_NE(foreground, 8) << index;
        ASSERT_NE(background, 8) << index;
        seen[character] = true;
    }
    EXPECT_TRUE(seen[176] && seen[177] && seen[178] && seen[219]);
}

TEST_F(ShadeRendererTest, RebuildingGivesTheSameTable) {
    ShadeRenderer other;
    EXPECT_EQ(other.table(), nullptr);
    other.buildTable(0);
    other.buildTable(1);  // flags are ignored; the first table is released
    ASSERT_NE(other.table(), nullptr);
    EXPECT_TRUE(std::equal(other.table(), other.table() + kShadeTableSize, renderer->table()));
}

TEST_F(ShadeRendererTest, BlockAveragesArePerChannelAndTruncated) {
    std::mt19937 random(7);
    std::vector<uint32_t> pixels(160 * 100);
    for (uint32_t& p : pixels)
        p = random() & 0xffffff;
    // Extremes in some blocks: all channels 255 (largest sums) and mixtures of 0 and 255.
    for (int i = 0; i < 16; ++i)
        pixels[(i / 4) * 160 + i % 4] = 0xffffff;
    for (int i = 0; i < 16; ++i)
        pixels[(i / 4) * 160 + 4 + i % 4] = i % 3 ? 0xff00ff : 0x00ff00;

    for (int k : {1, 2, 4}) {
        CellFrame cells{};
        const SourceRect rect{0, 0, 160, 100};
        if (k == 1) renderer->render1x1(pixels.data(), SourceRect{0, 0, 80, 50}, 160, 0, 0, cells);
        if (k == 2) renderer->render2x2(pixels.data(), rect, 160, 0, 0, cells);
        if (k == 4) renderer->render4x4(pixels.data(), rect, 160, 0, 0, cells);
        const int columns = k == 1 ? 80 : 160 / k, rows = k == 1 ? 50 : 100 / k;
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                uint32_t red = 0, green = 0, blue = 0;
                for (int dy = 0; dy < k; ++dy)
                    for (int dx = 0; dx < k; ++dx) {
                        const uint32_t p = pixels[(row * k + dy) * 160 + column * k + dx];
                        red += p & 0xff;
                        green += p >> 8 & 0xff;
                        blue += p >> 16 & 0xff;
                    }
                const uint32_t n = k * k;
                ASSERT_EQ(cells.cells[row * 80 + column],
                          entry(red / n >> 2, green / n >> 2, blue / n >> 2))
                    << "k " << k << " cell " << column << "," << row;
            }
    }
    // The all-white 4 by 4 block: no field carries into the next.
    CellFrame cells{};
    renderer->render4x4(pixels.data(), SourceRect{0, 0, 4, 4}, 160, 0, 0, cells);
    EXPECT_EQ(cells.cells[0], 0x0FDB);
}

TEST_F(ShadeRendererTest, AverageIsTakenBeforeDroppingToSixBits) {
    // Reds 0, 255, 255, 255 average to 191, red6 47.
    const uint32_t block[4] = {0, 255, 255, 255};
    CellFrame cells{};
    renderer->render2x2(block, SourceRect{0, 0, 2, 2}, 2, 0, 0, cells);
    EXPECT_EQ(cells.cells[0], entry(47, 0, 0));
    EXPECT_EQ(entry(47, 0, 0), renderer->cellForColour(47, 0, 0));

    // Reds 4n - 1, 4n - 1, 4n - 1 and 4n + 3 average to 4n, red6 n; dropping each to six bits
    // first would give n - 1. Take the first n where that changes the cell.
    uint32_t n = 1;
    while (n < 63 && entry(n, 0, 0) == entry(n - 1, 0, 0))
        ++n;
    ASSERT_LT(n, 63u);
    const uint32_t reds[4] = {4 * n - 1, 4 * n - 1, 4 * n - 1, 4 * n + 3};
    renderer->render2x2(reds, SourceRect{0, 0, 2, 2}, 2, 1, 0, cells);
    EXPECT_EQ(cells.cells[1], entry(n, 0, 0));
}

TEST_F(ShadeRendererTest, TopByteOfPixelsIsIgnored) {
    std::mt19937 random(11);
    std::vector<uint32_t> clean(16 * 16), marked(16 * 16);
    for (size_t i = 0; i < clean.size(); ++i) {
        clean[i] = random() & 0xffffff;
        marked[i] = clean[i] | (random() | 1u) << 24;
    }
    const SourceRect rect{0, 0, 16, 16};
    CellFrame a{}, b{};
    renderer->render1x1(clean.data(), rect, 16, 0, 0, a);
    renderer->render1x1(marked.data(), rect, 16, 0, 0, b);
    renderer->render2x2(clean.data(), rect, 16, 20, 0, a);
    renderer->render2x2(marked.data(), rect, 16, 20, 0, b);
    renderer->render4x4(clean.data(), rect, 16, 30, 0, a);
    renderer->render4x4(marked.data(), rect, 16, 30, 0, b);
    for (int i = 0; i < kScreenCells; ++i)
        ASSERT_EQ(a.cells[i], b.cells[i]) << i;
}

}  // namespace
