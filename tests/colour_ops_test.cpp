#include "fx/colour_ops.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "data/assets.h"
#include "director/scenes.h"

namespace {

// A picture in which every pixel differs from every other: red = x * 3, green = y * 5,
// blue = x + y.
std::vector<uint8_t> gradientPicture() {
    std::vector<uint8_t> picture(kPictureBytes);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            uint8_t* p = &picture[(y * kFrameWidth + x) * 3];
            p[0] = static_cast<uint8_t>(x * 3);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = static_cast<uint8_t>(x + y);
        }
    }
    return picture;
}

RgbFrame filledFrame(uint32_t word) {
    RgbFrame frame;
    for (uint32_t& pixel : frame.pixels)
        pixel = word;
    return frame;
}

uint32_t picturePixel(const uint8_t* picture, int x, int y) {
    const uint8_t* p = picture + (y * kFrameWidth + x) * 3;
    return packPixel(p[0], p[1], p[2]);
}

// The scaled blit exactly as written: every position of the scaled picture is visited, the
// 16.16 source position is advanced by adding the step, and each pixel is clipped on its own.
void referenceBlit(RgbFrame& frame, const uint8_t* picture, int32_t x, int32_t y, int32_t width,
                   int32_t height) {
    if (width <= 0 || height <= 0) return;
    const int32_t stepX = (80 * 65536) / width;
    const int32_t stepY = (50 * 65536) / height;
    int32_t sy = 0;
    for (int32_t i = 0; i < height; ++i, sy += stepY) {
        int32_t sx = 0;
        for (int32_t j = 0; j < width; ++j, sx += stepX) {
            const uint8_t* p = picture + ((sy >> 16) * 80 + (sx >> 16)) * 3;
            const int64_t px = int64_t{x} + j;
            const int64_t py = int64_t{y} + i;
            if (px >= 0 && px < 80 && py >= 0 && py < 50) {
                frame.pixels[py * 80 + px] = (p[2] << 16) + (p[1] << 8) + p[0];
            }
        }
    }
}

void expectFramesEqual(const RgbFrame& actual, const RgbFrame& expected, const char* what) {
    for (int i = 0; i < kFramePixels; ++i) {
        ASSERT_EQ(actual.pixels[i], expected.pixels[i])
            << what << ": pixel (" << i % 80 << ", " << i / 80 << ")";
    }
}

TEST(PutPixel, StoresInsideAndIgnoresOutside) {
    RgbFrame frame = filledFrame(0x123456);
    putPixel(frame, 79, 49, 1, 2, 3);
    EXPECT_EQ(frame.pixels[49 * 80 + 79], 0x030201u);
    putPixel(frame, 0, 0, 255, 0, 128);
    EXPECT_EQ(frame.pixels[0], 0x8000ffu);

    const RgbFrame before = frame;
    const int32_t outside[][2] = {{80, 0},        {0, -1},        {0, 50},  {-1, 0},
                                  {INT32_MIN, 0}, {0, INT32_MAX}, {80, 49}, {-1, 50}};
    for (const auto& [x, y] : outside)
        putPixel(frame, x, y, 255, 255, 255);
    EXPECT_EQ(std::memcmp(&frame, &before, sizeof frame), 0);
}

TEST(PutPixel, ChannelsStayInTheirOwnByte) {
    RgbFrame frame = filledFrame(0);
    putPixel(frame, 5, 5, 256 + 7, -1, 0);
    EXPECT_EQ(frame.pixels[5 * 80 + 5], 0x00ff07u);
}

TEST(BlitScaledPicture, FullSizeAtOriginReproducesThePicture) {
    const std::vector<uint8_t> picture = gradientPicture();
    RgbFrame frame = filledFrame(0xabcdef);
    blitScaledPicture(frame, picture.data(), 0, 0, 80, 50);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 80; ++x) {
            ASSERT_EQ(frame.pixels[y * 80 + x], picturePixel(picture.data(), x, y))
                << x << "," << y;
        }
    }
}

