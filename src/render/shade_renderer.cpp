#include "render/shade_renderer.h"

#include <algorithm>
#include <memory>

#include "data/console_palette.h"
#include "render/cell_blocks.h"

namespace {

constexpr uint8_t kFullBlock = 219;
constexpr uint8_t kLightShade = 176;   // about 1/4 of the cell in the foreground colour
constexpr uint8_t kMediumShade = 177;  // 1/2
constexpr uint8_t kDarkShade = 178;    // 3/4

constexpr int32_t kColours = 16;
constexpr int32_t kBlendsPerColour = kColours * 3;
constexpr int32_t kLevels = 64;  // values of a 6-bit channel

uint16_t cellWord(int32_t foreground, int32_t background, uint8_t character) {
    return static_cast<uint16_t>((foreground + 16 * background) * 256 + character);
}

struct Colour {
    int32_t red, green, blue;
};

Colour paletteColour(int32_t number) {
    const PaletteColour& c = ConsolePalette[number];
    return Colour{c.red, c.green, c.blue};
}

struct Blend {
    Colour colour;
    uint16_t cell;
};

// Blend number order (0, 1, 2) of the nearest solid colour d with colour j: half and half,
// 3/4 of j, 1/4 of j. Each term is truncated on its own. The higher-numbered colour of the
// pair is the foreground, and the character gives the foreground its share.
Blend blendOf(int32_t d, int32_t j, int32_t order) {
    const Colour cd = paletteColour(d), cj = paletteColour(j);
    switch (order) {
        case 0:
            return Blend{
                {(cd.red + cj.red) / 2, (cd.green + cj.green) / 2, (cd.blue + cj.blue) / 2},
                j > d ? cellWord(j, d, kMediumShade) : cellWord(d, j, kMediumShade)};
        case 1:
            return Blend{{3 * cj.red / 4 + cd.red / 4, 3 * cj.green / 4 + cd.green / 4,
                          3 * cj.blue / 4 + cd.blue / 4},
                         j > d ? cellWord(j, d, kDarkShade) : cellWord(d, j, kLightShade)};
        default:
            return Blend{{cj.red / 4 + 3 * cd.red / 4, cj.green / 4 + 3 * cd.green / 4,
                          cj.blue / 4 + 3 * cd.blue / 4},
                         j >= d ? cellWord(j, d, kLightShade) : cellWord(d, j, kDarkShade)};
    }
}

// Unsigned 64 bits hold the distance of any two colours of 32-bit components (each square is
// below 2^63, the sum below 2^64), so no argument can overflow the arithmetic.
uint64_t squaredDistance(const Colour& c, int32_t r, int32_t g, int32_t b) {
    const int64_t dr = int64_t{c.red} - r, dg = int64_t{c.green} - g, db = int64_t{c.blue} - b;
    return static_cast<uint64_t>(dr * dr) + static_cast<uint64_t>(dg * dg) +
           static_cast<uint64_t>(db * db);
}

// The matching rules, one colour at a time.
uint16_t matchColour(int32_t r, int32_t g, int32_t b) {
    int32_t d = 0;
    uint64_t best = squaredDistance(paletteColour(0), r, g, b);
    for (int32_t i = 1; i < kColours; ++i) {
        const uint64_t distance = squaredDistance(paletteColour(i), r, g, b);
        if (distance < best) {
            best = distance;
            d = i;
        }
    }
    uint16_t cell = cellWord(d, 0, kFullBlock);
    for (int32_t j = 0; j < kColours; ++j) {
        for (int32_t order = 0; order < 3; ++order) {
            const Blend blend = blendOf(d, j, order);
            const uint64_t distance = squaredDistance(blend.colour, r, g, b);
            if (distance < best) {
                best = distance;
                cell = blend.cell;
            }
        }
    }
    return cell;
}

// Squared distance of a channel value from the nearest and from the farthest 6-bit value.
int64_t nearestSquare(int64_t c) {
    return c < 0 ? c * c : c > 63 ? (c - 63) * (c - 63) : 0;
}
int64_t farthestSquare(int64_t c) {
    return std::max(c * c, (63 - c) * (63 - c));
}
int64_t distanceToCube(const Colour& c) {
    return nearestSquare(c.red) + nearestSquare(c.green) + nearestSquare(c.blue);
}
int64_t farthestInCube(const Colour& c) {
    return farthestSquare(c.red) + farthestSquare(c.green) + farthestSquare(c.blue);
}

// The whole table at once, with the same results as matchColour for every colour.
//
// The matching rules amount to two minimum searches: the solid pass takes the smallest
// (distance, colour number), the blend pass the smallest (distance, blend position) among
// the 48 blends of d, which replaces the solid cell only if its distance is smaller. Keys
// distance << 4 | number and distance << 6 | position turn both into plain minimums, and
// each squared distance is the sum of a red, a green and a blue term that are tabulated
// once, so the search over a colour is a vectorisable loop of additions and minimums.
//
// No colour of the cube is farther from its nearest solid colour than `bound` (the
// smallest, over the palette, of a colour's largest distance to the cube). A solid colour
// or blend whose distance to the cube exceeds it can never be chosen and is left out; that
// drops every blend with colour 8 (9999 in each channel). Returns false, leaving the work
// to matchColour, if the kept distances could overflow their keys.
class ShadeTableBuilder {
  public:
    bool build(uint16_t* table);

