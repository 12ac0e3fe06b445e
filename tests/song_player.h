// Plays a small song built in a test tick by tick, without an output device: the playback
// fields, channels and voices are set up as playback start sets them up, and the test calls
// the tick handler itself, mixing the frames of each tick when it wants voices to move.
#pragma once
#include <cstring>
#include <utility>
#include <vector>

#include "engine/mixer.h"
#include "engine/module.h"
#include "engine/output.h"
#include "engine/sequencer.h"
#include "xm_builder.h"

struct SongPlayer {
    std::vector<uint8_t> image;
    Module* module = nullptr;
    std::vector<float> frames;

    explicit SongPlayer(const XmSong& song) : image(buildXm(song)) {
        module = loadXmImage(image);
        if (module) start();
    }
    ~SongPlayer() { freeModule(module); }
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // The output opened on the offline device, as a program opens it, and the song set back
    // to its start without starting the stream.
    void start() {
        useOutputDevice(&offlineOutput, nullptr);
        openOutput(44100);
        resetPlayback(module);
    }

    // One tick; with mix, the tick's frames are mixed afterwards, as the stream does.
    void tick(bool mix = false) {
        module->tickHandler(module);
        if (mix) {
            frames.assign(2 * size_t(module->samplesPerTick), 0.0f);
            mixVoices(frames.data(), module->samplesPerTick);
        }
    }
    void ticks(int count, bool mix = false) {
        for (int i = 0; i < count; ++i)
            tick(mix);
    }

    // Plays ticks and notes the (order position, row) that each tick 0 read.
    std::vector<std::pair<int, int>> rowsRead(int tickCount) {
        std::vector<std::pair<int, int>> rows;
        for (int i = 0; i < tickCount; ++i) {
            const bool readsRow = module->tick == 0;
            tick();
            if (readsRow) rows.emplace_back(module->orderIndex, module->row);
        }
        return rows;
    }

    Channel& channel(int i = 0) const { return channelAt(i); }
    Voice& voice(int i = 0) const { return *channelAt(i).voice; }
};

// Song pieces used across the sequencer tests.
namespace song_parts {

// A sample of 1000 values looping over all of them, loud enough to hear in a mix.
inline XmSample longLoop(uint8_t volume = 64) {
    std::vector<int16_t> values(1000);
    for (size_t k = 0; k < values.size(); ++k)
        values[k] = int16_t((k % 50) * 2 - 50);
    XmSample s = XmSample::forwardLoop(std::move(values), 0, 1000);
    s.volume = volume;
    return s;
}

// A one-channel song of one pattern with the given rows and one instrument of a long loop.
inline XmSong oneChannel(int rows = 16, uint16_t speed = 6) {
    XmSong song;
    song.channels = 1;
    song.speed = speed;
    song.addPattern(rows);
    song.addInstrument(longLoop());
    return song;
}

}  // namespace song_parts

// Notes as the cells write them: C-4 is 49 (0-based note 48), key off is 97.
constexpr uint8_t kC4 = 49;
constexpr uint8_t kKeyOff = 97;
