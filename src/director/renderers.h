// The two text renderers that every scene converts with, constructed and built at start-up
// and kept for the whole run, and the black picture the last cross-fade fades to.
#pragma once
#include <cstdint>

#include "fx/frames.h"
#include "render/quadrant_renderer.h"
#include "render/shade_renderer.h"

extern ShadeRenderer* shadeRenderer;        // null before start-up step 2
extern QuadrantRenderer* quadrantRenderer;  // null before start-up step 2

extern uint8_t blackPicture[kPictureBytes];  // all zero from start-up step 5 on
