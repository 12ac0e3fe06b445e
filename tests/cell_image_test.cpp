#include "render/cell_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

struct Rgb {
    int red, green, blue;
    bool operator==(const Rgb&) const = default;
};

Rgb pixelAt(const std::vector<uint8_t>& image, int x, int y) {
    const uint8_t* p = &image[(y * kCellImageWidth + x) * 3];
    return {p[0], p[1], p[2]};
}

TEST(CellImage, GlyphInkInTheForegroundOnTheBackground) {
    CellFrame frame{};
    frame.cells[0] = makeCell(219, 0x1e);             // full block, yellow on blue
    frame.cells[1] = makeCell(' ', 0x4f);             // blank, white on red
    frame.cells[49 * 80 + 79] = makeCell('A', 0x87);  // light grey on dark grey
    std::vector<uint8_t> image(kCellImageBytes, 0x55);
    drawCellImage(frame, image.data());

    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 8; ++x) {
            ASSERT_EQ(pixelAt(image, x, y), (Rgb{255, 255, 85})) << x << "," << y;
            ASSERT_EQ(pixelAt(image, 8 + x, y), (Rgb{170, 0, 0})) << x << "," << y;
        }
    }
    // The last cell: the glyph's own bits, ink light grey, paper the usual dark grey.
    int ink = 0;
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool set = GlyphFont['A'][y] >> (7 - x) & 1;
            ink += set;
            ASSERT_EQ(pixelAt(image, 79 * 8 + x, 49 * 12 + y),
                      set ? (Rgb{170, 170, 170}) : (Rgb{85, 85, 85}));
        }
    }
    EXPECT_GT(ink, 10);
    // An all-zero cell is black.
    EXPECT_EQ(pixelAt(image, 320, 300), (Rgb{0, 0, 0}));
}

// The canvas's pixels are the PNG's pixels with an opaque alpha, for every character in every
// pair of colours.
TEST(CellImage, CanvasPixelsAreThePngPixels) {
    CellFrame frame{};
    std::mt19937 random(12);
    for (int k = 0; k < kScreenCells; ++k)
        frame.cells[k] = makeCell(static_cast<uint8_t>(k), static_cast<uint8_t>(random()));
    std::vector<uint8_t> rgb(kCellImageBytes);
    std::vector<uint32_t> rgba(kCellImagePixels, 0x12345678);
    drawCellImage(frame, rgb.data());
    drawCellImageRgba(frame, rgba.data());
    for (int k = 0; k < kCellImagePixels; ++k) {
        uint8_t bytes[4];
        std::memcpy(bytes, &rgba[k], 4);
        ASSERT_EQ((Rgb{bytes[0], bytes[1], bytes[2]}),
                  (Rgb{rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2]}))
            << "pixel " << k % kCellImageWidth << "," << k / kCellImageWidth;
        ASSERT_EQ(bytes[3], 255);
    }
}

}  // namespace
