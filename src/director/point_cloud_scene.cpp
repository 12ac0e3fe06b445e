#include "director/point_cloud_scene.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/assets.h"
#include "director/director.h"
#include "director/scenes.h"
#include "fx/colour_ops.h"
#include "fx/intensity.h"

Vec3 pathPoints[kPathPoints];
IntensityBuffer intensityImage;
IntensityBuffer intensityScratch;
double zoomPhase = 0;
Mat3 globalRotation;
float viewDistance = 0;

namespace {

// The angles go round with 3.14 standing for pi, so the path and the turn fall a little
// short of whole circles.
constexpr double kTwoPi = 2 * 3.14;

// sin and cos of q, where q is a single-precision quotient (k times the float reciprocal of
// the divisor); the functions themselves are the double ones.
double sinOf(float q) {
    return sin(static_cast<double>(q));
}
double cosOf(float q) {
    return cos(static_cast<double>(q));
}

// Each output position samples the point this much closer to the zoom centre.
constexpr float kWarpScale = 0.85f;

int32_t warpEntry(int32_t i, int32_t centre) {
    const float c = static_cast<float>(centre);
    return static_cast<int32_t>(static_cast<float>(i - centre) * kWarpScale + c);
}

// a = 10 n as a float, the time base of the zoom centre, the view distance and the turn. The
// product is formed in 64 bits: in 32 it would overflow after about 99 days of the closing
// scene.
float timeBase(int32_t n) {
    return static_cast<float>(int64_t{10} * n);
}

}  // namespace

void computePathPoints() {
    for (int k = 0; k < kPathPoints; ++k) {
        const float kf = static_cast<float>(k);
        const double radius = 64 + 16 * sinOf(kf * (1.0f / 191));
        const Mat3 rx = rotationX(kTwoPi * sinOf(kf * (1.0f / 203)));
        const Mat3 ry = rotationY(kTwoPi * cosOf(kf * (1.0f / 157)));
        const Mat3 rz = rotationZ(-kTwoPi * cosOf(kf * (1.0f / 181)));
        const Mat3 m = multiply(multiply(rx, ry), rz);
        pathPoints[k] = transform(m, Vec3{static_cast<float>(radius), 0, 0});
    }
}

void clearIntensityBuffers() {
    std::memset(intensityImage.pixels, 0, sizeof intensityImage.pixels);
    std::memset(intensityScratch.pixels, 0, sizeof intensityScratch.pixels);
}

void resetZoomPhase() {
    zoomPhase = 0;
}

ZoomCentre zoomCentre(int32_t n) {
    const float a = timeBase(n);
    return ZoomCentre{static_cast<int32_t>(80 - 40 * sinOf(a * (1.0f / 559))),
                      static_cast<int32_t>(50 + 25 * sinOf(a * (1.0f / 611)))};
}

void fillWarpTables(ZoomCentre centre) {
    for (int32_t c = 0; c < kLargeWidth; ++c)
        warpColumnTable[c] = warpEntry(c, centre.x);
    for (int32_t r = 0; r < kLargeHeight; ++r)
        warpRowTable[r] = warpEntry(r, centre.y);
}

void composePointCloud(int32_t n) {
    updatePalette(n);
    fillWarpTables(zoomCentre(n));
    warpIntensity(intensityImage, intensityScratch);
    blurIntensity(intensityScratch, intensityImage);

    const float a = timeBase(n);
    viewDistance = static_cast<float>(256 + 64 * sinOf(a * (1.0f / 327)));
    globalRotation = multiply(multiply(rotationX(kTwoPi * sinOf(a * (1.0f / 289))),
                                       rotationY(kTwoPi * cosOf(a * (1.0f / 307)))),
                              rotationZ(-kTwoPi * sinOf(a * (1.0f / 251))));
    for (const Vec3& point : pathPoints) {
        const Vec3 q = transform(globalRotation, point);
        plotPoint(intensityImage, q.x, q.y, q.z, viewDistance);
    }
    applyPalette(*largeFrame, intensityImage);
}

PulseRect pulseRect(double phase) {
    const double c = cos(phase);
    const int32_t width = std::abs(static_cast<int32_t>(80 * c)) + 80;
    const int32_t height = std::abs(static_cast<int32_t>(50 * c)) + 50;
    // The halves in floating point: an odd size puts the extra pixel on the right and bottom.
    return PulseRect{static_cast<int32_t>(40 - width / 2.0),
                     static_cast<int32_t>(25 - height / 2.0), width, height};
}

void drawPointCloudScene(int32_t n, const TextRenderer& shade) {
    composePointCloud(n);
    shade.render2x2(largeFrame->pixels, SourceRect{0, 0, kLargeWidth, kLargeHeight}, kLargeWidth, 0,
                    0, cellFrame);
}

void drawClosingScene(int32_t n, const TextRenderer& quadrant, const TextRenderer& shade) {
    // The banner scrolls one column a frame, from column 141 at frame 2501; past its last
    // column nothing is drawn and the upper half stays blank.
    drawBanner(*sceneFrame, ScrollBanner, n - 2360);
    quadrant.render1x1(sceneFrame->pixels, SourceRect{0, 0, kFrameWidth, kFrameHeight}, kFrameWidth,
                       0, 0, cellFrame);

    composePointCloud(n);
    shade.render4x4(largeFrame->pixels, SourceRect{0, 0, kLargeWidth, kLargeHeight}, kLargeWidth, 0,
                    25, cellFrame);

    zoomPhase += 0.09;
    const PulseRect pulse = pulseRect(zoomPhase);
    std::memset(zoomFrame->pixels, 0, sizeof zoomFrame->pixels);
    blitScaledPicture(*zoomFrame, Picture4, pulse.x, pulse.y, pulse.width, pulse.height);
    shade.render2x2(zoomFrame->pixels, SourceRect{0, 0, kFrameWidth, kFrameHeight}, kFrameWidth, 40,
                    25, cellFrame);
}
