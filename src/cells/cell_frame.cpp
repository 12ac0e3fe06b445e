#include "cells/cell_frame.h"

namespace {

CellFrame cells = {};

}  // namespace

CellFrame& cellFrame() {
    return cells;
}
