#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/file_access.h"
#include "engine/mixer.h"
#include "engine/output.h"
#include "engine/player.h"
#include "engine/thread.h"
#include "song_player.h"
#include "xm_busy_song.h"

namespace {

// What the stream's tick listener saw at each tick.
struct TickRecord {
    int32_t frame;  // the position of voice 0, which steps one value per frame from 0
    int32_t block;  // writeBlock
};
std::vector<TickRecord> ticks;
int32_t changeTempoAtTick = -1;
int32_t fixedTickLength = 0;

void recordTick(Player& player, void*) {
    if (int32_t(ticks.size()) == changeTempoAtTick) setTempo(player, 255);
    if (fixedTickLength > 0) player.samplesPerTick = fixedTickLength;
    ticks.push_back({player.voices[0].positionWhole, viewStream().writeBlock});
}

Voice& voiceAt(int32_t index) {
    return streamPlayer()->voices[index];
}

// The stream's player listens to ticks from the next start on.
void listenToTicks() {
    streamPlayer()->tickListener = recordTick;
}

class Stream : public ::testing::Test {
  protected:
    std::vector<int16_t> values;
    std::vector<uint8_t> image;
    Module* module = nullptr;

    void SetUp() override {
        ticks.clear();
        changeTempoAtTick = -1;
        fixedTickLength = 0;
        useOutputDevice(&offlineOutput, &platformThreads);
        setFileCallbacks(memoryOpen, memoryClose, memoryRead, memorySeek, memoryTell);
        // One 16-bit sample of 300000 distinct values: longer than three rings.
        for (int k = 0; k < 300000; ++k)
            values.push_back(int16_t(k % 60000 - 30000));
        XmSong song;
        XmSample sample = XmSample::oneShot(values);
        sample.sixteenBit = true;
        song.addInstrument(sample);
        module = loadXmImage(buildXm(song));
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override {
        freeModule(module);
        closeOutput();
        if (streamPlayer()) streamPlayer()->tickListener = nullptr;
    }
    // Voice 0 plays the sample from the start, one value per frame, at gain 1 on both sides.
    void playSample() {
        Voice& v = voiceAt(0);
        v.sample = module->instruments[0].samples[0];
        v.direction = kVoiceForward;
        v.stepWhole = 1;
        v.leftLevel = v.rightLevel = 255;
        v.currentLeft = v.currentRight = 255 * 256;
    }
};

TEST_F(Stream, SizesFollowTheRate) {
    struct Sizes {
        int32_t rate, block, ring, ramp;
    };
    for (Sizes s : {Sizes{44100, 884, 88400, 128}, Sizes{22050, 444, 44400, 64},
                    Sizes{48000, 960, 96000, 139}, Sizes{11025, 220, 22000, 32}}) {
        ASSERT_TRUE(openOutput(s.rate));
        EXPECT_EQ(outputSampleRate(), s.rate);
        EXPECT_EQ(viewStream().blockFrames, s.block);
        EXPECT_EQ(viewStream().ringFrames, s.ring);
        EXPECT_EQ(streamPlayer()->rampFrames, s.ramp);
        EXPECT_EQ(blockCount(), 100);
        EXPECT_EQ(voiceAt(200).index, 200);
        EXPECT_EQ(voiceAt(200).stepWhole, 1);
        EXPECT_EQ(voiceAt(200).sample, nullptr);
    }
    ASSERT_TRUE(startPlayback(module));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(viewStream().mixBuffer) % 16, 0u);
    EXPECT_TRUE(stopPlayback(module));
    EXPECT_EQ(viewStream().mixBuffer, nullptr);
    EXPECT_NE(viewStream().waveBuffer, nullptr);  // kept for the next start

