// The pixel buffers that the scenes draw into and the renderers read.
#pragma once
#include <cstdint>

// Pixel words: red in bits 0-7, green in bits 8-15, blue in bits 16-23, bits 24-31 zero.
inline uint32_t packPixel(uint32_t red, uint32_t green, uint32_t blue) {
    return blue << 16 | green << 8 | red;
}

constexpr int kFrameWidth = 80;
constexpr int kFrameHeight = 50;
constexpr int kFramePixels = kFrameWidth * kFrameHeight;

constexpr int kLargeWidth = 160;
constexpr int kLargeHeight = 100;
constexpr int kLargePixels = kLargeWidth * kLargeHeight;

// 80 by 50 pixel words, row-major.
struct RgbFrame {
    uint32_t pixels[kFramePixels];
};

// 160 by 100 pixel words, row-major, filled from an intensity buffer through its palette.
struct LargeFrame {
    uint32_t pixels[kLargePixels];
};

// 160 by 100 brightness bytes, row-major, 0 dark to 255 bright.
struct IntensityBuffer {
    uint8_t pixels[kLargePixels];
};
