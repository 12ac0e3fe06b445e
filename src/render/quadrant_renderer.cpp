#include "render/quadrant_renderer.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <memory>

#include "render/cell_blocks.h"

namespace {

constexpr uint16_t kLightGreyOnBlack = 0x0700;

// Ink of one character in the quadrants of 4 by 6 pixels, each as count * 16 / 24 (0..16),
// in the order top-left, top-right, bottom-left, bottom-right.
struct InkLevels {
    int32_t level[4];
};

InkLevels inkLevelsOf(const uint8_t* glyph) {
    int32_t count[4] = {};
    for (int32_t row = 0; row < kGlyphHeight; ++row) {
        const int32_t half = row < kGlyphHeight / 2 ? 0 : 2;
        count[half] += std::popcount(static_cast<uint8_t>(glyph[row] >> 4));
        count[half + 1] += std::popcount(static_cast<uint8_t>(glyph[row] & 0x0f));
    }
    InkLevels ink;
    for (int32_t q = 0; q < 4; ++q)
        ink.level[q] = count[q] * 16 / 24;
    return ink;
}

// Quadrant level of one pixel: the high nibble of its green channel.
inline uint32_t levelOf(uint32_t pixel) {
    return pixel >> 12 & 15;
}

// Level of a 2 by 2 sub-block: the high nibble of the truncated average of its greens.
inline uint32_t levelOf2x2(const uint32_t* p, int32_t pitch) {
    const uint32_t sum = (p[0] >> 8 & 0xff) + (p[1] >> 8 & 0xff) + (p[pitch] >> 8 & 0xff) +
                         (p[pitch + 1] >> 8 & 0xff);
    return sum >> 6;
}

}  // namespace

void fillQuadrantTable(const uint8_t (*glyphs)[kGlyphHeight], int32_t flags, uint16_t* table) {
    const int32_t first = (flags & 3) != 0 ? 32 : 0;
    const int32_t last = (flags & 2) != 0 ? 126 : 255;

    // Characters with the same ink levels are at the same distance from every index, so only
    // the lowest code of each set of levels can ever be stored.
    struct Candidate {
        InkLevels ink;
        int32_t code;
    };
    const std::unique_ptr<Candidate[]> candidates(new Candidate[last - first + 1]);
    int32_t count = 0;
    for (int32_t code = first; code <= last; ++code) {
        const InkLevels ink = inkLevelsOf(glyphs[code]);
        const bool seen = std::any_of(
            candidates.get(), candidates.get() + count,
            [&](const Candidate& c) { return std::equal(ink.level, ink.level + 4, c.ink.level); });
        if (!seen) candidates[count++] = Candidate{ink, code};
    }

    // The distance splits into a top part (levels p, q) and a bottom part (levels r, s). A key
    // distance << 8 | code orders by distance first and code second, so the smallest key over
    // the candidates is the entry: the nearest character, the lowest code among equals. The
    // largest key, (64 << 8) | 255, fits in 16 bits.
    const std::unique_ptr<int16_t[]> bottomKeys(new int16_t[count * 256]);
    for (int32_t c = 0; c < count; ++c) {
        const InkLevels& ink = candidates[c].ink;
        for (int32_t rs = 0; rs < 256; ++rs) {
            const int32_t distance =
                std::abs(ink.level[2] - (rs >> 4)) + std::abs(ink.level[3] - (rs & 15));
            bottomKeys[c * 256 + rs] = static_cast<int16_t>(distance << 8);
        }
    }
    for (int32_t pq = 0; pq < 256; ++pq) {
        int16_t best[256];
        std::fill(best, best + 256, INT16_MAX);
        for (int32_t c = 0; c < count; ++c) {
            const InkLevels& ink = candidates[c].ink;
            const int16_t topKey = static_cast<int16_t>(
                (std::abs(ink.level[0] - (pq >> 4)) + std::abs(ink.level[1] - (pq & 15))) << 8 |
                candidates[c].code);
            const int16_t* bottom = &bottomKeys[c * 256];
            for (int32_t rs = 0; rs < 256; ++rs)
                best[rs] = std::min(best[rs], static_cast<int16_t>(topKey + bottom[rs]));
        }
        for (int32_t rs = 0; rs < 256; ++rs)
            table[pq << 8 | rs] = static_cast<uint16_t>(kLightGreyOnBlack | (best[rs] & 0xff));
    }
}

uint16_t QuadrantRenderer::cellForColour(int32_t, int32_t g, int32_t) const {
    return cellTable[(static_cast<uint32_t>(g) >> 4 & 15) * 0x1111];
}

void QuadrantRenderer::buildTable(int32_t flags) {
    cellTable.reset();
    // Left uninitialised: the table is filled whole. (The standard library of the web build
    // lacks make_unique_for_overwrite.)
    cellTable.reset(new uint16_t[kQuadrantTableSize]);
    fillQuadrantTable(GlyphFont, flags, cellTable.get());
}

void QuadrantRenderer::render1x1(const uint32_t* pixels, SourceRect rect, int32_t pitch,
                                 int32_t cellX, int32_t cellY, CellFrame& cells) const {
    const uint16_t* table = cellTable.get();
    convertBlocks<1>(pixels, rect, pitch, cellX, cellY, cells,
                     [table](const uint32_t* p, int32_t) { return table[levelOf(p[0]) * 0x1111]; });
}

void QuadrantRenderer::render2x2(const uint32_t* pixels, SourceRect rect, int32_t pitch,
                                 int32_t cellX, int32_t cellY, CellFrame& cells) const {
    const uint16_t* table = cellTable.get();
    convertBlocks<2>(pixels, rect, pitch, cellX, cellY, cells,
                     [table](const uint32_t* p, int32_t pitch) {
                         return table[levelOf(p[0]) << 12 | levelOf(p[1]) << 8 |
                                      levelOf(p[pitch]) << 4 | levelOf(p[pitch + 1])];
                     });
}

void QuadrantRenderer::render4x4(const uint32_t* pixels, SourceRect rect, int32_t pitch,
                                 int32_t cellX, int32_t cellY, CellFrame& cells) const {
    const uint16_t* table = cellTable.get();
    convertBlocks<4>(pixels, rect, pitch, cellX, cellY, cells,
                     [table](const uint32_t* p, int32_t pitch) {
                         const uint32_t* lower = p + 2 * pitch;
                         return table[levelOf2x2(p, pitch) << 12 | levelOf2x2(p + 2, pitch) << 8 |
                                      levelOf2x2(lower, pitch) << 4 | levelOf2x2(lower + 2, pitch)];
                     });
}
