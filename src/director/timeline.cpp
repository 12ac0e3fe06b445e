// The timeline of scenes and the picture scenes: which frame draws what, and with which
// renderer. The schedule depends on the frame number alone.
#include <cstdint>
#include <cstring>
#include <memory>

#include "cells/cell_frame.h"
#include "data/assets.h"
#include "director/point_cloud_scene.h"
#include "director/renderers.h"
#include "director/scenes.h"
#include "fx/colour_ops.h"

namespace {

std::unique_ptr<ShadeRenderer> shade;
std::unique_ptr<QuadrantRenderer> quadrant;
uint8_t blackPicture[kPictureBytes];  // all zero from clearBlackPicture on

}  // namespace

void buildRenderers() {
    shade = std::make_unique<ShadeRenderer>();
    quadrant = std::make_unique<QuadrantRenderer>();
    // With these flags the quadrant renderer uses only the printable characters 32..126.
    shade->buildTable(0xffff);
    quadrant->buildTable(0xffff);
}

void destroyRenderers() {
    quadrant.reset();
    shade.reset();
}

const ShadeRenderer* shadeRenderer() {
    return shade.get();
}

const QuadrantRenderer* quadrantRenderer() {
    return quadrant.get();
}

void zoomPicture0(int32_t first, int32_t second, RgbFrame& frame) {
    zoomPicture(Picture0, first, second, frame);
}

void zoomPicture1(int32_t first, int32_t second, RgbFrame& frame) {
    zoomPicture(Picture1, first, second, frame);
}

void clearBlackPicture() {
    std::memset(blackPicture, 0, sizeof blackPicture);
}

namespace {

// All 80 by 50 pixels of the scene frame, one per cell.
void showFull(const TextRenderer& renderer) {
    renderer.render1x1(sceneFrame().pixels, SourceRect{0, 0, kFrameWidth, kFrameHeight},
                       kFrameWidth, 0, 0, cellFrame());
}

struct Scene {
    int32_t first, last;  // frame numbers, inclusive
    void (*draw)(int32_t frame);
};

// Each range starts one frame after the previous one ends: frames 350, 800, 1200, 1300, 1900
// and 2500 draw nothing, so the cells of the frame before them stay. The effects count from
// 1 at the first frame of their range.
constexpr Scene kTimeline[] = {
    // 4 s: Picture1 enters magnified, 392 by 245, and shrinks until it fills the frame.
    {101, 349,
     [](int32_t n) {
         zoomPicture1(n, 0, sceneFrame());
         showFull(*shade);
     }},
    // 14 s: Picture1 turns into Picture2, 5 levels a frame.
    {351, 799,
     [](int32_t n) {
         crossFadePictures(n - 350, sceneFrame(), Picture1, Picture2);
         showFull(*shade);
     }},
    // 32 s: Picture2 turns into Picture3.
    {801, 1199,
     [](int32_t n) {
         crossFadePictures(n - 800, sceneFrame(), Picture2, Picture3);
         showFull(*shade);
     }},
    // 48 s: Picture3 fades to black.
    {1201, 1299,
     [](int32_t n) {
         crossFadePictures(n - 1200, sceneFrame(), Picture3, blackPicture);
         showFull(*shade);
     }},
    // 52 s: the rotating point cloud with its trails, at full size.
    {1301, 1899, [](int32_t n) { drawPointCloudScene(n, *shade); }},
    // 76 s: Picture0 enters magnified, in grey characters...
    {1901, 2049,
     [](int32_t n) {
         zoomPicture0(n - 1800, 0, sceneFrame());
         showFull(*quadrant);
     }},
    // ...and from 82 s in colour.
    {2050, 2499,
     [](int32_t n) {
         zoomPicture0(n - 1800, 0, sceneFrame());
         showFull(*shade);
     }},
    // 100 s to the end of the process: the scroll text above, the small point cloud and the
    // pulsing planet below.
    {2501, INT32_MAX, [](int32_t n) { drawClosingScene(n, *quadrant, *shade); }},
};

}  // namespace

void drawScene(int32_t n) {
    for (const Scene& scene : kTimeline) {
        if (n >= scene.first && n <= scene.last) {
            scene.draw(n);
            return;
        }
    }
}
