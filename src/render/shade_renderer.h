// The colour text renderer: every cell is either a full block in one console colour or one of
// the three shade characters blending two console colours.
#pragma once
#include <cstdint>

#include "render/text_renderer.h"

// Table entries: 262144, indexed by red6 * 4096 + green6 * 64 + blue6 (6-bit channels).
constexpr int32_t kShadeTableSize = 262144;

class ShadeRenderer final : public TextRenderer {
  public:
    // The best cell for a colour of 6-bit channels (0..63): the nearest console colour as a
    // full block, unless a blend of that colour with another (or with itself) in a shade
    // character is strictly nearer. Squared distances; ties go to the lower colour number
    // and to the earlier blend.
    uint16_t cellForColour(int32_t r, int32_t g, int32_t b) const override;
    // Stores cellForColour of every 6-bit colour; flags are ignored.
    void buildTable(int32_t flags) override;
    // One pixel per cell.
    void render1x1(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                   int32_t cellY, CellFrame& cells) const override;
    // The channel-wise truncated average of a 2 by 2 block per cell.
    void render2x2(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                   int32_t cellY, CellFrame& cells) const override;
    // The channel-wise truncated average of a 4 by 4 block per cell.
    void render4x4(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                   int32_t cellY, CellFrame& cells) const override;
};
