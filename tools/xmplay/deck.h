// The deck: one song's player feeding a sound device, and what the listener hears of it.
//
// The device plays one ring of frames in an endless loop and tells how many bytes it has
// played. The deck renders the player's frames into the ring behind that position, up to a
// ring ahead of it, and notes for every row the device frame at which the row starts (from the
// player's row callback) and for every block the channels' levels. So the position, the row
// and the levels it reports are those of the frame leaving the device now, not of the frames
// mixed ahead. Pausing, moving to another order and muting a channel stop the device at once,
// move the player to the frame heard (exactly: a seek replays the song to it) and start the
// device on a freshly rendered ring, so that each is heard at once.
//
// Portable: the device is any OutputDevice (the platform's, or a test's whose position the test
// moves), and all of the work happens in the calls below, on the caller's thread.
#pragma once
#include <cstdint>

#include "engine/output.h"
#include "xmengine.h"

constexpr int32_t kDeckRate = 44100;
// Frames rendered in one call: 23 ms, the granularity of the levels.
constexpr int32_t kDeckBlockFrames = 1024;
// The ring: 0.93 s, so that the device is fed while the program's loop sleeps or is held up.
constexpr int32_t kDeckBlocks = 40;
constexpr int32_t kDeckRingFrames = kDeckBlocks * kDeckBlockFrames;
constexpr int32_t kDeckChannels = 32;
// Row starts remembered: the rows of a ring at the fastest speed and tempo, and more.
constexpr int32_t kDeckRowMarks = 1024;

// Where a row starts, on the device's frames and the song's.
struct RowMark {
    int64_t deviceFrame;  // frames since the device last started
    int64_t songFrame;    // frames into the song
    int32_t order, pattern, row, speed, tempo;
};

// What is heard now.
struct HeardPosition {
    int32_t order, pattern, row, speed, tempo;
    int64_t songFrame;              // frames into the song of the frame leaving the device
    bool finished;                  // the song's last frame has been played
    uint8_t levels[kDeckChannels];  // 0..64 a channel
};

struct Deck {
    const OutputDevice* device = nullptr;
    bool deviceOpen = false;
    xme_player* player = nullptr;  // the deck's: freed when another song starts
    int32_t channels = 0;
    int32_t orders = 0;
    uint32_t mutedChannels = 0;  // bit n: channel n
    bool paused = false;
    HeardPosition pausedAt{};  // what was heard when the pause began

    int64_t mixedFrames = 0;  // device frames rendered since the device last started
    int64_t endFrame = -1;    // the device frame at which the song ended; -1 while it plays
    RowMark marks[kDeckRowMarks];
    int64_t markCount = 0;  // marks made since the device last started; the newest at
                            // (markCount - 1) % kDeckRowMarks
    uint8_t blockLevels[kDeckBlocks][kDeckChannels];  // a ring slot's levels after rendering it
    uint32_t lateBlocks = 0;  // blocks the device reached before they were rendered
    int16_t ring[2 * kDeckRingFrames];
};

// Opens the device at kDeckRate and hands it the ring; false when it does not open.
bool openDeck(Deck& deck, const OutputDevice* device);
// Stops the device, takes the ring back, closes it and frees the player.
void closeDeck(Deck& deck);

// Plays a song from its start: a new player with the repeat count (0: until the song first
// comes back to an order it has played; XME_REPEAT_FOREVER), the ring rendered and the device
// started. The deck holds the song through its player; the caller may free its reference. A
// status of xmengine.h (the player's message in deck.player's xme_player_error).
int32_t startDeck(Deck& deck, xme_song* song, int32_t repeats);

// Renders the ring behind the device's position: to be called at least every few hundred ms.
void refillDeck(Deck& deck);

// What the device plays now (while paused: what it played when the pause began).
HeardPosition heardPosition(const Deck& deck);

// Stops the sound at once and keeps the position heard; resumes there.
void pauseDeck(Deck& deck);
void resumeDeck(Deck& deck);
// Plays from the start of the order position step away from the one heard (step -1: the
// previous, 1: the next). Before the first order the first plays again from its start; past the
// last nothing changes. Resumes a paused deck.
void stepDeckOrder(Deck& deck, int step);
// Mutes or unmutes a channel (0..31), heard at once.
void toggleDeckMute(Deck& deck, int channel);
