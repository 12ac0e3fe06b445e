// Bytes written to the terminal per frame, and the time to encode them: made-up frames, and
// the demo's own frames in each scene, as glyphs at 80 by 50 and as pictures at 80 by 25 and
// 80 by 24.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "director/director.h"
#include "director/renderers.h"
#include "engine/output.h"
#include "engine/thread.h"
#include "terminal/terminal_encoder.h"

namespace {

CellFrame frameWithSeed(unsigned seed) {
    std::mt19937 random(seed);
    CellFrame frame;
    for (uint16_t& cell : frame.cells)
        cell = static_cast<uint16_t>(random());
    return frame;
}

// Every cell changes, in character and colours, from one frame to the next.
void everyCellChanges(benchmark::State& state, ColourMode mode) {
    CellFrame frames[2] = {frameWithSeed(1), frameWithSeed(2)};
    TerminalScreen screen;
    std::string out;
    out.reserve(256 * 1024);
    encodeFrame(frames[1], screen, 80, 50, mode, out);
    size_t bytes = 0, count = 0;
    for (auto _ : state) {
        out.clear();
        encodeFrame(frames[count & 1], screen, 80, 50, mode, out);
        bytes += out.size();
        ++count;
    }
    state.counters["bytes_per_frame"] = static_cast<double>(bytes) / static_cast<double>(count);
}

// A picture scene's frame: shade characters in runs of a few colours, all changing.
void pictureFrameChanges(benchmark::State& state, ColourMode mode) {
    CellFrame frames[2];
    for (int f = 0; f < 2; ++f)
        for (int k = 0; k < kScreenCells; ++k) {
            int x = k % 80, y = k / 80;
            uint8_t attr = static_cast<uint8_t>(((x + f) / 6 % 7 + 1) | ((y / 5) % 7 + 1) << 4);
            frames[f].cells[k] = makeCell(static_cast<uint8_t>(176 + (x + y + f) % 3), attr);
        }
    TerminalScreen screen;
    std::string out;
    out.reserve(256 * 1024);
    encodeFrame(frames[1], screen, 80, 50, mode, out);
    size_t bytes = 0, count = 0;
    for (auto _ : state) {
        out.clear();
        encodeFrame(frames[count & 1], screen, 80, 50, mode, out);
        bytes += out.size();
        ++count;
    }
    state.counters["bytes_per_frame"] = static_cast<double>(bytes) / static_cast<double>(count);
}

void unchangedFrame(benchmark::State& state, ColourMode mode) {
    CellFrame frame = frameWithSeed(3);
    TerminalScreen screen;
    std::string out;
    out.reserve(256 * 1024);
    encodeFrame(frame, screen, 80, 50, mode, out);
    size_t bytes = 0, count = 0;
    for (auto _ : state) {
        out.clear();
        encodeFrame(frame, screen, 80, 50, mode, out);
        bytes += out.size();
        ++count;
    }
    state.counters["bytes_per_frame"] = static_cast<double>(bytes) / static_cast<double>(count);
}

uint32_t stillClock() {
    return 0;
}

// Frames 2 to 2750 of the demo (4 s to 110 s), drawn offline in order once; frame 1 only
// starts the music, which the benchmarks never play.
const std::vector<CellFrame>& demoFrames() {
    static const std::vector<CellFrame> frames = [] {
        if (!shadeRenderer()) {
            useOutputDevice(&offlineOutput, &platformThreads);
            startUpDemo(DirectorHost{nullptr, stillClock});
        }
        std::vector<CellFrame> drawn(2751);
        for (int32_t n = 2; n <= 2750; ++n) {
            drawFrame(n);
            drawn[n] = cellFrame();
        }
        return drawn;
    }();
    return frames;
}

// The frames first..last of the demo one after another, as the terminal host writes them
// to a terminal of columns by rows.
void demoScene(benchmark::State& state, int first, int last, int columns, int rows,
               ColourMode mode) {
    const std::vector<CellFrame>& frames = demoFrames();
    std::string out;
    out.reserve(256 * 1024);
    size_t bytes = 0, count = 0;
    for (auto _ : state) {
        TerminalScreen screen;
        encodeFrame(frames[first - 1], screen, columns, rows, mode, out);
        for (int n = first; n <= last; ++n) {
            out.clear();
            encodeFrame(frames[n], screen, columns, rows, mode, out);
            bytes += out.size();
            ++count;
        }
    }
    state.counters["bytes_per_frame"] = static_cast<double>(bytes) / static_cast<double>(count);
    state.counters["frames"] = static_cast<double>(last - first + 1);
}

#define DEMO_SCENE(name, first, last)                                                  \
    BENCHMARK_CAPTURE(demoScene, name##_glyphs_80x50_truecolour, first, last, 80, 50,  \
                      ColourMode::TrueColour)                                          \
        ->Unit(benchmark::kMillisecond);                                               \
    BENCHMARK_CAPTURE(demoScene, name##_picture_80x25_truecolour, first, last, 80, 25, \
                      ColourMode::TrueColour)                                          \
        ->Unit(benchmark::kMillisecond);                                               \
    BENCHMARK_CAPTURE(demoScene, name##_picture_80x24_truecolour, first, last, 80, 24, \
                      ColourMode::TrueColour)                                          \
        ->Unit(benchmark::kMillisecond);                                               \
    BENCHMARK_CAPTURE(demoScene, name##_glyphs_80x50_ansi256, first, last, 80, 50,     \
                      ColourMode::Ansi256)                                             \
        ->Unit(benchmark::kMillisecond);                                               \
    BENCHMARK_CAPTURE(demoScene, name##_picture_80x25_ansi256, first, last, 80, 25,    \
                      ColourMode::Ansi256)                                             \
        ->Unit(benchmark::kMillisecond);                                               \
    BENCHMARK_CAPTURE(demoScene, name##_picture_80x24_ansi256, first, last, 80, 24,    \
                      ColourMode::Ansi256)                                             \
        ->Unit(benchmark::kMillisecond);                                               \
    BENCHMARK_CAPTURE(demoScene, name##_glyphs_80x50_ansi16, first, last, 80, 50,      \
                      ColourMode::Ansi16)                                              \
        ->Unit(benchmark::kMillisecond);                                               \
    BENCHMARK_CAPTURE(demoScene, name##_picture_80x24_ansi16, first, last, 80, 24,     \
                      ColourMode::Ansi16)                                              \
        ->Unit(benchmark::kMillisecond)

// The picture scenes (4 s to 52 s, and the logo from 76 s to 100 s), the point cloud and the
// closing screen's first 10 s.
DEMO_SCENE(pictures, 101, 1299);
DEMO_SCENE(logo, 1901, 2499);
DEMO_SCENE(pointcloud, 1301, 1899);
DEMO_SCENE(closing, 2501, 2750);

BENCHMARK_CAPTURE(everyCellChanges, truecolour, ColourMode::TrueColour);
BENCHMARK_CAPTURE(everyCellChanges, ansi256, ColourMode::Ansi256);
BENCHMARK_CAPTURE(everyCellChanges, ansi16, ColourMode::Ansi16);
BENCHMARK_CAPTURE(pictureFrameChanges, truecolour, ColourMode::TrueColour);
BENCHMARK_CAPTURE(pictureFrameChanges, ansi256, ColourMode::Ansi256);
BENCHMARK_CAPTURE(pictureFrameChanges, ansi16, ColourMode::Ansi16);
BENCHMARK_CAPTURE(unchangedFrame, truecolour, ColourMode::TrueColour);
BENCHMARK_CAPTURE(unchangedFrame, ansi16, ColourMode::Ansi16);

}  // namespace
