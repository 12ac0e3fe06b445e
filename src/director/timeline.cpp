// The timeline of scenes. Until the renderers and pictures are in place, every frame draws
// nothing and the screen stays black.
#include "director/scenes.h"

void buildRenderers() {}

void destroyRenderers() {}

void clearBlackPicture() {}

void drawScene(int32_t) {}
