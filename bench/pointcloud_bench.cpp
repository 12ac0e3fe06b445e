// The cost of the point scenes' frames: scene and conversion to cells, without the console
// write.
#include <benchmark/benchmark.h>

#include <cstring>

#include "director/director.h"
#include "director/point_cloud_scene.h"
#include "director/renderers.h"
#include "director/scenes.h"
#include "engine/output.h"
#include "engine/thread.h"

namespace {

uint32_t stillClock() {
    return 0;
}

// Start-up as the demo runs it, with the renderers it builds; the music, which the benchmarks
// never start, goes to the offline device.
void startUpOnce() {
    if (shadeRenderer()) return;
    useOutputDevice(&offlineOutput, &platformThreads);
    startUpDemo(DirectorHost{nullptr, stillClock});
}

// Palette, warp, blur, 1024 points and the palette conversion, from frame 1301 on so that
// the trails build up as in the demo.
void composeOnly(benchmark::State& state) {
    startUpOnce();
    clearIntensityBuffers();
    int32_t n = 1301;
    for (auto _ : state) {
        composePointCloud(n);
        benchmark::DoNotOptimize(largeFrame().pixels[0]);
        if (++n > 1899) n = 1301;
    }
}
BENCHMARK(composeOnly)->Unit(benchmark::kMicrosecond);

// One frame of the point-cloud scene: composition and the full 2 by 2 shade conversion.
void pointCloudFrame(benchmark::State& state) {
    startUpOnce();
    clearIntensityBuffers();
    int32_t n = 1301;
    for (auto _ : state) {
        drawPointCloudScene(n, *shadeRenderer());
        benchmark::DoNotOptimize(cellFrame().cells[0]);
        if (++n > 1899) n = 1301;
    }
}
BENCHMARK(pointCloudFrame)->Unit(benchmark::kMicrosecond);

// One frame of the closing screen, with the clearing of sceneFrame that the frame loop does:
// banner and quadrant conversion, the small point cloud and the pulsing picture.
void closingFrame(benchmark::State& state) {
    startUpOnce();
    clearIntensityBuffers();
    resetZoomPhase();
    int32_t n = 2501;
    for (auto _ : state) {
        std::memset(sceneFrame().pixels, 0, sizeof sceneFrame().pixels);
        drawClosingScene(n, *quadrantRenderer(), *shadeRenderer());
        benchmark::DoNotOptimize(cellFrame().cells[0]);
        if (++n > 3700) n = 2501;  // banner and no banner
    }
}
BENCHMARK(closingFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
