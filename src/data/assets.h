// The assets compiled into the program: font, pictures, banner and song. The bytes come from
// the files of src/data (see cmake/embed.cmake); the generators in tools/ make those files.
#pragma once
#include <cstdint>

// 256 glyphs of 8 by 12 pixels in code page 437 order; 12 bytes a glyph, one per row from the
// top, bit 7 the leftmost pixel, a set bit is ink.
constexpr int kGlyphHeight = 12;
extern const uint8_t (*const GlyphFont)[kGlyphHeight];

// Five pictures of 80 by 50 pixels of 3 bytes (red, green, blue), rows from the top, stored one
// after another.
constexpr int kPictureBytes = 80 * 50 * 3;
extern const uint8_t* const Picture0;
extern const uint8_t* const Picture1;
extern const uint8_t* const Picture2;
extern const uint8_t* const Picture3;
extern const uint8_t* const Picture4;

// 16 rows of 1200 bytes, each 0 (background) or 255 (ink).
constexpr int kBannerWidth = 1200;
constexpr int kBannerHeight = 16;
extern const uint8_t* const ScrollBanner;

// The song, an XM image.
extern const uint8_t* const songImage;
extern const uint32_t songImageSize;
