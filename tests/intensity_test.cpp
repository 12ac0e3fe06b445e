#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "fx/intensity.h"

namespace {

constexpr int W = kLargeWidth;
constexpr int H = kLargeHeight;

uint8_t at(const IntensityBuffer& b, int x, int y) {
    return b.pixels[y * W + x];
}

int total(const IntensityBuffer& b) {
    int sum = 0;
    for (uint8_t v : b.pixels)
        sum += v;
    return sum;
}

IntensityBuffer filled(uint8_t v) {
    IntensityBuffer b;
    std::memset(b.pixels, v, sizeof b.pixels);
    return b;
}

TEST(Warp, SamplesThroughBothTablesAndWritesEveryPixel) {
    IntensityBuffer src;
    for (int i = 0; i < kLargePixels; ++i)
        src.pixels[i] = static_cast<uint8_t>(i * 7 + i / W);
    for (int x = 0; x < W; ++x)
        warpTables().columns[x] = W - 1 - x;  // mirror left to right
    for (int y = 0; y < H; ++y)
        warpTables().rows[y] = y / 2;  // stretch the top half
    IntensityBuffer dst = filled(0xAA);
    warpIntensity(src, dst);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            ASSERT_EQ(at(dst, x, y), at(src, W - 1 - x, y / 2)) << x << "," << y;
        }
    }
}

TEST(Blur, FullBufferDecaysInsideAndLeavesTheTopAndBottomRowsAlone) {
    const IntensityBuffer src = filled(255);
    IntensityBuffer dst = filled(77);
    blurIntensity(src, dst);
    for (int x = 0; x < W; ++x) {
        EXPECT_EQ(at(dst, x, 0), 77) << x;
        EXPECT_EQ(at(dst, x, H - 1), 77) << x;
    }
    for (int y = 1; y < H - 1; ++y) {
        EXPECT_EQ(at(dst, 0, y), 0) << y;
        EXPECT_EQ(at(dst, W - 1, y), 0) << y;
        for (int x = 1; x < W - 1; ++x)
            ASSERT_EQ(at(dst, x, y), 239) << x << "," << y;
    }
}

TEST(Blur, SinglePixelSpreadsToItsNeighboursOnly) {
    IntensityBuffer src = filled(0);
    src.pixels[40 * W + 30] = 255;
    IntensityBuffer dst = filled(0);
    blurIntensity(src, dst);
    EXPECT_EQ(at(dst, 30, 40), 0) << "the pixel itself is not part of its mean";
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (dx == 0 && dy == 0) continue;
            EXPECT_EQ(at(dst, 30 + dx, 40 + dy), 15) << dx << "," << dy;
        }
    }
    EXPECT_EQ(total(dst), 8 * 15);
}

TEST(Blur, LightInRowZeroReachesRowOneButRowZeroIsNotWritten) {
    IntensityBuffer src = filled(0);
    src.pixels[100] = 255;
    IntensityBuffer dst = filled(0);
    blurIntensity(src, dst);
    EXPECT_EQ(at(dst, 99, 1), 15);
    EXPECT_EQ(at(dst, 100, 1), 15);
    EXPECT_EQ(at(dst, 101, 1), 15);
    EXPECT_EQ(total(dst), 3 * 15);
}

class PlotPoint : public ::testing::Test {
  protected:
    void SetUp() override { std::memset(buffer.pixels, 0, sizeof buffer.pixels); }
    IntensityBuffer buffer;
};

TEST_F(PlotPoint, PointOnTheAxisPutsItsWholeWeightOnTheCentre) {
    const float distance = 256;
    for (float z : {-255.0f, 0.0f, 1000.0f}) {
        SetUp();
        plotPoint(buffer, 0, 0, z, distance);
        EXPECT_EQ(at(buffer, 80, 50), 49) << z;
        EXPECT_EQ(total(buffer), 49) << z;
    }
}

TEST_F(PlotPoint, FractionsSplitTheWeightWithSevenMinusF) {
    const float distance = 0.5f;  // with z = 0.5 the depth factor is exactly 1
    plotPoint(buffer, 0.00625f, 0.003125f, 0.5f, distance);  // (80.5, 50.25): fx = 4, fy = 2
    EXPECT_EQ(at(buffer, 80, 50), 15);
    EXPECT_EQ(at(buffer, 81, 50), 20);
    EXPECT_EQ(at(buffer, 80, 51), 6);
    EXPECT_EQ(at(buffer, 81, 51), 8);
    EXPECT_EQ(total(buffer), 49);
}

TEST_F(PlotPoint, RepeatedSplatsSaturateWithoutWrapping) {
    const float distance = 100;
    for (int i = 0; i < 6; ++i)
        plotPoint(buffer, 0, 0, 0, distance);
    EXPECT_EQ(at(buffer, 80, 50), 255);
    plotPoint(buffer, 0, 0, 0, distance);
    EXPECT_EQ(at(buffer, 80, 50), 255);
    EXPECT_EQ(total(buffer), 255);
}

