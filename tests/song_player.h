// Plays a small song built in a test tick by tick, on a player of its own at 44100 Hz without
// an output device: the test plays the ticks itself, mixing the frames of each tick when it
// wants voices to move.
#pragma once
#include <cstring>
#include <utility>
#include <vector>

#include "engine/mixer.h"
#include "engine/module.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "xm_builder.h"

// Loads an image as the memory callbacks read it; none when the loader refuses it, with the
// reason in problem.
inline Module* loadXmImage(const std::vector<uint8_t>& image, LoadProblem* problem = nullptr) {
    LoadProblem ignored;
    return loadModuleImage(image.data(), int32_t(image.size()), problem ? *problem : ignored);
}

struct SongPlayer {
    std::vector<uint8_t> image;
    Module* module = nullptr;
    Player* player = createPlayer(44100);
    std::vector<float> frames;

    explicit SongPlayer(const XmSong& song) : image(buildXm(song)) {
        module = loadXmImage(image);
        if (module) startSong(*player, module);
    }
    ~SongPlayer() {
        freePlayer(player);
        releaseModule(module);
    }
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // One tick; with mix, the tick's frames are mixed afterwards, as the stream does.
    void tick(bool mix = false) {
        playTick(*player);
        if (mix) {
            frames.assign(2 * size_t(player->samplesPerTick), 0.0f);
            mixVoices(*player, frames.data(), player->samplesPerTick);
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
            const bool readsRow = player->tick == 0;
            tick();
            if (readsRow) rows.emplace_back(player->orderIndex, player->row);
        }
        return rows;
    }

    Channel& channel(int i = 0) const { return player->channels[i]; }
    Voice& voice(int i = 0) const { return *player->channels[i].voice; }
    Voice& voiceAt(int i) const { return player->voices[i]; }
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
