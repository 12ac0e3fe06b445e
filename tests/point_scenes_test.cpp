// The point-cloud and closing scenes as the director draws them: frames run through
// drawFrame, with the renderers built at start-up.
#include <gtest/gtest.h>

#include <cstring>

#include "data/assets.h"
#include "demo_run.h"
#include "director/point_cloud_scene.h"
#include "director/renderers.h"
#include "director/scenes.h"
#include "fx/colour_ops.h"
#include "fx/intensity.h"

namespace {

constexpr uint16_t kBlank = 0x0720;       // the quadrant renderer's space
constexpr uint16_t kBlackBlock = 0x00DB;  // the shade renderer's black

uint16_t cellAt(int column, int row) {
    return cellFrame().cells[row * kScreenColumns + column];
}

class PointScenes : public ::testing::Test {
  protected:
    // Each test starts the scene from the state start-up leaves: intensity buffers zero,
    // zoomPhase 0.
    void SetUp() override {
        ASSERT_TRUE(demo_run::startOnce());
        clearIntensityBuffers();
        resetZoomPhase();
    }

    static void runFrames(int32_t from, int32_t to) {
        demo_run::runFrames(from, to, [](int32_t) {});
    }

    static bool zoomFrameShows(int32_t x, int32_t y, int32_t width, int32_t height) {
        RgbFrame expected{};
        blitScaledPicture(expected, Picture4, x, y, width, height);
        return std::memcmp(expected.pixels, zoomFrame().pixels, sizeof expected.pixels) == 0;
    }
};

TEST_F(PointScenes, FirstPointCloudFrameShowsOnlyItsOwnPointsOnBlack) {
    runFrames(1301, 1301);
    // The splats of this frame's points alone, with the turn and view distance it used.
    IntensityBuffer alone{};
    for (int k = 0; k < kPathPoints; ++k) {
        const Vec3 q = transform(globalRotation(), pathPoint(k));
        plotPoint(alone, q.x, q.y, q.z, viewDistance());
    }
    EXPECT_EQ(std::memcmp(intensityImage().pixels, alone.pixels, sizeof alone.pixels), 0);

    int lit = 0;
    for (int row = 0; row < kScreenRows; ++row) {
        for (int column = 0; column < kScreenColumns; ++column) {
            bool light = false;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx)
                    light |= alone.pixels[(2 * row + dy) * kLargeWidth + 2 * column + dx] != 0;
            }
            if (!light) {
                ASSERT_EQ(cellAt(column, row), kBlackBlock) << column << "," << row;
            } else {
                lit += cellAt(column, row) != kBlackBlock;
            }
        }
    }
    EXPECT_GT(lit, 50) << "most of the 1024 points are in view";
}

TEST_F(PointScenes, PointCloudTrailsBuildUpAndFadeWithoutNewPoints) {
    runFrames(1301, 1340);
    const CellFrame before = cellFrame();
    int lit = 0;
    for (uint16_t cell : before.cells)
        lit += cell != kBlackBlock;
    runFrames(1341, 1341);
    EXPECT_NE(std::memcmp(before.cells, cellFrame().cells, sizeof before.cells), 0);
    // With trails the picture is much fuller than the points of one frame.
    std::memset(intensityImage().pixels, 0, sizeof intensityImage().pixels);
    runFrames(1341, 1341);
    int litAlone = 0;
    for (uint16_t cell : cellFrame().cells)
        litAlone += cell != kBlackBlock;
    EXPECT_GT(lit, litAlone + 100);

    // Without new points every pass takes 16 from the mean, and the trails die out.
    for (int i = 0; i < 20; ++i) {
        fillWarpTables(zoomCentre(1342 + i));
        warpIntensity(intensityImage(), intensityScratch());
        blurIntensity(intensityScratch(), intensityImage());
    }
    for (int i = kLargeWidth; i < kLargePixels - kLargeWidth; ++i)
        ASSERT_EQ(intensityImage().pixels[i], 0) << i;
}

TEST_F(PointScenes, ClosingSceneStartsWithBannerOffset141AndTheLargePulse) {
    runFrames(2501, 2501);
    RgbFrame banner{};
    drawBanner(banner, ScrollBanner, 141);
    EXPECT_EQ(std::memcmp(banner.pixels, sceneFrame().pixels, sizeof banner.pixels), 0);
    EXPECT_DOUBLE_EQ(zoomPhase(), 0.09);
    EXPECT_TRUE(zoomFrameShows(-39, -24, 159, 99));

    // Upper half: grey printable characters, blank outside the banner's cell rows 6 to 21.
    for (int row = 0; row < 25; ++row) {
        for (int column = 0; column < kScreenColumns; ++column) {
            const uint16_t cell = cellAt(column, row);
            ASSERT_EQ(cellAttribute(cell), 7) << column << "," << row;
            ASSERT_GE(cellCharacter(cell), 32);
            ASSERT_LE(cellCharacter(cell), 126);
            if (row >= 6 && row <= 21) continue;
            ASSERT_EQ(cell, kBlank) << column << "," << row;
        }
    }
    // Lower half: shade cells only, the planet on the right.
    int planet = 0;
    for (int row = 25; row < kScreenRows; ++row) {
        for (int column = 0; column < kScreenColumns; ++column) {
            const uint8_t ch = cellCharacter(cellAt(column, row));
            ASSERT_TRUE(ch == 176 || ch == 177 || ch == 178 || ch == 219) << column << "," << row;
            if (column >= 40) planet += cellAt(column, row) != kBlackBlock;
        }
    }
    EXPECT_GT(planet, 100);
}

TEST_F(PointScenes, PulseAtFrame2520) {
    for (int32_t n = 2501; n <= 2520; ++n)
        runFrames(n, n);
    EXPECT_TRUE(zoomFrameShows(-9, -5, 98, 61));
}

TEST_F(PointScenes, BannerEndsAtFrame3560WhileTheLowerWindowsGoOn) {
    for (int32_t n = 2501; n <= 3559; ++n)
        runFrames(n, n);
    // Offset 1199: the banner's last column, which has ink, in frame column 0.
    bool ink = false;
    for (int row = 6; row <= 21; ++row)
        ink |= cellAt(0, row) != kBlank;
    EXPECT_TRUE(ink);

    CellFrame previous = cellFrame();
    int stillRight = 0;  // frames in a row in which the pulse kept its size
    for (int32_t n = 3560; n <= 3600; ++n) {
        runFrames(n, n);
        for (int i = 0; i < 25 * kScreenColumns; ++i)
            ASSERT_EQ(cellFrame().cells[i], kBlank) << n;
        bool leftChanged = false;
        bool rightChanged = false;
        for (int row = 25; row < kScreenRows; ++row) {
            for (int column = 0; column < kScreenColumns; ++column) {
                const int i = row * kScreenColumns + column;
                if (cellFrame().cells[i] == previous.cells[i]) continue;
                (column < 40 ? leftChanged : rightChanged) = true;
            }
        }
        EXPECT_TRUE(leftChanged) << n;
        // Around its smallest size the pulse may hold for a frame or two.
        stillRight = rightChanged ? 0 : stillRight + 1;
        EXPECT_LE(stillRight, 2) << n;
        previous = cellFrame();
    }
}

}  // namespace
