// The point cloud: 1024 points on a precomputed 3D path, turned every frame and splatted
// into an intensity picture that zooms toward a wandering centre and fades, shown through a
// drifting palette. Used by the point-cloud scene and, in a small window, by the closing
// scene.
#pragma once
#include <cstdint>

#include "fx/frames.h"
#include "fx/vector.h"
#include "render/text_renderer.h"

constexpr int kPathPoints = 1024;

// Point k (0..1023) of the path, computed once at start-up.
const Vec3& pathPoint(int32_t k);

// The picture carried from frame to frame, and the warp's target before the blur brings it
// back. Both zero at start-up and never cleared afterwards.
IntensityBuffer& intensityImage();
IntensityBuffer& intensityScratch();

// The closing scene's pulse phase: 0 at start-up, advanced by 0.09 per closing frame.
double zoomPhase();

// The turn of the point cloud and the distance of the viewer, set for every frame before the
// points are plotted.
const Mat3& globalRotation();
float viewDistance();

// The zoom centre of frame n, in intensity pixels: cx in 40..120, cy in 25..75.
struct ZoomCentre {
    int32_t x, y;
};
ZoomCentre zoomCentre(int32_t n);

// Fills warpColumnTable and warpRowTable so that every pixel samples the point 15 % closer
// to the centre.
void fillWarpTables(ZoomCentre centre);

// One frame of the point cloud: palette, warp, blur, view distance, rotation, the 1024 points
// and the palette conversion into largeFrame.
void composePointCloud(int32_t n);

// Where the closing scene draws the pulsing picture for a phase: centred on (40, 25), between
// 80 by 50 and 160 by 100.
struct PulseRect {
    int32_t x, y, width, height;
};
PulseRect pulseRect(double phase);

// Frames 1301 to 1899: the point cloud at full size, largeFrame converted 2 by 2 into all
// cells by the shade renderer.
void drawPointCloudScene(int32_t n, const TextRenderer& shade);

// Frames 2501 and on: the scroll banner in grey characters above, the point cloud 4 by 4 in
// the lower-left quarter and the pulsing Picture4 2 by 2 in the lower-right quarter.
void drawClosingScene(int32_t n, const TextRenderer& quadrant, const TextRenderer& shade);
