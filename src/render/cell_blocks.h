// The frame shared by every conversion of every text renderer: which source block each cell
// covers and where its cell goes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "cells/cell_frame.h"
#include "render/text_renderer.h"

// Calls cellOfBlock(block, pitch) for the top-left pixel of every whole k by k block of rect
// and stores the returned cell word. The output has (right - left) / k columns and
// (bottom - top) / k rows, truncated; source columns and rows that do not fill a block are
// never read. Cell (column, row) goes to cells[(cellY + row) * 80 + cellX + column]; cells
// are written row by row, each row left to right. Nothing is clipped.
template <int32_t k, typename CellOfBlock>
inline void convertBlocks(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                          int32_t cellY, CellFrame& cells, CellOfBlock cellOfBlock) {
    // In 64 bits, so that no pair of 32-bit coordinates can overflow.
    const int64_t columns = (int64_t{rect.right} - rect.left) / k;
    const int64_t rows = (int64_t{rect.bottom} - rect.top) / k;
    if (columns <= 0 || rows <= 0) return;
    for (int64_t row = 0; row < rows; ++row) {
        const uint32_t* block =
            pixels + static_cast<ptrdiff_t>((rect.top + k * row) * pitch + rect.left);
        uint16_t* out =
            cells.cells + static_cast<ptrdiff_t>((cellY + row) * kScreenColumns + cellX);
        for (int64_t column = 0; column < columns; ++column, block += k)
            out[column] = cellOfBlock(block, pitch);
    }
}
