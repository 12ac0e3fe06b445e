// The monochrome text renderer: the green channel is the brightness, and each cell shows the
// character whose ink in its four quadrants best matches the brightness of the cell's
// quadrants, in light grey on black.
#pragma once
#include <cstdint>

#include "data/assets.h"
#include "render/text_renderer.h"

// Table entries: 65536, indexed by four 4-bit quadrant levels, top-left in bits 12-15,
// top-right 8-11, bottom-left 4-7, bottom-right 0-3.
constexpr int32_t kQuadrantTableSize = 65536;

class QuadrantRenderer final : public TextRenderer {
  public:
    // The cell for brightness g (0..255, only its low 8 bits count): the entry whose four
    // quadrants are all at level g >> 4. r and b are ignored.
    uint16_t cellForColour(int32_t r, int32_t g, int32_t b) const override;
    // Matches the characters of GlyphFont chosen by flags: 0..255 for flags 0, 32..255 for
    // bit 0 alone, 32..126 whenever bit 1 is set.
    void buildTable(int32_t flags) override;
    // One pixel per cell: its level on all four quadrants.
    void render1x1(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                   int32_t cellY, CellFrame& cells) const override;
    // A 2 by 2 block per cell: one pixel per quadrant.
    void render2x2(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                   int32_t cellY, CellFrame& cells) const override;
    // A 4 by 4 block per cell: each quadrant's level from the green sum of its 2 by 2
    // sub-block, shifted right by 6.
    void render4x4(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                   int32_t cellY, CellFrame& cells) const override;
};

// Fills a 65536-entry quadrant table from the glyphs of any font, with the character range
// of flags (what buildTable does with GlyphFont). For every index the entry is attribute 7
// with the character of the smallest distance, the sum over the quadrants of |ink level -
// index level|; on equal distances the lowest code.
void fillQuadrantTable(const uint8_t (*glyphs)[kGlyphHeight], int32_t flags, uint16_t* table);
