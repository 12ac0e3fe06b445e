// libFuzzer target for the XM loader: any input either is refused or loads into a module that
// keeps the promises the sequencer and the mixer rely on; every loaded sample is then mixed
// for a while, so that the loop points are put to use.
#include <cstdint>
#include <cstdlib>

#include "engine/file_access.h"
#include "engine/mixer.h"
#include "engine/module.h"
#include "engine/output.h"
#include "engine/player.h"
#include "engine/thread.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool prepare() {
    useOutputDevice(&offlineOutput, &platformThreads);
    setFileCallbacks(memoryOpen, memoryClose, memoryRead, memorySeek, memoryTell);
    return openOutput(kOutputRate);
}

void checkEnvelope(const Envelope& envelope) {
    require(envelope.pointCount <= 12);
    if (envelope.type & kEnvelopeLoop) require(envelope.loopStart < envelope.pointCount);
}

void checkModule(const Module& m) {
    require(m.channelCount >= 1 && m.channelCount <= 32);
    require(m.songLength >= 1 && m.songLength <= 256);
    for (int i = 0; i < m.songLength; ++i)
        require(m.orderTable[i] < m.patternSlotCount);
    for (int p = 0; p < m.patternSlotCount; ++p) {
        const Pattern& pattern = m.patterns[p];
        require(pattern.rowCount >= 0 && pattern.rowCount <= 256);
        if (!pattern.cells) continue;
        for (int c = 0; c < pattern.rowCount * m.channelCount; ++c) {
            const Cell& cell = pattern.cells[c];
            require(cell.note <= 96 || cell.note == 255);
            require(cell.instrument <= 128);
        }
    }
    for (int i = 0; i < m.instrumentCount; ++i) {
        const Instrument& instrument = m.instruments[i];
        require(instrument.sampleCount >= 0 && instrument.sampleCount <= 16);
        checkEnvelope(instrument.volumeEnvelope);
        checkEnvelope(instrument.panningEnvelope);
        for (int s = 0; s < 16; ++s) {
            const Sample* sample = instrument.samples[s];
            require(sample != nullptr);
            require((s >= instrument.sampleCount) == (sample == emptySample()));
            if (sample == emptySample()) continue;
            require(sample->bits == 16);
            require(sample->loopMode == kNoLoop || sample->loopMode == kForwardLoop ||
                    sample->loopMode == kPingPongLoop);
            require((sample->length == 0) == (sample->data == nullptr));
            require(uint64_t{sample->loopStart} + sample->loopLength == sample->length ||
                    (sample->loopMode != kNoLoop &&
                     uint64_t{sample->loopStart} + sample->loopLength <= sample->length));
            require(sample->length == 0 || sample->loopLength > 0);
        }
    }
}

void mixSamples(const Module& m, const uint8_t* data, size_t size) {
    static float frames[2 * 1024];
    Player& player = *streamPlayer();
    int voice = 0;
    for (int i = 0; i < m.instrumentCount && voice < kMixedVoiceCount; ++i) {
        for (int s = 0; s < m.instruments[i].sampleCount && voice < kMixedVoiceCount; ++s) {
            Voice& v = player.voices[voice];
            v = Voice{};
            v.index = voice;
            v.sample = m.instruments[i].samples[s];
            v.direction = 1;
            // Steps of 0.0 to 16 values, taken from the input.
            const uint8_t b = size > 0 ? data[(voice * 7) % size] : 1;
            v.stepWhole = b >> 4;
            v.stepFraction = uint32_t(b) * 0x01010101u;
            v.leftLevel = b;
            v.rightLevel = 255 - b;
            ++voice;
        }
    }
    for (int call = 0; call < 8; ++call)
        mixVoices(player, frames, 1024);
    for (int k = 0; k < kMixedVoiceCount; ++k)
        player.voices[k].sample = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = prepare();
    require(ready);
    if (size > 0x7FFFFFFF) return 0;
    setMemoryImage(data, int32_t(size));
    Module* module = loadModule("fuzz");
    setMemoryImage(nullptr, 0);
    if (module) {
        checkModule(*module);
        mixSamples(*module, data, size);
        freeModule(module);
    }
    return 0;
}
