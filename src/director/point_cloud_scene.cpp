#include "director/point_cloud_scene.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/assets.h"
#include "director/director.h"
#include "director/scenes.h"
#include "fx/colour_ops.h"
#include "fx/intensity.h"

namespace {

// The point cloud's state, kept from frame to frame.
struct PointCloud {
    Vec3 pathPoints[kPathPoints];  // computed once at start-up
    // The picture carried from frame to frame, and the warp's target before the blur brings
    // it back. Both zero at start-up and never cleared afterwards.
    IntensityBuffer intensityImage;
    IntensityBuffer intensityScratch;
    double zoomPhase;  // the closing scene's pulse: 0 at start-up, 0.09 more a closing frame
    // The turn of the point cloud and the distance of the viewer, set every frame before the
    // points are plotted.
    Mat3 globalRotation;
    float viewDistance;
};
PointCloud cloud;

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

const Vec3& pathPoint(int32_t k) {
    return cloud.pathPoints[k];
}

IntensityBuffer& intensityImage() {
    return cloud.intensityImage;
}

IntensityBuffer& intensityScratch() {
    return cloud.intensityScratch;
}

double zoomPhase() {
    return cloud.zoomPhase;
}

const Mat3& globalRotation() {
    return cloud.globalRotation;
}

float viewDistance() {
    return cloud.viewDistance;
}

void computePathPoints() {
    for (int k = 0; k < kPathPoints; ++k) {
        const float kf = static_cast<float>(k);
        const double radius = 64 + 16 * sinOf(kf * (1.0f / 191));
        const Mat3 rx = rotationX(kTwoPi * sinOf(kf * (1.0f / 203)));
        const Mat3 ry = rotationY(kTwoPi * cosOf(kf * (1.0f / 157)));
        const Mat3 rz = rotationZ(-kTwoPi * cosOf(kf * (1.0f / 181)));
        const Mat3 m = multiply(multiply(rx, ry), rz);
        cloud.pathPoints[k] = transform(m, Vec3{static_cast<float>(radius), 0, 0});
    }
}

void clearIntensityBuffers() {
    std::memset(cloud.intensityImage.pixels, 0, sizeof cloud.intensityImage.pixels);
    std::memset(cloud.intensityScratch.pixels, 0, sizeof cloud.intensityScratch.pixels);
}

void resetZoomPhase() {
    cloud.zoomPhase = 0;
}

ZoomCentre zoomCentre(int32_t n) {
    const float a = timeBase(n);
    return ZoomCentre{static_cast<int32_t>(80 - 40 * sinOf(a * (1.0f / 559))),
                      static_cast<int32_t>(50 + 25 * sinOf(a * (1.0f / 611)))};
}

void fillWarpTables(ZoomCentre centre) {
    for (int32_t c = 0; c < kLargeWidth; ++c)
        warpTables().columns[c] = warpEntry(c, centre.x);
    for (int32_t r = 0; r < kLargeHeight; ++r)
        warpTables().rows[r] = warpEntry(r, centre.y);
}

void composePointCloud(int32_t n) {
    updatePalette(n);
    fillWarpTables(zoomCentre(n));
    warpIntensity(cloud.intensityImage, cloud.intensityScratch);
    blurIntensity(cloud.intensityScratch, cloud.intensityImage);

    const float a = timeBase(n);
    cloud.viewDistance = static_cast<float>(256 + 64 * sinOf(a * (1.0f / 327)));
    cloud.globalRotation = multiply(multiply(rotationX(kTwoPi * sinOf(a * (1.0f / 289))),
                                             rotationY(kTwoPi * cosOf(a * (1.0f / 307)))),
                                    rotationZ(-kTwoPi * sinOf(a * (1.0f / 251))));
    for (const Vec3& point : cloud.pathPoints) {
        const Vec3 q = transform(cloud.globalRotation, point);
        plotPoint(cloud.intensityImage, q.x, q.y, q.z, cloud.viewDistance);
    }
    applyPalette(largeFrame(), cloud.intensityImage);
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
    shade.render2x2(largeFrame().pixels, SourceRect{0, 0, kLargeWidth, kLargeHeight}, kLargeWidth,
                    0, 0, cellFrame());
}

void drawClosingScene(int32_t n, const TextRenderer& quadrant, const TextRenderer& shade) {
    // The banner scrolls one column a frame, from column 141 at frame 2501; past its last
    // column nothing is drawn and the upper half stays blank.
    drawBanner(sceneFrame(), ScrollBanner, n - 2360);
    quadrant.render1x1(sceneFrame().pixels, SourceRect{0, 0, kFrameWidth, kFrameHeight},
                       kFrameWidth, 0, 0, cellFrame());

    composePointCloud(n);
    shade.render4x4(largeFrame().pixels, SourceRect{0, 0, kLargeWidth, kLargeHeight}, kLargeWidth,
                    0, 25, cellFrame());

    cloud.zoomPhase += 0.09;
    const PulseRect pulse = pulseRect(cloud.zoomPhase);
    std::memset(zoomFrame().pixels, 0, sizeof zoomFrame().pixels);
    blitScaledPicture(zoomFrame(), Picture4, pulse.x, pulse.y, pulse.width, pulse.height);
    shade.render2x2(zoomFrame().pixels, SourceRect{0, 0, kFrameWidth, kFrameHeight}, kFrameWidth,
                    40, 25, cellFrame());
}