TEST_F(PlotPoint, BoundsAreInclusiveAndNothingOutsideIsTouched) {
    const float distance = 0.5f;
    // These floats project to exactly 159 and 99, the last accepted positions.
    const float lastX = 0x1.f99996p-1f;
    const float lastY = 0x1.399998p-1f;
    plotPoint(buffer, lastX, lastY, 0.5f, distance);
    EXPECT_EQ(at(buffer, W - 1, H - 1), 49);
    EXPECT_EQ(total(buffer), 49);

    SetUp();
    plotPoint(buffer, -1.0f, -0.625f, 0.5f, distance);  // exactly (0, 0)
    EXPECT_EQ(at(buffer, 0, 0), 49);
    EXPECT_EQ(total(buffer), 49);

    SetUp();
    plotPoint(buffer, lastX + 1e-6f, 0, 0.5f, distance);  // sx just above 159
    plotPoint(buffer, 0, lastY + 1e-6f, 0.5f, distance);  // sy just above 99
    plotPoint(buffer, std::nextafter(-1.0f, -2.0f), 0, 0.5f, distance);
    plotPoint(buffer, 0, std::nextafter(-0.625f, -2.0f), 0.5f, distance);
    EXPECT_EQ(total(buffer), 0);
}

TEST_F(PlotPoint, PositionsThatAreNotNumbersAreDropped) {
    const float distance = 256;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    plotPoint(buffer, nan, 0, 0, distance);
    plotPoint(buffer, 0, nan, 0, distance);
    plotPoint(buffer, 0, 0, nan, distance);
    plotPoint(buffer, 0, 0, -256, distance);  // depth 0: 0 times infinity
    plotPoint(buffer, 1, 1, -256, distance);  // depth 0: infinitely far off
    EXPECT_EQ(total(buffer), 0);
}

TEST_F(PlotPoint, PointsBehindTheViewerAreMirroredThroughTheCentre) {
    const float distance = 256;
    plotPoint(buffer, 64, 0, -512, distance);  // depth -256: x * w = -0.25
    EXPECT_EQ(at(buffer, 60, 50), 49);
    EXPECT_EQ(total(buffer), 49);
}

TEST(Palette, FrameOf1301) {
    updatePalette(1301);
    const PaletteChannels& p = intensityPalette();
    EXPECT_EQ(p.red[128], 44);
    EXPECT_EQ(p.green[128], 21);
    EXPECT_EQ(p.blue[128], 4);
    EXPECT_EQ(p.red[64], 22);
    EXPECT_EQ(p.green[64], 10);
    EXPECT_EQ(p.blue[64], 2);
    EXPECT_EQ(p.red[255], 62);
    EXPECT_EQ(p.green[255], 62);
    EXPECT_EQ(p.blue[255], 62);
}

TEST(Palette, ChannelsRiseFromBlackThroughThePeakAndStayInRange) {
    for (int32_t frame : {2, 1301, 1600, 2501, 4000, 100000}) {
        updatePalette(frame);
        for (const int32_t* channel :
             {intensityPalette().red, intensityPalette().green, intensityPalette().blue}) {
            EXPECT_EQ(channel[0], 0) << frame;
            EXPECT_GE(channel[128], 1) << frame;
            for (int k = 1; k < 256; ++k) {
                ASSERT_GE(channel[k], channel[k - 1]) << frame << " " << k;
                ASSERT_LE(channel[k], 63) << frame << " " << k;
            }
        }
    }
}

TEST(Palette, ReciprocalsAreSinglePrecisionAndTheRestDouble) {
    // At frame 5971 the float reciprocal of 74 gives a red peak of 52; a true division by 74
    // would give 51.
    updatePalette(5971);
    EXPECT_EQ(intensityPalette().red[128], 52);
    // At frame 6181 the product t * (1/74) kept in double gives 20; rounded to float, 19.
    updatePalette(6181);
    EXPECT_EQ(intensityPalette().red[128], 20);
}

TEST(Palette, ApplyStoresTheSixBitValuesAsPixelChannels) {
    updatePalette(1301);
    IntensityBuffer in;
    for (int i = 0; i < kLargePixels; ++i)
        in.pixels[i] = static_cast<uint8_t>(i);
    LargeFrame out;
    std::memset(out.pixels, 0xFF, sizeof out.pixels);
    applyPalette(out, in);
    EXPECT_EQ(out.pixels[0], 0u) << "intensity 0 is black";
    EXPECT_EQ(out.pixels[128], packPixel(44, 21, 4));
    EXPECT_EQ(out.pixels[256 + 64], packPixel(22, 10, 2));
    EXPECT_EQ(out.pixels[255], packPixel(62, 62, 62));
}

}  // namespace
