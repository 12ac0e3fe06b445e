// The song compiled into the program, as the demo loads it: through the memory callbacks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "data/assets.h"
#include "director/scenes.h"
#include "engine/file_access.h"
#include "engine/module.h"
#include "engine/output.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "engine/thread.h"

namespace {

// The embedded song, loaded the way the director loads it, released when the test ends.
struct EmbeddedSong {
    Module* module;
    EmbeddedSong() {
        registerSongFiles();
        module = loadModule("snydt");
    }
    ~EmbeddedSong() {
        freeModule(module);
        setMemoryImage(nullptr, 0);
    }
    Module* operator->() const { return module; }
};

constexpr int kRowCounts[13] = {6, 64, 64, 64, 64, 64, 64, 64, 8, 64, 64, 14, 64};

TEST(Song, LoadsThroughTheMemoryCallbacksWithItsHeaderFigures) {
    EXPECT_EQ(songImageSize, 24500u);
    EmbeddedSong song;
    ASSERT_NE(song.module, nullptr);
    EXPECT_EQ(song->songLength, 16);
    EXPECT_EQ(song->restartPosition, 4);
    EXPECT_EQ(song->channelCount, 8);
    EXPECT_EQ(song->usedPatternCount, 13);
    EXPECT_EQ(song->patternSlotCount, 13);
    EXPECT_EQ(song->instrumentCount, 6);
    EXPECT_EQ(song->flags, 1);  // linear frequencies
    EXPECT_EQ(song->defaultSpeed, 6);
    EXPECT_EQ(song->defaultBpm, 125);
    for (int p = 0; p < 13; ++p)
        EXPECT_EQ(song->patterns[p].rowCount, kRowCounts[p]) << p;
}

TEST(Song, OrderListPlaysStoredPatternsOnlyAndEveryOneOfThem) {
    EmbeddedSong song;
    ASSERT_NE(song.module, nullptr);
    std::set<int> played;
    for (int i = 0; i < song->songLength; ++i) {
        int p = song->orderTable[i];
        ASSERT_LT(p, song->patternSlotCount) << "order position " << i;
        // A pattern the file does not store would load as an empty placeholder.
        EXPECT_NE(song->patterns[p].cells, nullptr) << "order position " << i;
        played.insert(p);
    }
    EXPECT_EQ(played.size(), 13u);
    EXPECT_LT(song->restartPosition, song->songLength);
}

TEST(Song, EveryInstrumentHasItsSample) {
    EmbeddedSong song;
    ASSERT_NE(song.module, nullptr);
    for (int i = 0; i < song->instrumentCount; ++i) {
        const Instrument& ins = song->instruments[i];
        ASSERT_EQ(ins.sampleCount, 1) << "instrument " << i + 1;
        const Sample* s = ins.samples[0];
        EXPECT_GT(s->length, 0u) << "instrument " << i + 1;
        EXPECT_NE(s->data, nullptr) << "instrument " << i + 1;
        EXPECT_LE(s->volume, 64) << "instrument " << i + 1;
        for (uint8_t n : ins.noteSampleMap)
            EXPECT_EQ(n, 0) << "instrument " << i + 1;
    }
    // The lead, bass and chord waveforms are single cycles that loop; the drums play once.
    for (int i = 0; i < 3; ++i) {
        const Sample* s = song->instruments[i].samples[0];
        EXPECT_EQ(s->length, 83u);
        EXPECT_EQ(s->loopMode, kForwardLoop);
        EXPECT_EQ(s->loopStart, 0u);
        EXPECT_EQ(s->loopLength, 83u);
    }
    for (int i = 3; i < 6; ++i) {
        EXPECT_EQ(song->instruments[i].samples[0]->loopMode, kNoLoop) << "instrument " << i + 1;
    }
}

TEST(Song, CellsNameOnlyItsInstrumentsAndPlayableNotes) {
    EmbeddedSong song;
    ASSERT_NE(song.module, nullptr);
    for (int p = 0; p < song->patternSlotCount; ++p) {
        const Pattern& pattern = song->patterns[p];
        for (int c = 0; c < pattern.rowCount * song->channelCount; ++c) {
            const Cell& cell = pattern.cells[c];
            EXPECT_LE(cell.instrument, song->instrumentCount) << "pattern " << p << " cell " << c;
            EXPECT_TRUE(cell.note <= 96 || cell.note == 255) << "pattern " << p << " cell " << c;
        }
    }
}

// The whole song through the offline device, as the demo plays it, and a little beyond its end.
// The stream's tick listener notes the order position of every tick.
std::vector<int32_t> tickPositions;

void notePosition(Player& player, void*) {
    tickPositions.push_back(player.orderIndex);
}

constexpr int32_t kRate = 44100;
constexpr int32_t kTickFrames = 882;                  // speed 6 at 125 BPM: 2.5 / 125 s a tick
constexpr int32_t kBarFrames = 16 * 6 * kTickFrames;  // 16 rows of 6 ticks: 1.92 s

TEST(SongRender, PlaysToItsRestartPositionLoopsThereAndNeitherFallsSilentNorClips) {
    useOutputDevice(&offlineOutput, &platformThreads);
    EmbeddedSong song;
    ASSERT_NE(song.module, nullptr);
    ASSERT_TRUE(openOutput(kRate));
    streamPlayer()->tickListener = notePosition;
    tickPositions.clear();
    tickPositions.reserve(8000);
    const uint32_t frames = 106 * kRate;
    std::vector<int16_t> pcm(2 * size_t{frames});
    startPlayback(song.module);
    readOfflineOutput(pcm.data(), frames);
    stopPlayback(song.module);
    closeOutput();
    streamPlayer()->tickListener = nullptr;

    // Positions 0 to 15 in order, then back to the restart position 4 after 100.32 s: 836
    // rows (loops and delays included) of 6 ticks.
    std::vector<int32_t> order;
    size_t restartTick = 0;
    for (size_t t = 0; t < tickPositions.size(); ++t) {
        if (order.empty() || order.back() != tickPositions[t]) {
            order.push_back(tickPositions[t]);
            if (order.size() == 17) restartTick = t;
        }
    }
    ASSERT_GE(order.size(), 18u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(order[16], 4);
    EXPECT_EQ(order[17], 5);
    EXPECT_EQ(restartTick, 836u * 6);

    // No stretch of silence as long as a bar: the song has no rests that long.
    int32_t quiet = 0, longestQuiet = 0;
    uint32_t clipped = 0;
    for (uint32_t f = 0; f < frames; ++f) {
        int l = std::abs(int{pcm[2 * f]}), r = std::abs(int{pcm[2 * f + 1]});
        quiet = (l < 64 && r < 64) ? quiet + 1 : 0;
        if (quiet > longestQuiet) longestQuiet = quiet;
        if (l >= 32767 || r >= 32767) ++clipped;
    }
    EXPECT_LT(longestQuiet, kBarFrames / 4) << "frames below -54 dBFS in a row";
    EXPECT_LE(clipped, 4u);
}

}  // namespace
