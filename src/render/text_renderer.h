// Text renderers: turn a rectangle of pixel words into console cells through a lookup table
// of finished cell words that is built once.
#pragma once
#include <cstdint>
#include <memory>

#include "cells/cell_frame.h"

// Which part of a pixel buffer to convert, in source pixels; right and bottom are exclusive.
struct SourceRect {
    int32_t left, top, right, bottom;
};

class TextRenderer {
  public:
    // The cell that shows one colour best (the units are the renderer's own).
    virtual uint16_t cellForColour(int32_t r, int32_t g, int32_t b) const = 0;
    // Builds the lookup table; must run before any conversion or cellForColour.
    virtual void buildTable(int32_t flags) = 0;
    // Convert rect of pixels (pitch pixels per row) with one pixel, a 2 by 2 block or a 4 by 4
    // block per cell, writing the cells from (cellX, cellY) on, 80 cells per row. Nothing is
    // clipped: the caller keeps the blocks inside its buffer and the cells inside the frame.
    virtual void render1x1(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                           int32_t cellY, CellFrame& cells) const = 0;
    virtual void render2x2(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                           int32_t cellY, CellFrame& cells) const = 0;
    virtual void render4x4(const uint32_t* pixels, SourceRect rect, int32_t pitch, int32_t cellX,
                           int32_t cellY, CellFrame& cells) const = 0;
    virtual ~TextRenderer() = default;

    // The table of finished cell words; null until buildTable.
    const uint16_t* table() const { return cellTable.get(); }

  protected:
    std::unique_ptr<uint16_t[]> cellTable;  // none until buildTable
};
