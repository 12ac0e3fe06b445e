#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "data/assets.h"
#include "fx/frames.h"

extern const unsigned char asset_pictures[];
extern const unsigned asset_pictures_size;
extern const unsigned char asset_scroll_banner[];
extern const unsigned asset_scroll_banner_size;

namespace {

TEST(Pictures, FiveOfEightyByFiftyRgbStoredInOrder) {
    EXPECT_EQ(asset_pictures_size, 5u * kPictureBytes);
    const uint8_t* const pictures[] = {Picture0, Picture1, Picture2, Picture3, Picture4};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(pictures[i], asset_pictures + i * kPictureBytes) << i;
}

TEST(Pictures, EachHasDarkAndBrightParts) {
    // Every picture is drawn full frame at some point: a blank or washed-out one is a fault
    // of the generator. Brightness here is the largest channel of a pixel.
    const uint8_t* const pictures[] = {Picture0, Picture1, Picture2, Picture3, Picture4};
    for (int i = 0; i < 5; ++i) {
        int dark = 0, bright = 0;
        for (int p = 0; p < kFramePixels; ++p) {
            const uint8_t* px = pictures[i] + p * 3;
            const int value = std::max({px[0], px[1], px[2]});
            dark += value < 64;
            bright += value >= 192;
        }
        EXPECT_GT(dark, 100) << "Picture" << i;
        EXPECT_GT(bright, 100) << "Picture" << i;
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(std::memcmp(pictures[i], pictures[j], kPictureBytes), 0) << i << " " << j;
        }
    }
}

TEST(Pictures, Picture0ReadsInGreen) {
    // Picture0 is first shown by the grey renderer, which sees only the green channel: its
    // green must span the whole range, not just its colour.
    int low = 0, high = 0;
    for (int p = 0; p < kFramePixels; ++p) {
        const uint8_t green = Picture0[p * 3 + 1];
        low += green < 32;
        high += green >= 192;
    }
    EXPECT_GT(low, 800);
    EXPECT_GT(high, 100);
}

TEST(ScrollBanner, SixteenRowsOfTwelveHundredInkOrBackgroundBytes) {
    ASSERT_EQ(asset_scroll_banner_size, static_cast<unsigned>(kBannerWidth * kBannerHeight));
    EXPECT_EQ(ScrollBanner, asset_scroll_banner);
    int ink = 0;
    for (int i = 0; i < kBannerWidth * kBannerHeight; ++i) {
        ASSERT_TRUE(ScrollBanner[i] == 0 || ScrollBanner[i] == 255) << i;
        ink += ScrollBanner[i] == 255;
    }
    EXPECT_GT(ink, 2000) << "a line of text, not a few dots";
}

TEST(ScrollBanner, BlankFirst273ColumnsAndInkInTheLast) {
    int firstInk = kBannerWidth;
    bool inkInLastColumn = false;
    for (int r = 0; r < kBannerHeight; ++r) {
        for (int c = 0; c < kBannerWidth; ++c) {
            if (ScrollBanner[r * kBannerWidth + c]) firstInk = std::min(firstInk, c);
        }
        inkInLastColumn |= ScrollBanner[r * kBannerWidth + kBannerWidth - 1] != 0;
    }
    EXPECT_GE(firstInk, 273);
    EXPECT_TRUE(inkInLastColumn);
}

}  // namespace
