// libFuzzer target for playback: two songs in turn are loaded and played as a program plays
// them, through the real sequencer and mixer on the offline device: the first ring mixed by the
// start, then refills behind the moving play position, then a stop and a release. The second
// song starts where the first one left the voices, so a voice still pointing into the first
// song's released samples is a read of freed memory here.
//
// The input is one XM image, or two: a second signature at an offset above 0 starts the second
// song (libFuzzer's cross-over makes such pairs from the corpus). One image alone is followed by
// the first ring of the song compiled into the program. The output rate is low, so that a run is
// quick: 8000 Hz for inputs of even size, and the lowest rate the stream allows, 345 Hz, for odd
// ones, where every step is a large one and every level ramp a single frame.
//
// After every tick each mixed voice is checked: it plays a sample of the song playing (or the
// empty sample) at levels the volume can reach and at a frequency that is not negative; after
// every release no voice holds a sample.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "data/assets.h"
#include "engine/file_access.h"
#include "engine/mixer.h"
#include "engine/module.h"
#include "engine/output.h"
#include "engine/player.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

constexpr char kSignature[] = "Extended Module: ";
constexpr size_t kSignatureLength = sizeof kSignature - 1;

// The highest level updateVoice can give: volume 255 (Cxx sets it without a limit), envelope
// 64, no fade, global volume 64.
constexpr int32_t kHighestLevel = 255 * 2;

// The samples of the song playing, sorted, for the voice check.
const Sample* songSamples[128 * kMaxSamplesPerInstrument];
size_t songSampleCount = 0;

void noteSamples(const Module& m) {
    songSampleCount = 0;
    for (int i = 0; i < m.instrumentCount; ++i) {
        for (const Sample* sample : m.instruments[i].samples)
            songSamples[songSampleCount++] = sample;
    }
    std::sort(songSamples, songSamples + songSampleCount);
}

bool ofThisSong(const Sample* sample) {
    return sample == emptySample() ||
           std::binary_search(songSamples, songSamples + songSampleCount, sample);
}

void checkVoices(Player& player, void*) {
    for (int i = 0; i < kMixedVoiceCount; ++i) {
        const Voice& v = player.voices[i];
        if (!v.sample) continue;
        require(ofThisSong(v.sample));
        require(v.leftLevel >= 0 && v.leftLevel <= kHighestLevel);
        require(v.rightLevel >= 0 && v.rightLevel <= kHighestLevel);
        require(v.frequency >= 0 && v.stepWhole >= 0);
    }
}

void play(const uint8_t* data, size_t size, int refills) {
    setMemoryImage(data, static_cast<int32_t>(size));
    Module* module = loadModule("fuzz");
    setMemoryImage(nullptr, 0);
    if (!module) return;
    noteSamples(*module);
    streamPlayer()->tickListener = checkVoices;
    if (startPlayback(module)) {
        // Refills of half a ring each, 1 s of the song a refill after the first 2 s.
        const uint32_t half = static_cast<uint32_t>(viewStream().ringFrames / 2);
        for (int k = 0; k < refills; ++k) {
            advanceOfflineOutput(half);
            refillStream();
        }
    }
    freeModule(module);
    for (int i = 0; i < kVoiceCount; ++i)
        require(streamPlayer()->voices[i].sample == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    static const bool ready = [] {
        // No threads: the refills mix on this thread, so every run is the same.
        useOutputDevice(&offlineOutput, nullptr);
        setFileCallbacks(memoryOpen, memoryClose, memoryRead, memorySeek, memoryTell);
        return true;
    }();
    require(ready);
    require(openOutput(size % 2 == 0 ? 8000 : 345));

    const uint8_t* second = nullptr;
    if (size > kSignatureLength) {
        second =
            static_cast<const uint8_t*>(memmem(data + 1, size - 1, kSignature, kSignatureLength));
    }
    if (second) {
        play(data, static_cast<size_t>(second - data), 3);
        play(second, static_cast<size_t>(data + size - second), 3);
    } else {
        // The demo's song only shows what the first song left behind: its first ring will do.
        play(data, size, 3);
        play(songImage, songImageSize, 0);
    }
    closeOutput();
    return 0;
}
