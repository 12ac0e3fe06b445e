// mixVoices throughput: blocks of 884 frames (one block at 44100 Hz, cleared first as
// mixBlock does) with 8 and 32 looping voices, without ramps and with every frame ramping, by
// each set of inner loops this build and processor have (0 portable, 1 SSE2, 2 AVX2).
// The label gives the CPU time per frame of one voice; x_realtime is the output frames mixed
// per second divided by 44100.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/mixer.h"
#include "engine/output.h"
#include "engine/player.h"

namespace {

// The player whose voices are mixed, at 44100 Hz.
Player& benchPlayer() {
    static Player* const player = createPlayer(44100);
    return *player;
}

constexpr int32_t kBlock = 884;

struct LoopedSample {
    std::vector<int16_t> values;
    Sample sample = {};
    LoopedSample(uint32_t length, uint8_t mode) : values(length + 8) {
        for (uint32_t k = 0; k < length; ++k)
            values[k] = int16_t((k * 7919) % 50000 - 25000);
        sample.data = values.data();
        sample.length = length;
        sample.loopStart = length / 4;
        sample.loopLength = length - length / 4;
        sample.loopMode = mode;
        sample.bits = 16;
        values[length] = mode == kForwardLoop ? values[sample.loopStart] : values[length - 1];
    }
};

// The loops of the benchmark's second argument; false when this build or processor lacks them.
bool useLoops(benchmark::State& state) {
    const MixLoops* loops[] = {&portableMixLoops, &sse2MixLoops, &avx2MixLoops()};
    const MixLoops* chosen = loops[state.range(1)];
    if (!chosen->plain) {
        state.SkipWithError("not in this build or processor");
        return false;
    }
    useMixLoops(benchPlayer(), *chosen);
    return true;
}

// The CPU time of this thread, in seconds.
double threadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void report(benchmark::State& state, int voices, int32_t frames, double seconds) {
    const double mixed = double(state.iterations()) * frames;
    state.counters["x_realtime"] = benchmark::Counter(mixed / 44100.0, benchmark::Counter::kIsRate);
    char label[64];
    std::snprintf(label, sizeof label, "%.3f ns a voice-frame", seconds * 1e9 / (mixed * voices));
    state.SetLabel(label);
    useMixLoops(benchPlayer(), fastestMixLoops());
}

void setUpVoices(int count, const std::vector<LoopedSample>& samples) {
    clearVoices(benchPlayer());
    for (int i = 0; i < count; ++i) {
        Voice& v = benchPlayer().voices[i];
        v.index = i;
        v.sample = &samples[size_t(i) % samples.size()].sample;
        v.direction = kVoiceForward;
        // Steps from about 0.3 to 2.9 values a frame, as notes across several octaves.
        v.stepWhole = 0;
        v.stepFraction = 0x50000000u + uint32_t(i) * 0x13579BDu;
        if (i % 3 == 2) v.stepWhole = 1 + i % 2;
        v.leftLevel = 40 + 5 * i;
        v.rightLevel = 200 - 5 * i;
        v.currentLeft = v.leftLevel * 256;
        v.currentRight = v.rightLevel * 256;
    }
}

std::vector<LoopedSample> makeSamples() {
    std::vector<LoopedSample> samples;
    samples.emplace_back(83, kForwardLoop);
    samples.emplace_back(2000, kForwardLoop);
    samples.emplace_back(300, kPingPongLoop);
    samples.emplace_back(12000, kForwardLoop);
    return samples;
}

void mixWithoutRamps(benchmark::State& state) {
    const int voices = int(state.range(0));
    if (!useLoops(state)) return;
    const std::vector<LoopedSample> samples = makeSamples();
    setUpVoices(voices, samples);
    alignas(16) static float frames[2 * kBlock];
    const double start = threadSeconds();
    for (auto _ : state) {
        std::memset(frames, 0, sizeof frames);
        mixVoices(benchPlayer(), frames, kBlock);
        benchmark::ClobberMemory();
    }
    report(state, voices, kBlock, threadSeconds() - start);
}

// Every call changes the levels, so every frame is mixed inside a ramp.
void mixWithRamps(benchmark::State& state) {
    const int voices = int(state.range(0));
    if (!useLoops(state)) return;
    const std::vector<LoopedSample> samples = makeSamples();
    setUpVoices(voices, samples);
    alignas(16) static float frames[2 * 128];
    int32_t flip = 0;
    const double start = threadSeconds();
    for (auto _ : state) {
        flip ^= 1;
        for (int i = 0; i < voices; ++i)
            benchPlayer().voices[i].leftLevel = flip ? 200 : 60;
        std::memset(frames, 0, sizeof frames);
        mixVoices(benchPlayer(), frames, 128);
        benchmark::ClobberMemory();
    }
    report(state, voices, 128, threadSeconds() - start);
}

}  // namespace

BENCHMARK(mixWithoutRamps)->ArgsProduct({{8, 32}, {0, 1, 2}});
BENCHMARK(mixWithRamps)->ArgsProduct({{8, 32}, {0, 1, 2}});