TEST(BlitScaledPicture, ShiftedRightCutsTheRightColumnsAndKeepsTheLeft) {
    const std::vector<uint8_t> picture = gradientPicture();
    RgbFrame frame = filledFrame(0xabcdef);
    blitScaledPicture(frame, picture.data(), 10, 0, 80, 50);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(frame.pixels[y * 80 + x], 0xabcdefu);
        for (int x = 10; x < 80; ++x) {
            ASSERT_EQ(frame.pixels[y * 80 + x], picturePixel(picture.data(), x - 10, y));
        }
    }
}

TEST(BlitScaledPicture, DoubleWidthRepeatsEachColumnTwice) {
    const std::vector<uint8_t> picture = gradientPicture();
    RgbFrame frame = filledFrame(0);
    blitScaledPicture(frame, picture.data(), 0, 0, 160, 50);
    for (int x = 0; x < 80; ++x) {
        EXPECT_EQ(frame.pixels[7 * 80 + x], picturePixel(picture.data(), x / 2, 7)) << x;
    }
}

TEST(BlitScaledPicture, NonPositiveSizesDrawNothing) {
    const std::vector<uint8_t> picture = gradientPicture();
    const int32_t sizes[][2] = {{0, 50}, {80, 0}, {-80, 50}, {80, -1}, {INT32_MIN, INT32_MIN}};
    for (const auto& [w, h] : sizes) {
        RgbFrame frame = filledFrame(0x111111);
        blitScaledPicture(frame, picture.data(), 0, 0, w, h);
        EXPECT_EQ(frame.pixels[0], 0x111111u) << w << "x" << h;
        EXPECT_EQ(frame.pixels[kFramePixels - 1], 0x111111u) << w << "x" << h;
    }
}

// The blit visits only the visible positions; the frame must come out exactly as when every
// position of the scaled picture is visited and clipped on its own.
TEST(BlitScaledPicture, VisibleOnlyLoopsMatchThePerPixelClip) {
    const std::vector<uint8_t> picture = gradientPicture();
    const int32_t sizes[] = {1, 2, 3, 7, 13, 33, 49, 50, 51, 79, 80, 81, 99, 160, 245, 392, 397};
    const int32_t positions[] = {-1000, -400, -156, -97, -81, -80, -50, -49, -1, 0,
                                 1,     10,   39,   49,  50,  79,  80,  81,  500};
    int compared = 0;
    for (int32_t w : sizes) {
        for (int32_t h : sizes) {
            for (int32_t x : positions) {
                for (int32_t y : positions) {
                    if ((w + h + x + y) % 7 != 0) continue;  // a spread, not all
                    RgbFrame expected = filledFrame(0x5a5a5a);
                    RgbFrame actual = filledFrame(0x5a5a5a);
                    referenceBlit(expected, picture.data(), x, y, w, h);
                    blitScaledPicture(actual, picture.data(), x, y, w, h);
                    ASSERT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0)
                        << w << "x" << h << " at (" << x << ", " << y << ")";
                    ++compared;
                }
            }
        }
    }
    EXPECT_GT(compared, 10000);
}

TEST(BlitScaledPicture, HugeSizesMatchThePerPixelClip) {
    // Sizes far beyond the frame, seen from the corners and the middle of the scaled picture.
    const std::vector<uint8_t> picture = gradientPicture();
    const int32_t cases[][4] = {{100000, 50, 0, 0},       {80, 100000, 0, 0},
                                {5242880, 3, 0, 0},       {3, 3276800, 0, 0},
                                {1000, 1000, -460, -475}, {1000, 1000, -999, 49},
                                {100000, 9, -99950, 20},  {9, 60000, 75, -59990}};
    for (const auto& [w, h, x, y] : cases) {
        RgbFrame expected = filledFrame(0);
        RgbFrame actual = filledFrame(0);
        referenceBlit(expected, picture.data(), x, y, w, h);
        blitScaledPicture(actual, picture.data(), x, y, w, h);
        expectFramesEqual(actual, expected, "huge");
    }
    // Beyond 80 x 65536 the step is 0: every pixel shows the picture's first pixel.
    RgbFrame frame = filledFrame(0x777777);
    blitScaledPicture(frame, picture.data(), -1000000000, -1000000000, INT32_MAX, INT32_MAX);
    for (uint32_t pixel : frame.pixels)
        ASSERT_EQ(pixel, picturePixel(picture.data(), 0, 0));
    // Far outside on every side: nothing is drawn, and no coordinate overflows.
    frame = filledFrame(0x777777);
    blitScaledPicture(frame, picture.data(), INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX);
    blitScaledPicture(frame, picture.data(), INT32_MIN, INT32_MIN, 1000, 1000);
    for (uint32_t pixel : frame.pixels)
        ASSERT_EQ(pixel, 0x777777u);
}