  private:
    static constexpr int32_t kExcluded = 1 << 30;  // larger than any key of a kept entry
    static constexpr int64_t kMaxDistance = int64_t{1} << 24;

    bool prepare();

    uint16_t solidCell[kColours];
    int32_t solidRed[kLevels][kColours], solidGreen[kLevels][kColours],
        solidBlue[kLevels][kColours];
    uint16_t blendCell[kColours][kBlendsPerColour];
    int32_t blendRed[kLevels][kColours][kBlendsPerColour];
    int32_t blendGreen[kLevels][kColours][kBlendsPerColour];
    int32_t blendBlue[kLevels][kColours][kBlendsPerColour];
};

bool ShadeTableBuilder::prepare() {
    int64_t bound = INT64_MAX;
    for (int32_t i = 0; i < kColours; ++i)
        bound = std::min(bound, farthestInCube(paletteColour(i)));

    // Per channel value v: the term (c - v)^2 shifted into key position, with the entry's
    // number or position in the red term; an excluded entry gets kExcluded there and zero in
    // the other terms.
    auto fill = [](const Colour& c, bool kept, int32_t shift, int32_t low, int32_t* red,
                   int32_t* green, int32_t* blue, int32_t stride) {
        for (int32_t v = 0; v < kLevels; ++v) {
            const int32_t dr = c.red - v, dg = c.green - v, db = c.blue - v;
            red[v * stride] = kept ? (dr * dr) << shift | low : kExcluded;
            green[v * stride] = kept ? (dg * dg) << shift : 0;
            blue[v * stride] = kept ? (db * db) << shift : 0;
        }
    };
    for (int32_t i = 0; i < kColours; ++i) {
        const Colour c = paletteColour(i);
        const bool kept = distanceToCube(c) <= bound;
        if (kept && farthestInCube(c) >= kMaxDistance) return false;
        solidCell[i] = cellWord(i, 0, kFullBlock);
        fill(c, kept, 4, i, &solidRed[0][i], &solidGreen[0][i], &solidBlue[0][i], kColours);
    }
    for (int32_t d = 0; d < kColours; ++d) {
        for (int32_t k = 0; k < kBlendsPerColour; ++k) {
            const Blend blend = blendOf(d, k / 3, k % 3);
            const bool kept = distanceToCube(blend.colour) <= bound;
            if (kept && farthestInCube(blend.colour) >= kMaxDistance) return false;
            blendCell[d][k] = blend.cell;
            const int32_t stride = kColours * kBlendsPerColour;
            fill(blend.colour, kept, 6, k, &blendRed[0][d][k], &blendGreen[0][d][k],
                 &blendBlue[0][d][k], stride);
        }
    }
    return true;
}

bool ShadeTableBuilder::build(uint16_t* table) {
    if (!prepare()) return false;
    for (int32_t r = 0; r < kLevels; ++r) {
        for (int32_t g = 0; g < kLevels; ++g) {
            // The red and green terms of every entry, shared by the 64 blues of this row.
            int32_t solidRedGreen[kColours];
            for (int32_t i = 0; i < kColours; ++i)
                solidRedGreen[i] = solidRed[r][i] + solidGreen[g][i];
            int32_t blendRedGreen[kColours][kBlendsPerColour];
            for (int32_t d = 0; d < kColours; ++d)
                for (int32_t k = 0; k < kBlendsPerColour; ++k)
                    blendRedGreen[d][k] = blendRed[r][d][k] + blendGreen[g][d][k];

            uint16_t* out = table + (r * kLevels + g) * kLevels;
            for (int32_t b = 0; b < kLevels; ++b) {
                int32_t solidKey = INT32_MAX;
                for (int32_t i = 0; i < kColours; ++i)
                    solidKey = std::min(solidKey, solidRedGreen[i] + solidBlue[b][i]);
                const int32_t d = solidKey & 15;
                int32_t blendKey = INT32_MAX;
                for (int32_t k = 0; k < kBlendsPerColour; ++k)
                    blendKey = std::min(blendKey, blendRedGreen[d][k] + blendBlue[b][d][k]);
                out[b] =
                    (blendKey >> 6) < (solidKey >> 4) ? blendCell[d][blendKey & 63] : solidCell[d];
            }
        }
    }
    return true;
}

// Table index of a pixel word: the top six bits of red, green and blue.
inline uint32_t indexOf(uint32_t red, uint32_t green, uint32_t blue) {
    return (red >> 2) << 12 | (green >> 2) << 6 | blue >> 2;
}

}  // namespace

