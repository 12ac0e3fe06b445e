#include "fx/intensity.h"

#include <cmath>

namespace {

WarpTables warp;
PaletteChannels IntensityPalette;

constexpr int kW = kLargeWidth;
constexpr int kH = kLargeHeight;

// Light lost by every pixel in each blur pass, so that trails fade unless they are fed.
constexpr int kBlurDecay = 16;

void addSaturated(uint8_t& pixel, int amount) {
    const int sum = pixel + amount;
    pixel = static_cast<uint8_t>(sum > 255 ? 255 : sum);
}

// One channel rises linearly from 0 at entry 0 to peak at entry 128, then on toward 63.
void fillChannel(int32_t (&channel)[256], int32_t peak) {
    for (int k = 0; k < 128; ++k)
        channel[k] = k * peak / 128;
    for (int k = 128; k < 256; ++k)
        channel[k] = peak + (k - 128) * (63 - peak) / 128;
}

// The peak of one channel: the period is divisor frames times 2 pi, and the reciprocal is the
// single-precision one, widened before the rest is done in double.
int32_t channelPeak(double t, float reciprocal) {
    return static_cast<int32_t>(cos(t * static_cast<double>(reciprocal) + 0.12265625) * 31 + 32);
}

}  // namespace

WarpTables& warpTables() {
    return warp;
}

const PaletteChannels& intensityPalette() {
    return IntensityPalette;
}

void warpIntensity(const IntensityBuffer& src, IntensityBuffer& dst) {
    for (int y = 0; y < kH; ++y) {
        const uint8_t* from = src.pixels + warp.rows[y] * kW;
        uint8_t* to = dst.pixels + y * kW;
        for (int x = 0; x < kW; ++x)
            to[x] = from[warp.columns[x]];
    }
}

void blurIntensity(const IntensityBuffer& src, IntensityBuffer& dst) {
    for (int y = 1; y < kH - 1; ++y) {
        const uint8_t* above = src.pixels + (y - 1) * kW;
        const uint8_t* here = src.pixels + y * kW;
        const uint8_t* below = src.pixels + (y + 1) * kW;
        uint8_t* to = dst.pixels + y * kW;
        to[0] = 0;
        for (int x = 1; x < kW - 1; ++x) {
            const int sum = above[x - 1] + above[x] + above[x + 1] + here[x - 1] + here[x + 1] +
                            below[x - 1] + below[x] + below[x + 1];
            const int mean = sum >> 3;
            to[x] = static_cast<uint8_t>(mean > kBlurDecay ? mean - kBlurDecay : 0);
        }
        to[kW - 1] = 0;
    }
}

void plotPoint(IntensityBuffer& buffer, float x, float y, float z, float viewDistance) {
    // Every step in single precision, so that the splats fall on the same eighths everywhere.
    const float w = 1.0f / (viewDistance + z);
    const float sx = (x * w + 1.0f) * 80.0f;
    const float sy = y * w * 80.0f + 50.0f;
    // Written so that a NaN fails the test and the point is dropped.
    if (!(sx >= 0.0f && sx <= 159.0f && sy >= 0.0f && sy <= 99.0f)) return;

    const int ix = static_cast<int>(sx * 8.0f);
    const int iy = static_cast<int>(sy * 8.0f);
    const int cx = ix >> 3;
    const int cy = iy >> 3;
    const int fx = ix & 7;
    const int fy = iy & 7;
    // The complements are 7 - f: the four weights add up to 49.
    uint8_t* p = buffer.pixels + cy * kW + cx;
    addSaturated(p[0], (7 - fx) * (7 - fy));
    // On the last column or row the fraction is 0: the neighbour beyond would get nothing, and
    // it lies outside the buffer, so it is not touched.
    if (cx + 1 < kW) addSaturated(p[1], fx * (7 - fy));
    if (cy + 1 < kH) {
        addSaturated(p[kW], (7 - fx) * fy);
        if (cx + 1 < kW) addSaturated(p[kW + 1], fx * fy);
    }
}

void updatePalette(int32_t frame) {
    const double t = frame;
    fillChannel(IntensityPalette.red, channelPeak(t, 1.0f / 74));
    fillChannel(IntensityPalette.green, channelPeak(t, 1.0f / 63));
    fillChannel(IntensityPalette.blue, channelPeak(t, 1.0f / 81));
}

void applyPalette(LargeFrame& out, const IntensityBuffer& in) {
    for (int i = 0; i < kLargePixels; ++i) {
        const int v = in.pixels[i];
        out.pixels[i] = packPixel(static_cast<uint32_t>(IntensityPalette.red[v]),
                                  static_cast<uint32_t>(IntensityPalette.green[v]),
                                  static_cast<uint32_t>(IntensityPalette.blue[v]));
    }
}