TEST(ZoomPicture, StandsStillAtFullSizeFromFactorTenDown) {
    RgbFrame expected = filledFrame(0);
    blitScaledPicture(expected, Picture1, 0, 0, 80, 50);
    for (int32_t first : {140, 200, 1000, INT32_MAX}) {
        RgbFrame frame = filledFrame(0x010203);
        zoomPicture1(first, 0, frame);
        expectFramesEqual(frame, expected, "zoomPicture1 at full size");
    }
    // One frame earlier the picture is still 88 by 55.
    RgbFrame frame = filledFrame(0);
    zoomPicture1(139, 0, frame);
    RgbFrame bigger = filledFrame(0);
    blitScaledPicture(bigger, Picture1, -4, -2, 88, 55);
    expectFramesEqual(frame, bigger, "zoomPicture1(139, 0)");
}

TEST(ZoomPicture, StartsMagnifiedAndCentred) {
    RgbFrame frame = filledFrame(0);
    zoomPicture0(101, 0, frame);
    RgbFrame expected = filledFrame(0);
    referenceBlit(expected, Picture0, -156, -97, 392, 245);
    expectFramesEqual(frame, expected, "zoomPicture0(101, 0)");

    // The two zooms differ only in their picture; the size follows second - first.
    frame = filledFrame(0);
    zoomPicture1(1101, 1000, frame);
    expected = filledFrame(0);
    referenceBlit(expected, Picture1, -156, -97, 392, 245);
    expectFramesEqual(frame, expected, "zoomPicture1(1101, 1000)");

    // Extreme arguments draw some size without overflowing.
    frame = filledFrame(0);
    zoomPicture0(INT32_MIN, INT32_MAX, frame);
    zoomPicture0(INT32_MAX, INT32_MIN, frame);
}

TEST(CrossFadePictures, MovesFiveLevelsAStepAndStopsAtTheTarget) {
    std::vector<uint8_t> from(kPictureBytes), to(kPictureBytes);
    for (int p = 0; p < kFramePixels; ++p) {
        from[p * 3 + 0] = 200;
        to[p * 3 + 0] = 0;
        from[p * 3 + 1] = 0;
        to[p * 3 + 1] = 30;
        from[p * 3 + 2] = static_cast<uint8_t>(p);
        to[p * 3 + 2] = static_cast<uint8_t>(p);
    }
    RgbFrame frame = filledFrame(0xffffffff);
    crossFadePictures(10, frame, from.data(), to.data());
    for (int p = 0; p < kFramePixels; ++p) {
        ASSERT_EQ(frame.pixels[p], packPixel(150, 30, static_cast<uint8_t>(p))) << p;
    }
    crossFadePictures(39, frame, from.data(), to.data());
    EXPECT_EQ(frame.pixels[0], packPixel(5, 30, 0));
    crossFadePictures(40, frame, from.data(), to.data());
    EXPECT_EQ(frame.pixels[0], packPixel(0, 30, 0));
}

