// The pieces that the scenes and the music plug into the director's start-up (startUpDemo
// calls them in its order) and frames.
#pragma once
#include <cstdint>

#include "director/director.h"
#include "fx/frames.h"

// The frames, allocated at start-up (director.cpp).
LargeFrame& largeFrame();
RgbFrame& sceneFrame();
RgbFrame& zoomFrame();

// Music start-up (music.cpp).
void registerSongFiles();  // first: the sound engine will read the song compiled in through
                           // the memory callbacks
StartUp openMusic();       // last: sound output and song; on failure destroys the renderers
void startMusic();         // the action of frame 1

// Picture scenes and timeline (timeline.cpp).
void buildRenderers();      // both renderers constructed and their tables built
void destroyRenderers();    // the quadrant renderer, then the shade renderer
void clearBlackPicture();   // with the scene buffers
void drawScene(int32_t n);  // frames 2 and on: the scene of frame n, converted into cellFrame()
// Picture0 (Picture1) centred at a size that follows from second - first (fx's zoomPicture).
void zoomPicture0(int32_t first, int32_t second, RgbFrame& frame);
void zoomPicture1(int32_t first, int32_t second, RgbFrame& frame);

// Point-cloud and closing scenes (point_cloud_scene.cpp).
void clearIntensityBuffers();  // with the scene buffers
void computePathPoints();      // the 1024 points of the path
void resetZoomPhase();         // the closing scene's pulse starts at phase 0
