// The intensity pictures of the point scenes: a zooming warp through two index tables, a
// decaying blur, perspective point splats, and a palette that drifts with the frame number
// and maps the bytes to colour pixels.
#pragma once
#include <cstdint>

#include "fx/frames.h"

// Source row (0..99) of every destination row and source column (0..159) of every
// destination column of warpIntensity; filled by the caller before each warp.
struct WarpTables {
    int32_t rows[kLargeHeight];    // warpRowTable
    int32_t columns[kLargeWidth];  // warpColumnTable
};
WarpTables& warpTables();

// Three separate channels of 256 entries each, indexed by intensity, each entry 0..63.
struct PaletteChannels {
    int32_t red[256];
    int32_t green[256];
    int32_t blue[256];
};
// IntensityPalette, as updatePalette left it.
const PaletteChannels& intensityPalette();

// dst(x, y) = src(warpColumnTable[x], warpRowTable[y]) for every pixel. The table entries are
// not checked. src and dst are different buffers.
void warpIntensity(const IntensityBuffer& src, IntensityBuffer& dst);

// The mean of the eight neighbours less 16 (not below 0) into the inner pixels of dst, 0 into
// columns 0 and 159 of rows 1..98; rows 0 and 99 of dst are left as they are.
void blurIntensity(const IntensityBuffer& src, IntensityBuffer& dst);

// Projects (x, y, z) onto the buffer with depth viewDistance + z (centre (80, 50), 80 pixels
// per unit of x / depth) and adds a 2 by 2 splat weighing 49 in all, each pixel saturating at
// 255. Points outside 0..159 by 0..99 (inclusive), and positions that are not numbers, are
// dropped.
void plotPoint(IntensityBuffer& buffer, float x, float y, float z, float viewDistance);

// Recomputes all three channels of IntensityPalette for the frame number.
void updatePalette(int32_t frame);

// out[i] = the palette colour of in[i], the 0..63 values stored as the 8-bit channels.
void applyPalette(LargeFrame& out, const IntensityBuffer& in);
