#include <gtest/gtest.h>

#include <bit>

#include "data/assets.h"

extern const unsigned asset_glyph_font_size;

namespace {

int inkOf(int code) {
    int ink = 0;
    for (int row = 0; row < kGlyphHeight; ++row)
        ink += std::popcount(GlyphFont[code][row]);
    return ink;
}

TEST(GlyphFont, HasTheBlanksBlocksAndShadesWhereTheCodePageHasThem) {
    EXPECT_EQ(asset_glyph_font_size, 256u * kGlyphHeight);
    EXPECT_EQ(inkOf(0), 0);
    EXPECT_EQ(inkOf(32), 0);
    EXPECT_EQ(inkOf(255), 0);
    EXPECT_EQ(inkOf(219), 96);
    // Light, medium and dark shade: about a quarter, a half and three quarters inked.
    EXPECT_NEAR(inkOf(176), 24, 4);
    EXPECT_NEAR(inkOf(177), 48, 4);
    EXPECT_NEAR(inkOf(178), 72, 4);
    // Upper and lower half blocks, left and right half blocks.
    for (int row = 0; row < kGlyphHeight; ++row) {
        EXPECT_EQ(GlyphFont[223][row], row < 6 ? 0xff : 0x00) << row;
        EXPECT_EQ(GlyphFont[220][row], row < 6 ? 0x00 : 0xff) << row;
        EXPECT_EQ(GlyphFont[221][row], 0xf0) << row;
        EXPECT_EQ(GlyphFont[222][row], 0x0f) << row;
    }
    for (int code = 33; code < 127; ++code)
        EXPECT_GT(inkOf(code), 0) << code;
}

// Arms of the box drawing characters 179..218: up, down, left, right; 0 none, 1 single line,
// 2 double line.
const char* const kBoxArms[40] = {
    "1100", "1110", "1120", "2210", "0210", "0120", "2220", "2200", "0220", "2020",
    "2010", "1020", "0110", "1001", "1011", "0111", "1101", "0011", "1111", "1102",
    "2201", "2002", "0202", "2022", "0222", "2202", "0022", "2222", "1022", "2011",
    "0122", "0211", "2001", "1002", "0102", "0201", "2211", "1122", "1010", "0101",
};

// Every arm reaches the edge of the cell exactly where the plain single or double line does,
// so that neighbouring characters join.
TEST(GlyphFont, BoxDrawingArmsJoinTheirNeighbours) {
    auto column = [](int code, int bit) {
        int mask = 0;
        for (int row = 0; row < kGlyphHeight; ++row)
            mask |= (GlyphFont[code][row] >> bit & 1) << row;
        return mask;
    };
    const int vertical[3] = {0, 179, 186}, horizontal[3] = {0, 196, 205};
    for (int code = 179; code <= 218; ++code) {
        const char* arms = kBoxArms[code - 179];
        const int up = arms[0] - '0', down = arms[1] - '0', left = arms[2] - '0',
                  right = arms[3] - '0';
        EXPECT_EQ(GlyphFont[code][0], up ? GlyphFont[vertical[up]][0] : 0) << code;
        EXPECT_EQ(GlyphFont[code][11], down ? GlyphFont[vertical[down]][11] : 0) << code;
        EXPECT_EQ(column(code, 7), left ? column(horizontal[left], 7) : 0) << code;
        EXPECT_EQ(column(code, 0), right ? column(horizontal[right], 0) : 0) << code;
    }
}

}  // namespace
