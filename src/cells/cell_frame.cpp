#include "cells/cell_frame.h"

CellFrame cellFrame = {};
