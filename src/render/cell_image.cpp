#include "render/cell_image.h"

#include "host/terminal_encoder.h"

void drawCellImage(const CellFrame& cells, uint8_t* rgb) {
    for (int row = 0; row < kScreenRows; ++row) {
        for (int column = 0; column < kScreenColumns; ++column) {
            const uint16_t cell = cells.cells[row * kScreenColumns + column];
            const uint8_t attribute = cellAttribute(cell);
            const TerminalRgb ink = terminalColour(attribute & 15);
            const TerminalRgb paper = terminalColour(attribute >> 4);
            const uint8_t* glyph = GlyphFont[cellCharacter(cell)];
            for (int y = 0; y < kGlyphHeight; ++y) {
                uint8_t* out =
                    rgb +
                    ((row * kGlyphHeight + y) * kCellImageWidth + column * kCellPixelWidth) * 3;
                for (int x = 0; x < kCellPixelWidth; ++x) {
                    const TerminalRgb& c = glyph[y] >> (7 - x) & 1 ? ink : paper;
                    out[x * 3 + 0] = c.red;
                    out[x * 3 + 1] = c.green;
                    out[x * 3 + 2] = c.blue;
                }
            }
        }
    }
}
