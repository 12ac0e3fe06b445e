// The music's start-up in the director: song files, sound output, song, and playback in frame 1.
// The output is the offline device behind a wrapper that records how it is opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "cells/cell_frame.h"
#include "director/director.h"
#include "director/renderers.h"
#include "director/scenes.h"
#include "engine/file_access.h"
#include "engine/output.h"
#include "engine/sequencer.h"
#include "engine/thread.h"

namespace {

// What the director's start-up did to the output device.
int opens = 0;
int32_t openedRate = 0;
bool callbacksAtOpen = false;
bool refuseOpen = false;  // the device cannot be opened
bool spoilSong = false;   // the song image goes bad between the callbacks and the load

const uint8_t notASong[64] = {'N', 'o', 't', ' ', 'a', 'n', ' ', 'X', 'M'};

bool recordingOpen(int32_t rate) {
    ++opens;
    openedRate = rate;
    callbacksAtOpen = haveFileCallbacks();
    if (spoilSong) setMemoryImage(notASong, sizeof notASong);
    if (refuseOpen) return false;
    return offlineOutput.open(rate);
}

OutputDevice recordingOutput;

uint32_t stillClock() {
    return 5000;
}

// Start-up allocates the frames and builds the renderers for good, as the demo does once. The
// tests start up again and again in a process that other tests may have started up already
// (tests/demo_run.h), so each ends with a start-up that succeeds, as those found it.
class MusicStartUp : public ::testing::Test {
  protected:
    const int32_t framesCounted = currentFrameNumber();

    void SetUp() override {
        opens = 0;
        openedRate = 0;
        callbacksAtOpen = false;
        refuseOpen = false;
        spoilSong = false;
        recordingOutput = offlineOutput;
        recordingOutput.open = recordingOpen;
        useOutputDevice(&recordingOutput, &platformThreads);
        // Nothing registered: start-up must do it.
        setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
        std::fill(std::begin(cellFrame().cells), std::end(cellFrame().cells), uint16_t{0});
    }
    void TearDown() override {
        if (Module* playing = viewStream().playingModule) stopPlayback(playing);
        registerSongFiles();
        useOutputDevice(&offlineOutput, &platformThreads);
        startUp();
    }
    StartUp startUp() { return startUpDemo(DirectorHost{nullptr, stillClock}); }
};

TEST_F(MusicStartUp, SongFilesAreRegisteredBeforeTheOutputOpensAt44100Hz) {
    EXPECT_EQ(startUp(), StartUp::Started);
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(callbacksAtOpen);
    EXPECT_EQ(openedRate, 44100);
    EXPECT_EQ(viewStream().playingModule, nullptr) << "nothing plays before frame 1";
}

TEST_F(MusicStartUp, WithoutOutputStartUpEndsWithTheRenderersDestroyed) {
    refuseOpen = true;
    EXPECT_EQ(startUp(), StartUp::NoSoundOutput);
    EXPECT_EQ(shadeRenderer(), nullptr);
    EXPECT_EQ(quadrantRenderer(), nullptr);
    EXPECT_EQ(viewStream().playingModule, nullptr);
}

TEST_F(MusicStartUp, WithoutSongStartUpEndsWithTheRenderersDestroyed) {
    spoilSong = true;
    EXPECT_EQ(startUp(), StartUp::NoSong);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(shadeRenderer(), nullptr);
    EXPECT_EQ(quadrantRenderer(), nullptr);
    EXPECT_EQ(viewStream().playingModule, nullptr);
}

TEST_F(MusicStartUp, FrameOneStartsTheSongAndStaysBlack) {
    ASSERT_EQ(startUp(), StartUp::Started);
    drawFrame(1);
    const StreamView stream = viewStream();
    ASSERT_NE(stream.playingModule, nullptr);
    // The whole ring was mixed before the device started: the song's first two seconds.
    EXPECT_EQ(stream.writeBlock, 0);
    EXPECT_TRUE(std::any_of(stream.waveBuffer, stream.waveBuffer + 2 * stream.ringFrames,
                            [](int16_t v) { return v != 0; }))
        << "the opening chord sounds";
    EXPECT_EQ(stream.playingModule->channelCount, 8);
    EXPECT_TRUE(std::all_of(std::begin(cellFrame().cells), std::end(cellFrame().cells),
                            [](uint16_t c) { return c == 0; }));
}

// runDemo itself: a start-up that fails returns its reason and never counts, draws or
// presents a frame.
TEST_F(MusicStartUp, RunDemoReturnsWithoutAFrameWhenTheSoundCannotStart) {
    refuseOpen = true;
    EXPECT_EQ(runDemo(), StartUp::NoSoundOutput);
    EXPECT_EQ(currentFrameNumber(), framesCounted);
    refuseOpen = false;
    spoilSong = true;
    EXPECT_EQ(runDemo(), StartUp::NoSong);
    EXPECT_EQ(currentFrameNumber(), framesCounted);
    EXPECT_TRUE(std::all_of(std::begin(cellFrame().cells), std::end(cellFrame().cells),
                            [](uint16_t c) { return c == 0; }));
}

}  // namespace
