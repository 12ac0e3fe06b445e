// Bytes written to the terminal per frame, and the time to encode them.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "host/terminal_encoder.h"

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

BENCHMARK_CAPTURE(everyCellChanges, truecolour, ColourMode::TrueColour);
BENCHMARK_CAPTURE(everyCellChanges, ansi16, ColourMode::Ansi16);
BENCHMARK_CAPTURE(pictureFrameChanges, truecolour, ColourMode::TrueColour);
BENCHMARK_CAPTURE(pictureFrameChanges, ansi16, ColourMode::Ansi16);
BENCHMARK_CAPTURE(unchangedFrame, truecolour, ColourMode::TrueColour);
BENCHMARK_CAPTURE(unchangedFrame, ansi16, ColourMode::Ansi16);

}  // namespace
