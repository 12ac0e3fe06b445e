// Code page 437 glyphs as UTF-8, for terminals that show Unicode text.
#pragma once
#include <array>
#include <cstdint>

struct Utf8Glyph {
    char bytes[4];
    uint8_t length;
};

// The Unicode code point of each character code (0 maps to U+0020, a blank).
extern const char32_t kCp437CodePoints[256];

// The UTF-8 text of each character code 0..255 as code page 437 draws it: the code points above
// encoded, so that code 0 is a blank too.
extern const std::array<Utf8Glyph, 256> kCp437Utf8;
