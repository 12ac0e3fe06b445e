// The per-frame cost of the picture scenes' drawing: the largest zoom, a full-size blit and a
// cross-fade.
#include <benchmark/benchmark.h>

#include "data/assets.h"
#include "director/scenes.h"
#include "fx/colour_ops.h"

namespace {

// Frame 101 of the timeline: 392 by 245 pixels, of which the 80 by 50 in the middle show.
void largestZoom(benchmark::State& state) {
    RgbFrame frame{};
    for (auto _ : state) {
        zoomPicture1(101, 0, frame);
        benchmark::DoNotOptimize(frame.pixels);
    }
}
BENCHMARK(largestZoom);

void fullSizeBlit(benchmark::State& state) {
    RgbFrame frame{};
    for (auto _ : state) {
        blitScaledPicture(frame, Picture4, 0, 0, 80, 50);
        benchmark::DoNotOptimize(frame.pixels);
    }
}
BENCHMARK(fullSizeBlit);

void crossFade(benchmark::State& state) {
    RgbFrame frame{};
    int32_t step = 0;
    for (auto _ : state) {
        crossFadePictures(step++ % 52, frame, Picture1, Picture2);
        benchmark::DoNotOptimize(frame.pixels);
    }
}
BENCHMARK(crossFade);

void banner(benchmark::State& state) {
    RgbFrame frame{};
    int32_t offset = 141;
    for (auto _ : state) {
        drawBanner(frame, ScrollBanner, offset++ % 1200);
        benchmark::DoNotOptimize(frame.pixels);
    }
}
BENCHMARK(banner);

}  // namespace
