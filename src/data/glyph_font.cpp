// The glyph font, compiled in from glyph_font.bin (made by tools/assets/make_font.py).
#include "data/assets.h"

extern const unsigned char asset_glyph_font[];
extern const unsigned asset_glyph_font_size;

const uint8_t (*const GlyphFont)[kGlyphHeight] =
    reinterpret_cast<const uint8_t (*)[kGlyphHeight]>(asset_glyph_font);
