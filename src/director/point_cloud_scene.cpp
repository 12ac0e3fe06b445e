// The point-cloud and closing scenes' start-up. Until they are in place there is nothing to
// prepare.
#include "director/scenes.h"

void clearIntensityBuffers() {}

void computePathPoints() {}

void resetZoomPhase() {}
