#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "host/console_records.h"
#include "host/marker_title.h"

namespace {

// The shape of a Win32 CHAR_INFO record.
struct CharInfo {
    union {
        wchar_t UnicodeChar;
        char AsciiChar;
    } Char;
    uint16_t Attributes;
};

TEST(ConsoleRecords, AllZeroFrameGivesBlackCells) {
    CellFrame frame{};
    CharInfo records[kScreenCells];
    std::memset(records, 0xa5, sizeof records);
    fillConsoleRecords(frame, records);
    for (const CharInfo& r : records) {
        ASSERT_EQ(r.Char.AsciiChar, 0);
        ASSERT_EQ(r.Attributes, 0);
    }
}

TEST(ConsoleRecords, CellsPassThroughUnchanged) {
    CellFrame frame{};
    frame.cells[0] = makeCell(219, 31);
    frame.cells[kScreenCells - 1] = makeCell(176, 0xf8);
    frame.cells[81] = 0xffff;
    CharInfo records[kScreenCells];
    fillConsoleRecords(frame, records);
    EXPECT_EQ(static_cast<unsigned char>(records[0].Char.AsciiChar), 219);
    EXPECT_EQ(records[0].Attributes, 31);
    EXPECT_EQ(static_cast<unsigned char>(records[kScreenCells - 1].Char.AsciiChar), 176);
    EXPECT_EQ(records[kScreenCells - 1].Attributes, 0xf8);
    // Only the eight standard attribute bits can be set.
    EXPECT_EQ(records[81].Attributes, 0xff);
}

TEST(ConsoleRecords, WriteCoversTheWholeScreen) {
    EXPECT_EQ(kPresentRegion.left, 0);
    EXPECT_EQ(kPresentRegion.top, 0);
    EXPECT_EQ(kPresentRegion.right, 79);
    EXPECT_EQ(kPresentRegion.bottom, 49);
    EXPECT_EQ(kScreenCells, 4000);
}

TEST(MarkerTitle, EightyLettersFromTheMarkerAlphabet) {
    std::set<char> seen;
    for (unsigned seed : {0u, 1u, 12345u, 4294967295u}) {
        srand(seed);
        char title[kMarkerTitleLength + 1];
        std::memset(title, 'x', sizeof title);
        buildMarkerTitle(title);
        ASSERT_EQ(std::strlen(title), 80u);
        for (int i = 0; i < 80; ++i) {
            ASSERT_NE(std::strchr("ABQRabqr", title[i]), nullptr) << title;
            seen.insert(title[i]);
        }
    }
    EXPECT_EQ(seen.size(), 8u);
}

TEST(MarkerTitle, FollowsTheSeed) {
    char first[kMarkerTitleLength + 1], second[kMarkerTitleLength + 1];
    srand(99);
    buildMarkerTitle(first);
    srand(99);
    buildMarkerTitle(second);
    EXPECT_STREQ(first, second);
}

}  // namespace