uint16_t ShadeRenderer::cellForColour(int32_t r, int32_t g, int32_t b) const {
    return matchColour(r, g, b);
}

void ShadeRenderer::buildTable(int32_t) {
    cellTable.reset();
    // Left uninitialised: the table is filled whole. (The standard library of the web build
    // lacks make_unique_for_overwrite.)
    cellTable.reset(new uint16_t[kShadeTableSize]);
    const auto builder = std::make_unique<ShadeTableBuilder>();
    if (builder->build(cellTable.get())) return;
    for (int32_t r = 0; r < kLevels; ++r)
        for (int32_t g = 0; g < kLevels; ++g)
            for (int32_t b = 0; b < kLevels; ++b)
                cellTable[(r * kLevels + g) * kLevels + b] = cellForColour(r, g, b);
}

void ShadeRenderer::render1x1(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                              int32_t cellY, CellFrame& cells) const {
    const uint16_t* table = cellTable.get();
    convertBlocks<1>(pixels, rect, pitch, cellX, cellY, cells, [table](const uint32_t* p, int32_t) {
        return table[indexOf(p[0] & 0xff, p[0] >> 8 & 0xff, p[0] >> 16 & 0xff)];
    });
}

// Red and blue are summed together in one word (red in bits 0-15, blue in bits 16-31) and
// green in another; no sum of up to 16 channels exceeds 16 * 255, so the fields never carry
// into each other.
void ShadeRenderer::render2x2(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                              int32_t cellY, CellFrame& cells) const {
    const uint16_t* table = cellTable.get();
    convertBlocks<2>(
        pixels, rect, pitch, cellX, cellY, cells, [table](const uint32_t* p, int32_t pitch) {
            const uint32_t a = p[0], b = p[1], c = p[pitch], d = p[pitch + 1];
            const uint32_t redBlue =
                (a & 0xff00ff) + (b & 0xff00ff) + (c & 0xff00ff) + (d & 0xff00ff);
            const uint32_t green =
                (a >> 8 & 0xff) + (b >> 8 & 0xff) + (c >> 8 & 0xff) + (d >> 8 & 0xff);
            return table[indexOf((redBlue & 0xffff) / 4, green / 4, (redBlue >> 16) / 4)];
        });
}

void ShadeRenderer::render4x4(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                              int32_t cellY, CellFrame& cells) const {
    const uint16_t* table = cellTable.get();
    convertBlocks<4>(
        pixels, rect, pitch, cellX, cellY, cells, [table](const uint32_t* p, int32_t pitch) {
            uint32_t redBlue = 0, green = 0;
            for (int32_t y = 0; y < 4; ++y, p += pitch) {
                for (int32_t x = 0; x < 4; ++x) {
                    redBlue += p[x] & 0xff00ff;
                    green += p[x] >> 8 & 0xff;
                }
            }
            return table[indexOf((redBlue & 0xffff) / 16, green / 16, (redBlue >> 16) / 16)];
        });
}
