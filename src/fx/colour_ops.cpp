#include "fx/colour_ops.h"

#include <algorithm>
#include <cstring>

#include "data/assets.h"

namespace {

// The largest zoom factor that keeps 8n inside 32 bits. Far beyond any size the scenes use:
// from a width of 5242880 on the 16.16 step is 0 and every pixel shows the picture's corner.
constexpr int64_t kLargestZoom = INT32_MAX / 8;

}  // namespace

void putPixel(RgbFrame& frame, int32_t x, int32_t y, int32_t r, int32_t g, int32_t b) {
    if (x < 0 || x >= kFrameWidth || y < 0 || y >= kFrameHeight) return;
    // Channels are bytes: a value outside 0..255 keeps its low 8 bits and cannot spill into
    // the neighbouring channel.
    frame.pixels[y * kFrameWidth + x] =
        packPixel(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
}

void blitScaledPicture(RgbFrame& frame, const uint8_t* picture, int32_t x, int32_t y, int32_t width,
                       int32_t height) {
    if (width <= 0 || height <= 0) return;
    // 16.16 source steps; (j * stepX) >> 16 stays below 80 and (i * stepY) >> 16 below 50.
    const int64_t stepX = (int64_t{kFrameWidth} << 16) / width;
    const int64_t stepY = (int64_t{kFrameHeight} << 16) / height;

    // Only the destination positions inside the frame are visited; every skipped position
    // would have been clipped anyway, so the frame ends up the same.
    const int64_t firstJ = std::max<int64_t>(0, -int64_t{x});
    const int64_t endJ = std::min<int64_t>(width, int64_t{kFrameWidth} - x);
    const int64_t firstI = std::max<int64_t>(0, -int64_t{y});
    const int64_t endI = std::min<int64_t>(height, int64_t{kFrameHeight} - y);
    if (firstJ >= endJ || firstI >= endI) return;

    int32_t sourceColumn[kFrameWidth];
    for (int64_t j = firstJ; j < endJ; ++j) {
        sourceColumn[j - firstJ] = static_cast<int32_t>((j * stepX) >> 16);
    }
    const int columns = static_cast<int>(endJ - firstJ);
    for (int64_t i = firstI; i < endI; ++i) {
        const uint8_t* sourceRow = picture + ((i * stepY) >> 16) * kFrameWidth * 3;
        uint32_t* out = frame.pixels + (y + i) * kFrameWidth + (x + firstJ);
        for (int c = 0; c < columns; ++c) {
            const uint8_t* p = sourceRow + sourceColumn[c] * 3;
            out[c] = packPixel(p[0], p[1], p[2]);
        }
    }
}

void zoomPicture(const uint8_t* picture, int32_t first, int32_t second, RgbFrame& frame) {
    int64_t n = int64_t{second} - first + 150;
    n = std::min(n, kLargestZoom);
    int32_t width = 80;
    int32_t height = 50;
    if (8 * n >= 80) {
        width = static_cast<int32_t>(8 * n);
        height = static_cast<int32_t>(5 * n);
    }
    blitScaledPicture(frame, picture, 40 - width / 2, 25 - height / 2, width, height);
}

void crossFadePictures(int32_t step, RgbFrame& frame, const uint8_t* from, const uint8_t* to) {
    // From step 51 on every channel has reached its target, so the amount is capped at 255:
    // the same picture, and no overflow of 5 x step. A negative step counts as 0 (the
    // picture from): moving away from the target would leave the 0..255 range.
    const int amount = static_cast<int>(std::clamp<int64_t>(int64_t{step} * 5, 0, 255));
    for (int p = 0; p < kFramePixels; ++p) {
        uint32_t channel[3];
        for (int c = 0; c < 3; ++c) {
            const int f = from[p * 3 + c];
            const int t = to[p * 3 + c];
            channel[c] =
                static_cast<uint32_t>(f > t ? std::max(f - amount, t) : std::min(f + amount, t));
        }
        frame.pixels[p] = packPixel(channel[0], channel[1], channel[2]);
    }
}

void drawBanner(RgbFrame& frame, const uint8_t* banner, int32_t offset) {
    if (offset >= kBannerWidth) return;
    constexpr int kFirstRow = 6;
    for (int r = 0; r < kBannerHeight; ++r) {
        const uint8_t* bannerRow = banner + r * kBannerWidth;
        uint32_t* out = frame.pixels + (kFirstRow + r) * kFrameWidth;
        for (int c = 0; c < kFrameWidth; ++c) {
            const int64_t column = int64_t{offset} + c;
            const uint32_t v = column >= 0 && column < kBannerWidth ? bannerRow[column] : 0;
            out[c] = packPixel(v, v, v);
        }
    }
}
