// Building the renderers' tables at start-up, and converting one frame with each block size.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "render/quadrant_renderer.h"
#include "render/shade_renderer.h"

namespace {

void quadrantBuildTable(benchmark::State& state) {
    QuadrantRenderer renderer;
    for (auto _ : state) {
        renderer.buildTable(0xffff);
        benchmark::DoNotOptimize(renderer.table());
    }
}
BENCHMARK(quadrantBuildTable)->Unit(benchmark::kMillisecond);

void shadeBuildTable(benchmark::State& state) {
    ShadeRenderer renderer;
    for (auto _ : state) {
        renderer.buildTable(0xffff);
        benchmark::DoNotOptimize(renderer.table());
    }
}
BENCHMARK(shadeBuildTable)->Unit(benchmark::kMillisecond);

// What the start-up does: construct both renderers and build their tables.
void bothTables(benchmark::State& state) {
    for (auto _ : state) {
        ShadeRenderer shade;
        QuadrantRenderer quadrant;
        shade.buildTable(0xffff);
        quadrant.buildTable(0xffff);
        benchmark::DoNotOptimize(shade.table());
        benchmark::DoNotOptimize(quadrant.table());
    }
}
BENCHMARK(bothTables)->Unit(benchmark::kMillisecond);

// Random pixels: every cell looks up a different part of the table.
std::vector<uint32_t> randomLargeFrame() {
    std::mt19937 random(1);
    std::vector<uint32_t> pixels(160 * 100);
    for (uint32_t& p : pixels)
        p = random() & 0xffffff;
    return pixels;
}

using Conversion = void (TextRenderer::*)(const uint32_t*, SourceRect, int32_t, int32_t, int32_t,
                                          CellFrame&) const;

// 1x1 of 80 by 50 pixels and 2x2 of 160 by 100 fill the whole frame; 4x4 of 160 by 100 fills
// 40 by 25 cells.
template <typename Renderer>
void convert(benchmark::State& state, Conversion conversion, int k) {
    Renderer renderer;
    renderer.buildTable(0xffff);
    const std::vector<uint32_t> pixels = randomLargeFrame();
    const SourceRect rect = k == 1 ? SourceRect{0, 0, 80, 50} : SourceRect{0, 0, 160, 100};
    CellFrame cells{};
    for (auto _ : state) {
        (renderer.*conversion)(pixels.data(), rect, 160, 0, 0, cells);
        benchmark::DoNotOptimize(cells.cells);
        benchmark::ClobberMemory();
    }
}

void shade(benchmark::State& state, Conversion conversion, int k) {
    convert<ShadeRenderer>(state, conversion, k);
}
void quadrant(benchmark::State& state, Conversion conversion, int k) {
    convert<QuadrantRenderer>(state, conversion, k);
}

BENCHMARK_CAPTURE(shade, 1x1_80x50, &TextRenderer::render1x1, 1);
BENCHMARK_CAPTURE(shade, 2x2_160x100, &TextRenderer::render2x2, 2);
BENCHMARK_CAPTURE(shade, 4x4_160x100, &TextRenderer::render4x4, 4);
BENCHMARK_CAPTURE(quadrant, 1x1_80x50, &TextRenderer::render1x1, 1);
BENCHMARK_CAPTURE(quadrant, 2x2_160x100, &TextRenderer::render2x2, 2);
BENCHMARK_CAPTURE(quadrant, 4x4_160x100, &TextRenderer::render4x4, 4);

}  // namespace
