#include "render/cell_image.h"

#include <cstring>

#include "cells/console_colours.h"

namespace {

// Calls put(pixel index, ink or paper) for every pixel of the picture.
template <typename Colour, typename Put>
void forEachCellPixel(const CellFrame& cells, const Colour (&colours)[16], Put put) {
    for (int row = 0; row < kScreenRows; ++row) {
        for (int column = 0; column < kScreenColumns; ++column) {
            const uint16_t cell = cells.cells[row * kScreenColumns + column];
            const uint8_t attribute = cellAttribute(cell);
            const Colour& ink = colours[attribute & 15];
            const Colour& paper = colours[attribute >> 4];
            const uint8_t* glyph = GlyphFont[cellCharacter(cell)];
            for (int y = 0; y < kGlyphHeight; ++y) {
                const int first =
                    (row * kGlyphHeight + y) * kCellImageWidth + column * kCellPixelWidth;
                for (int x = 0; x < kCellPixelWidth; ++x)
                    put(first + x, glyph[y] >> (7 - x) & 1 ? ink : paper);
            }
        }
    }
}

}  // namespace

void drawCellImage(const CellFrame& cells, uint8_t* rgb) {
    ConsoleRgb colours[16];
    for (int c = 0; c < 16; ++c)
        colours[c] = consoleColourRgb(c);
    forEachCellPixel(cells, colours, [rgb](int pixel, const ConsoleRgb& c) {
        rgb[pixel * 3 + 0] = c.red;
        rgb[pixel * 3 + 1] = c.green;
        rgb[pixel * 3 + 2] = c.blue;
    });
}

void drawCellImageRgba(const CellFrame& cells, uint32_t* rgba) {
    // Whole pixel words, built from their bytes so that the order in memory is the same on
    // any machine.
    uint32_t colours[16];
    for (int c = 0; c < 16; ++c) {
        const ConsoleRgb rgb = consoleColourRgb(c);
        const uint8_t bytes[4] = {rgb.red, rgb.green, rgb.blue, 255};
        std::memcpy(&colours[c], bytes, sizeof bytes);
    }
    forEachCellPixel(cells, colours, [rgba](int pixel, uint32_t c) { rgba[pixel] = c; });
}
