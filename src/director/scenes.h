// The pieces that the scenes and the music plug into the director's start-up and frames.
#pragma once
#include <cstdint>

#include "director/director.h"

// Music start-up (music.cpp).
void registerSongFiles();  // step 1: the sound engine will read the song through memory callbacks
StartUp openMusic();       // step 9: sound output and song; on failure destroys the renderers
void startMusic();         // the action of frame 1

// Picture scenes and timeline (timeline.cpp).
void buildRenderers();      // step 2: both renderers constructed and their tables built
void destroyRenderers();    // the quadrant renderer, then the shade renderer
void clearBlackPicture();   // step 5
void drawScene(int32_t n);  // frames 2 and on: the scene of frame n, converted into cellFrame

// Point-cloud and closing scenes (point_cloud_scene.cpp).
void clearIntensityBuffers();  // step 5
void computePathPoints();      // step 6
void resetZoomPhase();         // step 8
