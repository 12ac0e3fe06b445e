// Code page 437 glyphs as UTF-8, for terminals that show Unicode text.
#pragma once
#include <cstdint>

struct Utf8Glyph {
    char bytes[4];
    uint8_t length;
};

// The UTF-8 text of each character code 0..255 as code page 437 draws it; code 0 is a blank.
extern const Utf8Glyph kCp437Utf8[256];

// The Unicode code point of each character code (0 maps to U+0020, a blank).
extern const char32_t kCp437CodePoints[256];
