// streamcheck [SECONDS]: streams a song of one looping voice (a 441 Hz sine) through the
// platform's sound device for SECONDS seconds (default 5) and reports how the streaming
// thread kept up. Exit status 0 when the device played on, no block was heard before it was
// mixed, and the stream is not silent.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/file_access.h"
#include "engine/mixer.h"
#include "engine/output.h"
#include "engine/player.h"
#include "engine/thread.h"
#include "wav_file.h"
#include "xm_builder.h"

namespace {

std::atomic<uint32_t> tickCount{0};
std::atomic<int32_t> tickFrames{0};
void countTick(Player& player, void*) {
    tickFrames = player.samplesPerTick;
    ++tickCount;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    if (seconds < 1) {
        std::fprintf(stderr, "usage: streamcheck [SECONDS]\n");
        return 2;
    }
    // One instrument: 100 values of a sine, looped.
    std::vector<int16_t> sine;
    for (int k = 0; k < 100; ++k) {
        sine.push_back(int16_t(std::lround(20000.0 * sin(2 * 3.14159265358979 * k / 100.0))));
    }
    XmSong song;
    song.channels = 1;
    song.addPattern(64);
    XmSample sample = XmSample::forwardLoop(sine, 0, 100);
    sample.sixteenBit = true;
    song.addInstrument(sample);
    const std::vector<uint8_t> image = buildXm(song);

    setMemoryImage(image.data(), int32_t(image.size()));
    setFileCallbacks(memoryOpen, memoryClose, memoryRead, memorySeek, memoryTell);
    useOutputDevice(&platformOutput, &platformThreads);
    if (!openOutput(kOutputRate)) {
        std::fprintf(stderr, "streamcheck: the sound device did not open\n");
        return 1;
    }
    Module* module = loadModule("song");
    if (!module) {
        std::fprintf(stderr, "streamcheck: the song did not load\n");
        return 1;
    }
    Player& player = *streamPlayer();
    player.tickListener = countTick;
    // A voice that no channel of the song drives: the sequencer's ticks leave it playing.
    Voice& voice = player.voices[40];
    voice.sample = module->instruments[0].samples[0];
    voice.direction = kVoiceForward;
    voice.stepWhole = 1;  // 100 values a period at 44100 Hz: 441 Hz
    voice.leftLevel = voice.rightLevel = 128;

    const auto start = std::chrono::steady_clock::now();
    startPlayback(module);
    const auto started = std::chrono::steady_clock::now();
    const uint32_t ticksBefore = tickCount.load();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const uint64_t playedFrames = platformOutput.position() / kFrameBytes;
    const uint32_t ticksAfter = tickCount.load();
    stopPlayback(module);

    const StreamView stream = viewStream();
    int32_t peak = 0;
    for (int32_t k = 0; k < 2 * stream.ringFrames; ++k)
        peak = std::max(peak, std::abs(int(stream.waveBuffer[k])));
    const double startMs = std::chrono::duration<double, std::milli>(started - start).count();
    const double playedSeconds = double(playedFrames) / outputSampleRate();
    const double mixedSeconds =
        double(ticksAfter - ticksBefore) * tickFrames.load() / outputSampleRate();
    std::printf("pre-fill of %d blocks: %.1f ms\n", blockCount(), startMs);
    std::printf("played %.2f s in %d s; the thread mixed %.2f s meanwhile\n", playedSeconds,
                seconds, mixedSeconds);
    std::printf("late blocks: %u; most blocks mixed after one poll: %u; peak %d\n",
                stream.lateBlocks, stream.largestCatchUp, peak);
    freeModule(module);
    closeOutput();
    const bool ok = stream.lateBlocks == 0 && playedSeconds > 0.9 * seconds && peak > 10000;
    std::printf("%s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
