// The player: everything that playing one song changes, in one record. The sequencer and the
// mixer take it explicitly and keep nothing of their own, so that any number of players can
// play, each on its own thread, one song or several; the song itself (Module) is only read.
//
// A player mixes its song tick by tick on a grid of blocks (blockFrames frames from the start
// of the song): each mixing call covers the frames of one tick inside one block, so that the
// frames come out the same however a caller cuts its requests, and the same as the stream,
// which mixes whole blocks.
#pragma once
#include <cstdint>

#include "engine/mix_loops.h"
#include "engine/mixer.h"
#include "engine/module.h"
#include "engine/sequencer.h"

// Where the song is in the tick last played: what a program syncs its pictures to.
struct TickPosition {
    int32_t order;
    int32_t pattern;
    int32_t row;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    bool startsRow;  // the tick is tick 0 of its row: the row was read in it
};

// A slot of the linear frequency cache: the frequency of a period in linear units.
struct RememberedFrequency {
    int32_t units;
    int32_t frequency;
    bool known;
};

// How the song ends: never, or at a return to an order position already played.
constexpr int32_t kRepeatForever = -1;

struct Player {
    const Module* module;  // none: nothing to play

    // The output rate and what follows from it.
    int32_t sampleRate;
    int32_t blockFrames;   // the mixing grid: sampleRate × 20 / 1000, raised to a multiple of 4
    int32_t rampFrames;    // level ramps: rampFramesAt(sampleRate)
    float rampReciprocal;  // 1 / rampFrames
    const MixLoops* mixLoops;

    // The song position and tick timing.
    int32_t tickSamplesLeft;  // output frames still to mix before the next tick
    int32_t samplesPerTick;
    int32_t globalVolume;
    uint8_t globalVolumeSlideMemory;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    int32_t row;
    int32_t orderIndex;
    int32_t patternDelayTicks;
    int32_t nextRow;       // -1: not decided yet
    int32_t nextOrder;     // -1: not decided yet
    int32_t loopJumpRow;   // the row a pattern loop on the current row jumps back to; -1 none
    bool positionJumped;   // Bxx on the row being read: a later Dxy keeps Bxx's order position
    TickPosition playing;  // the tick last played

    Channel channels[kChannelCount];
    Voice voices[kVoiceCount];
    // The finetune of every sample of the song (instrument × 16 + sample), which E5x changes.
    int8_t finetunes[kMaxInstruments * kMaxSamplesPerInstrument];
    RememberedFrequency frequencies[64];
    // The waveforms at every phase: the vibrato and tremolo sine, the instrument vibrato's.
    int32_t vibratoSine[64];
    int32_t autoVibratoSine[256];
    uint32_t mutedChannels;  // bit i: channel i is mixed unheard

    // Frames mixed since the song started: the position on the grid.
    int64_t framesMixed;

    // End of song: the order positions played since the start or the last return, the returns
    // so far, and how many the song makes before it ends (kRepeatForever: none ends it).
    bool ordersPlayed[256];
    int32_t loops;
    int32_t repeats;
    bool tickReturned;  // the tick last played entered an order position played before
    bool ended;         // it returned once too often: its frames are not mixed

    // Called after every tick, before its length is read, for a program that watches the
    // song tick by tick (the tools, the tests); none by default.
    void (*tickListener)(Player& player, void* user);
    void* tickListenerUser;
};

// Frames per block at a rate: 20 ms, raised to a multiple of 4.
constexpr int32_t blockFramesAt(int32_t sampleRate) {
    return (sampleRate * 20 / 1000 + 3) & ~3;
}

// Sets up a zeroed player for output at sampleRate Hz (345 Hz or more), with no song, to play
// on for ever once it has one.
void initPlayer(Player& player, int32_t sampleRate);
// A player made by initPlayer; none when the memory cannot be had.
Player* createPlayer(int32_t sampleRate);
void freePlayer(Player* player);

// Sets the rate and what follows from it; clears the voices.
void setPlayerRate(Player& player, int32_t sampleRate);

// Starts the song (none: no song) from its beginning, with the voices as they are (a new
// player's are silent; clearVoices silences them), and mutes and repeats kept.
void startSong(Player& player, const Module* module);

// Sets the tempo and returns the new tick length in frames (at least 1).
int32_t setTempo(Player& player, int32_t tempo);

// If the frames of the tick before are used up, plays the next tick (with the end-of-song
// check). True when a tick was played.
bool advanceTick(Player& player);

// Mixes the frames of the current tick that lie before the next block line, at most
// frameCount, adding them into out; returns how many. With no out, the song moves on exactly
// as if mixed, without the work of mixing: what a seek does. Call advanceTick before.
int32_t mixTickFrames(Player& player, float* out, int32_t frameCount);

// The frames that the next mixTickFrames would cover at most: the rest of the tick, up to the
// next block line.
int32_t framesBeforeNextLine(const Player& player);

// The song's length before its first return to an order position, in frames at the player's
// rate, found by playing the sequencer alone on a player of its own; firstFrames (256 entries,
// may be null) receives the frame at which each order position is first entered, -1 for one
// never reached. -1 when the song does not return within limitFrames frames or limitTicks
// ticks, or the memory cannot be had.
int64_t measureSong(const Module* module, int32_t sampleRate, int64_t limitFrames,
                    int64_t limitTicks, int64_t* firstFrames);
