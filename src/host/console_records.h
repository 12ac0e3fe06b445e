// The whole-frame console write: the cell frame as console character records, and the
// buffer size and region of the write. Kept apart from the Win32 code so it can be tested
// anywhere with a record type of the same shape as CHAR_INFO.
#pragma once
#include "cells/cell_frame.h"

struct ConsoleRegion {
    int left, top, right, bottom;  // inclusive, in cells
};
constexpr ConsoleRegion kPresentRegion{0, 0, kScreenColumns - 1, kScreenRows - 1};

// Record k takes the character of cell k in Char.AsciiChar and its attribute, widened to
// 16 bits with zeros, in Attributes.
template <class Record>
void fillConsoleRecords(const CellFrame& frame, Record (&records)[kScreenCells]) {
    for (int k = 0; k < kScreenCells; ++k) {
        records[k].Char.AsciiChar = static_cast<char>(cellCharacter(frame.cells[k]));
        records[k].Attributes = cellAttribute(frame.cells[k]);
    }
}