TEST(CrossFadePictures, StepZeroCopiesFromAndStepFiftyOneCopiesTo) {
    // Full-range channels in both directions: 0 <-> 255 takes exactly 51 steps.
    std::vector<uint8_t> from(kPictureBytes), to(kPictureBytes);
    for (int i = 0; i < kPictureBytes; ++i) {
        from[i] = static_cast<uint8_t>(i % 2 ? 255 : i * 7);
        to[i] = static_cast<uint8_t>(i % 2 ? 0 : 255 - i * 13);
    }
    auto expectPicture = [](const RgbFrame& frame, const std::vector<uint8_t>& picture,
                            int32_t step) {
        for (int p = 0; p < kFramePixels; ++p) {
            ASSERT_EQ(frame.pixels[p], picturePixel(picture.data(), p % 80, p / 80))
                << "step " << step << " pixel " << p;
        }
    };
    RgbFrame frame = filledFrame(0xffffffff);
    crossFadePictures(0, frame, from.data(), to.data());
    expectPicture(frame, from, 0);
    crossFadePictures(50, frame, from.data(), to.data());
    EXPECT_EQ(frame.pixels[0] >> 8 & 0xff, 5u) << "255 to 0 still one step short at step 50";
    for (int32_t step : {51, 52, 100, 429496729, 429496730, INT32_MAX}) {
        frame = filledFrame(0xffffffff);
        crossFadePictures(step, frame, from.data(), to.data());
        expectPicture(frame, to, step);
    }
    // A negative step does not move the channels out of range: it shows the picture from.
    for (int32_t step : {-1, -52, INT32_MIN}) {
        frame = filledFrame(0xffffffff);
        crossFadePictures(step, frame, from.data(), to.data());
        expectPicture(frame, from, step);
    }
}

TEST(DrawBanner, CopiesEightyColumnsInGreyIntoRowsSixToTwentyOne) {
    const int32_t offset = 600;
    RgbFrame frame = filledFrame(0x0a0b0c);
    drawBanner(frame, ScrollBanner, offset);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 80; ++x) {
            uint32_t expected = 0x0a0b0c;
            if (y >= 6 && y < 22) {
                const uint32_t v = ScrollBanner[(y - 6) * kBannerWidth + offset + x];
                expected = v << 16 | v << 8 | v;
            }
            ASSERT_EQ(frame.pixels[y * 80 + x], expected) << x << "," << y;
        }
    }
}

TEST(DrawBanner, ColumnsOutsideTheBannerAreBlack) {
    // Offset 1199: banner column 1199 in frame column 0, black after it.
    RgbFrame frame = filledFrame(0x0a0b0c);
    drawBanner(frame, ScrollBanner, 1199);
    int ink = 0;
    for (int r = 0; r < 16; ++r) {
        const uint32_t v = ScrollBanner[r * kBannerWidth + 1199];
        EXPECT_EQ(frame.pixels[(6 + r) * 80], v << 16 | v << 8 | v);
        ink += v != 0;
        for (int x = 1; x < 80; ++x)
            ASSERT_EQ(frame.pixels[(6 + r) * 80 + x], 0u) << x;
    }
    EXPECT_GT(ink, 0) << "the text reaches the last column";
    EXPECT_EQ(frame.pixels[5 * 80], 0x0a0b0cu);
    EXPECT_EQ(frame.pixels[22 * 80], 0x0a0b0cu);

    // Negative offsets: the columns before the banner are black, the rest is the banner.
    for (int32_t offset : {-1, -79, -80, -1000, INT32_MIN}) {
        frame = filledFrame(0x0a0b0c);
        drawBanner(frame, ScrollBanner, offset);
        for (int r = 0; r < 16; ++r) {
            for (int x = 0; x < 80; ++x) {
                const int64_t column = int64_t{offset} + x;
                const uint32_t v = column >= 0 ? ScrollBanner[r * kBannerWidth + column] : 0;
                ASSERT_EQ(frame.pixels[(6 + r) * 80 + x], v << 16 | v << 8 | v)
                    << "offset " << offset << " column " << x;
            }
        }
    }
}

TEST(DrawBanner, OffsetsPastTheBannerDrawNothing) {
    for (int32_t offset : {1200, 1201, INT32_MAX}) {
        RgbFrame frame = filledFrame(0x0a0b0c);
        drawBanner(frame, ScrollBanner, offset);
        for (uint32_t pixel : frame.pixels)
            ASSERT_EQ(pixel, 0x0a0b0cu) << offset;
    }
}

}  // namespace
