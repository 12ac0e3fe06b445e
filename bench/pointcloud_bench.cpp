// The cost of the point scenes' frames, without the console write.
#include <benchmark/benchmark.h>

#include "director/director.h"
#include "director/point_cloud_scene.h"
#include "director/scenes.h"

namespace {

uint32_t stillClock() {
    return 0;
}

void startUpOnce() {
    if (!sceneFrame) startUpDemo(DirectorHost{nullptr, stillClock});
}

// Palette, warp, blur, 1024 points and the palette conversion, from frame 1301 on so that
// the trails build up as in the demo.
void composeOnly(benchmark::State& state) {
    startUpOnce();
    clearIntensityBuffers();
    int32_t n = 1301;
    for (auto _ : state) {
        composePointCloud(n);
        benchmark::DoNotOptimize(largeFrame->pixels[0]);
        if (++n > 1899) n = 1301;
    }
}
BENCHMARK(composeOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
