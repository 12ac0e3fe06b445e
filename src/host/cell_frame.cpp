#include "host/cell_frame.h"

CellFrame cellFrame = {};
