// Drawing into an 80 by 50 colour frame: pixels, scaled pictures, zooms, cross-fades and the
// scroll banner. Pictures are 80 by 50 pixels of 3 bytes (red, green, blue), kPictureBytes long.
#pragma once
#include <cstdint>

#include "fx/frames.h"

// Stores the pixel if 0 <= x < 80 and 0 <= y < 50; otherwise does nothing.
void putPixel(RgbFrame& frame, int32_t x, int32_t y, int32_t r, int32_t g, int32_t b);

// Draws the whole picture scaled to width by height pixels with its top-left corner at (x, y),
// nearest-neighbour, clipped at the frame's edges.
void blitScaledPicture(RgbFrame& frame, const uint8_t* picture, int32_t x, int32_t y, int32_t width,
                       int32_t height);

// Draws the picture centred at a size that follows from second - first: 8n by 5n pixels for
// n = second - first + 150, and never smaller than the frame.
void zoomPicture(const uint8_t* picture, int32_t first, int32_t second, RgbFrame& frame);

// Overwrites the frame with from, every channel moved 5 x step levels toward to.
void crossFadePictures(int32_t step, RgbFrame& frame, const uint8_t* from, const uint8_t* to);

// Overwrites frame rows 6 to 21 with the 80 banner columns from offset on, in grey. The
// banner is kBannerHeight rows of kBannerWidth bytes, 0 (background) to 255 (ink).
void drawBanner(RgbFrame& frame, const uint8_t* banner, int32_t offset);
