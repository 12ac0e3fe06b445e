// The two text renderers that every scene converts with, constructed and built at start-up
// and kept for the whole run, and the black picture the last cross-fade fades to.
#pragma once
#include <cstdint>
#include <memory>

#include "data/assets.h"
#include "fx/frames.h"
#include "render/quadrant_renderer.h"
#include "render/shade_renderer.h"

extern std::unique_ptr<ShadeRenderer> shadeRenderer;        // null until buildRenderers
extern std::unique_ptr<QuadrantRenderer> quadrantRenderer;  // null until buildRenderers

extern uint8_t blackPicture[kPictureBytes];  // all zero from clearBlackPicture on