    EXPECT_FALSE(openOutput(344));
    EXPECT_FALSE(openOutput(0));
    setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(openOutput(44100));
}

TEST_F(Stream, TempoSetsTheTickLength) {
    ASSERT_TRUE(openOutput(44100));
    Player& player = *streamPlayer();
    EXPECT_EQ(setTempo(player, 125), 882);
    EXPECT_EQ(player.bpm, 125);
    EXPECT_EQ(setTempo(player, 32), 3445);
    EXPECT_EQ(setTempo(player, 128), 861);
    EXPECT_EQ(setTempo(player, 255), 432);
    for (int32_t tempo = 1; tempo <= 255; ++tempo) {
        EXPECT_EQ(setTempo(player, tempo), 110250 / tempo) << tempo;
    }
    // A tempo of 0 or less would make no tick end: it is taken as 1.
    EXPECT_EQ(setTempo(player, 0), 110250);
    EXPECT_EQ(player.bpm, 1);
    EXPECT_EQ(setTempo(player, 1 << 30), 1);
}

TEST_F(Stream, TicksFallOnExactFramesFromFrameZero) {
    ASSERT_TRUE(openOutput(44100));
    playSample();
    listenToTicks();
    changeTempoAtTick = 3;
    ASSERT_TRUE(startPlayback(module));
    ASSERT_TRUE(stopPlayback(module));
    EXPECT_EQ(streamPlayer()->speed, module->defaultSpeed);
    EXPECT_EQ(streamPlayer()->globalVolume, 64);
    ASSERT_GT(ticks.size(), 10u);
    // The first tick comes before any frame; ticks of 882 frames straddle the 884-frame blocks.
    EXPECT_EQ(ticks[0].frame, 0);
    EXPECT_EQ(ticks[1].frame, 882);
    EXPECT_EQ(ticks[2].frame, 1764);
    EXPECT_EQ(ticks[1].block, 0);
    EXPECT_EQ(ticks[2].block, 1);
    // Tick 3 sets 255 bpm: its own length is already 432 frames.
    EXPECT_EQ(ticks[3].frame, 2646);
    EXPECT_EQ(ticks[4].frame, 2646 + 432);
    EXPECT_EQ(ticks[5].frame, 2646 + 864);
    // The whole ring was mixed before the device started.
    EXPECT_EQ(ticks.back().block, 99);
}

TEST_F(Stream, StreamingThreadCatchesUpEveryBlockInOrder) {
    ASSERT_TRUE(openOutput(44100));
    listenToTicks();
    fixedTickLength = 884;  // one tick per block
    ASSERT_TRUE(startPlayback(module));
    ASSERT_EQ(ticks.size(), 100u);
    advanceOfflineOutput(5 * 884 + 17);  // the device is now inside block 5
    ASSERT_EQ(ticks.size(), 105u);
    for (int k = 0; k < 105; ++k)
        EXPECT_EQ(ticks[k].block, k % 100) << k;
    advanceOfflineOutput(97 * 884);  // across the end of the ring: blocks 5..99, then 0, 1
    ASSERT_EQ(ticks.size(), 202u);
    for (int k = 105; k < 202; ++k)
        EXPECT_EQ(ticks[k].block, k % 100) << k;
    EXPECT_EQ(viewStream().lateBlocks, 0u);
    EXPECT_EQ(viewStream().largestCatchUp, 97u);
    ASSERT_TRUE(stopPlayback(module));
    EXPECT_EQ(viewStream().writeBlock, 2);
    EXPECT_FALSE(streamingThreadRunning());
}

// A platform without threads: the program keeps the ring filled itself.
TEST_F(Stream, WithoutThreadsTheProgramRefillsTheRing) {
    useOutputDevice(&offlineOutput, nullptr);
    ASSERT_TRUE(openOutput(44100));
    listenToTicks();
    fixedTickLength = 884;  // one tick per block
    ASSERT_TRUE(startPlayback(module));
    EXPECT_FALSE(streamingThreadRunning());
    ASSERT_EQ(ticks.size(), 100u);
    advanceOfflineOutput(3 * 884 + 5);  // the device is inside block 3; nothing mixes behind it
    EXPECT_EQ(ticks.size(), 100u);
    refillStream();
    ASSERT_EQ(ticks.size(), 103u);
    for (int k = 100; k < 103; ++k)
        EXPECT_EQ(ticks[k].block, k % 100) << k;
    refillStream();
    EXPECT_EQ(ticks.size(), 103u);
    ASSERT_TRUE(stopPlayback(module));
    EXPECT_EQ(viewStream().writeBlock, 3);
}

TEST_F(Stream, DeviceThatLapsTheRingIsCountedAsLate) {
    ASSERT_TRUE(openOutput(44100));
    ASSERT_TRUE(startPlayback(module));
    advanceOfflineOutput(150 * 884);
    EXPECT_EQ(viewStream().lateBlocks, 51u);  // blocks 100..150 were heard before they were mixed
    stopPlayback(module);
}

TEST_F(Stream, OfflineOutputIsOneContinuousStream) {
    ASSERT_TRUE(openOutput(44100));
    playSample();
    ASSERT_TRUE(startPlayback(module));
    std::vector<int16_t> pcm(2 * 270000);
    readOfflineOutput(pcm.data(), 1000);
    readOfflineOutput(pcm.data() + 2000, 269000);
    for (int k = 0; k < 270000; ++k) {
        ASSERT_EQ(pcm[2 * k], values[k]) << k;
        ASSERT_EQ(pcm[2 * k + 1], values[k]) << k;
    }
    EXPECT_EQ(viewStream().lateBlocks, 0u);
    // Started again, the song and the device start from the beginning. The stop clears the
    // voices; the voice is set up again after it.
    ASSERT_TRUE(stopPlayback(module));
    EXPECT_EQ(voiceAt(0).sample, nullptr);
    playSample();
    ASSERT_TRUE(startPlayback(module));
    readOfflineOutput(pcm.data(), 5000);
    for (int k = 0; k < 5000; ++k)
        ASSERT_EQ(pcm[2 * k], values[k]) << k;
    stopPlayback(module);
}

TEST_F(Stream, StopAndFree) {
    EXPECT_FALSE(startPlayback(nullptr));
    EXPECT_FALSE(stopPlayback(nullptr));
    // Before any start, a stop has nothing to stop.
    EXPECT_TRUE(stopPlayback(module));
    EXPECT_EQ(viewStream().playingModule, nullptr);
    EXPECT_TRUE(stopPlayback(module));
    // Without an open output there is nothing to play on.
    EXPECT_FALSE(startPlayback(module));

    ASSERT_TRUE(openOutput(44100));
    ASSERT_TRUE(startPlayback(module));
    EXPECT_FALSE(viewStream().stopRequested);
    EXPECT_TRUE(streamingThreadRunning());
    EXPECT_EQ(viewStream().playingModule, module);
    // Releasing another module, here one that failed to load, leaves the stream playing.
    XmSong broken;
    broken.channelsField = 40;
    EXPECT_EQ(loadXmImage(buildXm(broken)), nullptr);
    EXPECT_EQ(viewStream().playingModule, module);
    EXPECT_TRUE(streamingThreadRunning());
    // Releasing the playing module stops the stream first.
    EXPECT_TRUE(freeModule(module));
    module = nullptr;
    EXPECT_EQ(viewStream().playingModule, nullptr);
    EXPECT_FALSE(streamingThreadRunning());
    EXPECT_EQ(viewStream().mixBuffer, nullptr);
}

// Song after song: a song played after another one, stopped in full sound and released,
// renders byte for byte as it does alone after openOutput: from silence, and with nothing of
// the song before in its voices beyond its channels. A 32-channel song is followed by a
// 4-channel one, and the other way round.
std::vector<int16_t> renderSong(Module* song, uint32_t frames) {
    std::vector<int16_t> pcm(2 * size_t{frames});
    EXPECT_TRUE(startPlayback(song));
    readOfflineOutput(pcm.data(), frames);
    return pcm;
}

TEST_F(Stream, SongAfterSongStartsFromSilentVoices) {
    XmSong small;
    small.addInstrument(XmSample::forwardLoop({0, 30, 60, 90, 60, 30, 0, -30, -60, -30}, 0, 10));
    XmPattern& rows = small.addPattern(32);  // four notes on row 4, silence before them
    for (int c = 0; c < 4; ++c)
        rows.at(4, c) = {uint8_t(37 + 7 * c), 1};
    const std::vector<uint8_t> images[2] = {busySong(), buildXm(small)};
    for (int first = 0; first < 2; ++first) {
        ASSERT_TRUE(openOutput(22050));
        Module* b = loadXmImage(images[1 - first]);
        ASSERT_NE(b, nullptr);
        const std::vector<int16_t> alone = renderSong(b, 3 * 22050);
        EXPECT_TRUE(std::any_of(alone.begin(), alone.end(), [](int16_t x) { return x != 0; }));
        Module* a = loadXmImage(images[first]);
        ASSERT_NE(a, nullptr);
        renderSong(a, 3 * 22050);
        ASSERT_TRUE(freeModule(a));
        for (int i = 0; i < kVoiceCount; ++i)
            ASSERT_EQ(voiceAt(i).sample, nullptr);
        EXPECT_TRUE(renderSong(b, 3 * 22050) == alone) << "after song " << first;
        freeModule(b);
    }
}

}  // namespace
