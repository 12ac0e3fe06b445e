// The two text renderers that every scene converts with, constructed and built at start-up
// and kept for the whole run.
#pragma once
#include "render/quadrant_renderer.h"
#include "render/shade_renderer.h"

// Null until buildRenderers and after destroyRenderers.
const ShadeRenderer* shadeRenderer();
const QuadrantRenderer* quadrantRenderer();
