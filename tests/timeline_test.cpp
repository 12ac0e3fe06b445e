#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "data/assets.h"
#include "demo_run.h"
#include "director/renderers.h"
#include "director/scenes.h"
#include "fx/colour_ops.h"

namespace {

// The frames whose cells (and scene pixels) the tests look at.
const std::set<int32_t> kKeptFrames = {1,    2,    100,  101,  349,  350,  351,  401,
                                       799,  800,  801,  851,  1199, 1200, 1251, 1299,
                                       1300, 1899, 1900, 1901, 2049, 2050, 2499, 2500};

struct Kept {
    CellFrame cells;
    RgbFrame scene;
};

class Timeline : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(demo_run::startOnce());
        // The demo starts from an all-zero cell frame; other tests may have drawn into it.
        std::memset(&cellFrame(), 0, sizeof cellFrame());
        blackFrom2To100 = true;
        demo_run::runFrames(1, 2500, [](int32_t n) {
            if (n >= 2 && n <= 100) {
                for (uint16_t cell : cellFrame().cells)
                    blackFrom2To100 &= cell == 0;
            }
            if (kKeptFrames.count(n)) kept[n] = Kept{cellFrame(), sceneFrame()};
        });
    }

    static const CellFrame& cells(int32_t n) { return kept.at(n).cells; }
    static const RgbFrame& scene(int32_t n) { return kept.at(n).scene; }

    // What the shade renderer shows for a frame of pixels, one pixel per cell.
    static void expectShadeCellsOf(const CellFrame& actual, const RgbFrame& pixels) {
        for (int i = 0; i < kScreenCells; ++i) {
            const uint32_t p = pixels.pixels[i];
            const uint16_t expected = shadeRenderer()->cellForColour(
                (p & 0xff) >> 2, (p >> 8 & 0xff) >> 2, (p >> 16 & 0xff) >> 2);
            ASSERT_EQ(actual.cells[i], expected) << "cell " << i;
        }
    }

    static RgbFrame pictureFrame(const uint8_t* picture) {
        RgbFrame frame{};
        for (int i = 0; i < kFramePixels; ++i) {
            frame.pixels[i] = packPixel(picture[i * 3], picture[i * 3 + 1], picture[i * 3 + 2]);
        }
        return frame;
    }

    static inline std::map<int32_t, Kept> kept;
    static inline bool blackFrom2To100 = false;
};

TEST_F(Timeline, FramesOneToHundredAreBlack) {
    EXPECT_TRUE(blackFrom2To100);
    for (uint16_t cell : cells(1).cells)
        ASSERT_EQ(cell, 0);
}

TEST_F(Timeline, Frame101ShowsPicture1MagnifiedToThreeHundredNinetyTwo) {
    RgbFrame expected{};
    blitScaledPicture(expected, Picture1, 40 - 392 / 2, 25 - 245 / 2, 392, 245);
    EXPECT_EQ(std::memcmp(&scene(101), &expected, sizeof expected), 0);
    expectShadeCellsOf(cells(101), expected);
}

TEST_F(Timeline, FramesThatDrawNothingRepeatTheCellsBefore) {
    const std::pair<int32_t, int32_t> repeats[] = {{349, 350},   {799, 800},   {1199, 1200},
                                                   {1299, 1300}, {1899, 1900}, {2499, 2500}};
    for (const auto& [before, empty] : repeats) {
        EXPECT_EQ(std::memcmp(&cells(before), &cells(empty), sizeof(CellFrame)), 0) << empty;
        // The scene frame was cleared and nothing was drawn into it.
        for (uint32_t pixel : scene(empty).pixels)
            ASSERT_EQ(pixel, 0u) << empty;
    }
}

TEST_F(Timeline, CrossFadesReachTheirTargetAfterFiftyOneFrames) {
    const RgbFrame picture2 = pictureFrame(Picture2);
    const RgbFrame picture3 = pictureFrame(Picture3);
    // Frame 349 shows Picture1 at full size, so the fade starts from the same picture.
    const RgbFrame picture1 = pictureFrame(Picture1);
    EXPECT_EQ(std::memcmp(&scene(349), &picture1, sizeof(RgbFrame)), 0);
    EXPECT_NE(std::memcmp(&scene(351), &picture1, sizeof(RgbFrame)), 0) << "fading";
    EXPECT_NE(std::memcmp(&scene(351), &picture2, sizeof(RgbFrame)), 0) << "fading";
    EXPECT_EQ(std::memcmp(&scene(401), &picture2, sizeof(RgbFrame)), 0);
    expectShadeCellsOf(cells(401), picture2);
    EXPECT_EQ(std::memcmp(&scene(799), &picture2, sizeof(RgbFrame)), 0);
    EXPECT_NE(std::memcmp(&scene(801), &picture3, sizeof(RgbFrame)), 0) << "fading";
    EXPECT_EQ(std::memcmp(&scene(851), &picture3, sizeof(RgbFrame)), 0);
    expectShadeCellsOf(cells(851), picture3);
}

TEST_F(Timeline, Frame1251IsBlack) {
    for (uint32_t pixel : scene(1251).pixels)
        ASSERT_EQ(pixel, 0u);
    for (uint16_t cell : cells(1251).cells)
        ASSERT_EQ(cell, 0x00DB);  // black full block
    EXPECT_NE(std::memcmp(&cells(1199), &cells(1251), sizeof(CellFrame)), 0);
}

TEST_F(Timeline, Picture0ZoomsInAndTurnsFromGreyCharactersToColour) {
    RgbFrame expected{};
    blitScaledPicture(expected, Picture0, -156, -97, 392, 245);
    EXPECT_EQ(std::memcmp(&scene(1901), &expected, sizeof expected), 0);

    // Frames 2049 and 2050: the same picture, Picture0 at full size.
    const RgbFrame picture0 = pictureFrame(Picture0);
    EXPECT_EQ(std::memcmp(&scene(2049), &picture0, sizeof picture0), 0);
    EXPECT_EQ(std::memcmp(&scene(2050), &picture0, sizeof picture0), 0);

    // In grey printable characters first: the quadrant renderer's cell for each green value.
    for (int i = 0; i < kScreenCells; ++i) {
        const uint16_t cell = cells(2049).cells[i];
        ASSERT_EQ(cellAttribute(cell), 7) << i;
        ASSERT_GE(cellCharacter(cell), 32) << i;
        ASSERT_LE(cellCharacter(cell), 126) << i;
        ASSERT_EQ(cell, quadrantRenderer()->cellForColour(0, picture0.pixels[i] >> 8 & 0xff, 0));
    }
    // Then in colour.
    expectShadeCellsOf(cells(2050), picture0);
    expectShadeCellsOf(cells(2499), picture0);
}

}  // namespace
