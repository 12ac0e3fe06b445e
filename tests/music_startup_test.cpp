// The music's start-up in the director: song files, sound output, song, and playback in frame 1.
// The output is the offline device behind a wrapper that records how it is opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "director/director.h"
#include "host/cell_frame.h"
#include "sequencer/sequencer.h"
#include "sound/file_access.h"
#include "sound/output.h"

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

// Each start-up allocates the frames afresh; the demo does it once.
void releaseFrames() {
    delete largeFrame;
    delete sceneFrame;
    delete zoomFrame;
    largeFrame = nullptr;
    sceneFrame = zoomFrame = nullptr;
}

class MusicStartUp : public ::testing::Test {
  protected:
    void SetUp() override {
        opens = 0;
        openedRate = 0;
        callbacksAtOpen = false;
        refuseOpen = false;
        spoilSong = false;
        recordingOutput = offlineOutput;
        recordingOutput.open = recordingOpen;
        outputDevice = &recordingOutput;
        // Nothing registered: start-up must do it.
        setFileCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
        std::fill(std::begin(cellFrame.cells), std::end(cellFrame.cells), uint16_t{0});
    }
    void TearDown() override {
        if (playingModule) stopPlayback(playingModule);
        closeOutput();
        outputDevice = &platformOutput;
        setMemoryImage(nullptr, 0);
        releaseFrames();
    }
    StartUp startUp() { return startUpDemo(DirectorHost{nullptr, stillClock}); }
};

TEST_F(MusicStartUp, SongFilesAreRegisteredBeforeTheOutputOpensAt44100Hz) {
    EXPECT_EQ(startUp(), StartUp::Started);
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(callbacksAtOpen);
    EXPECT_EQ(openedRate, 44100);
    EXPECT_EQ(playingModule, nullptr) << "nothing plays before frame 1";
}

TEST_F(MusicStartUp, WithoutOutputTheDemoEndsBeforeItsFirstFrame) {
    refuseOpen = true;
    EXPECT_EQ(startUp(), StartUp::NoSoundOutput);
    EXPECT_EQ(playingModule, nullptr);
}

TEST_F(MusicStartUp, WithoutSongTheDemoEndsBeforeItsFirstFrame) {
    spoilSong = true;
    EXPECT_EQ(startUp(), StartUp::NoSong);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(playingModule, nullptr);
}

TEST_F(MusicStartUp, FrameOneStartsTheSongAndStaysBlack) {
    ASSERT_EQ(startUp(), StartUp::Started);
    drawFrame(1);
    ASSERT_NE(playingModule, nullptr);
    // The whole ring was mixed before the device started: the song's first two seconds.
    EXPECT_EQ(writeBlock, 0);
    EXPECT_TRUE(std::any_of(waveBuffer, waveBuffer + 2 * ringFrames, [](int16_t v) {
        return v != 0;
    })) << "the opening chord sounds";
    EXPECT_EQ(playingModule->channelCount, 8);
    EXPECT_TRUE(std::all_of(std::begin(cellFrame.cells), std::end(cellFrame.cells),
                            [](uint16_t c) { return c == 0; }));
}

// runDemo itself: a start-up that fails returns its reason and never counts, draws or
// presents a frame.
TEST_F(MusicStartUp, RunDemoReturnsWithoutAFrameWhenTheSoundCannotStart) {
    refuseOpen = true;
    EXPECT_EQ(runDemo(), StartUp::NoSoundOutput);
    EXPECT_EQ(frameNumber, 0);
    refuseOpen = false;
    spoilSong = true;
    releaseFrames();
    EXPECT_EQ(runDemo(), StartUp::NoSong);
    EXPECT_EQ(frameNumber, 0);
}

}  // namespace
