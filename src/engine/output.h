// Output and streaming: the sound device, the ring of blocks it plays in an endless loop, the
// float mixing ring, and the streaming thread that mixes every block again as soon as the
// device has left it. Ticks of the playing module are called from inside block mixing.
#pragma once
#include <cstdint>

#include "engine/module.h"

struct Player;

// The rate the demo plays at, in Hz; the tools render at it too.
constexpr int32_t kOutputRate = 44100;

// The bytes of one output frame: a stereo pair of 16-bit values, left first.
constexpr int32_t kFrameBytes = 4;

// A device that plays 16-bit stereo PCM. Every operation but open and position is allowed to
// fail silently.
struct OutputDevice {
    bool (*open)(int32_t sampleRate);
    // Hands the device the one buffer it will play in an endless loop.
    void (*prepare)(int16_t* buffer, uint32_t bytes);
    void (*play)();  // starts the endless loop of the prepared buffer
    // Bytes played since play, or 0 before it.
    uint64_t (*position)();
    // The streaming thread's pause between two polls of the position: 5 ms.
    void (*wait)();
    // Stops playing; the position goes back to 0.
    void (*reset)();
    // Takes the buffer back from the device.
    void (*unprepare)();
    void (*close)();
};

// The device of the platform layer a program links: waveOut on Windows, SDL on POSIX, Web
// Audio in a browser.
extern const OutputDevice platformOutput;
// A device that plays nothing and whose position moves only when told (output_offline.cpp).
extern const OutputDevice offlineOutput;

struct AudioThreads;  // thread.h

// Hands the stream the device that openOutput opens and the threads it streams on. The core
// names no platform: the program that links a platform layer calls this before openOutput,
// with that layer's platformOutput and platformThreads, or with offlineOutput to render
// without a sound system. Without a device openOutput fails. Without threads (a platform that
// has none) playback starts, and the program keeps the ring filled with refillStream.
void useOutputDevice(const OutputDevice* device, const AudioThreads* threads);

// The output rate in Hz, set by openOutput (0 before).
int32_t outputSampleRate();

// The player that the stream drives: made by the first openOutput (none before), with the
// output's rate.
Player* streamPlayer();

// Blocks in the ring: 100 once the output is open, 0 before.
int32_t blockCount();

// Opens the device for 16-bit stereo at sampleRate Hz and sizes the stream; clears the
// voices. False when a file callback is missing, the rate is outside 345 .. 1000000 Hz, the
// stream's player cannot be made or the device does not open.
bool openOutput(int32_t sampleRate);
void closeOutput();

// Stops what plays, starts the module from its beginning on the stream's player (which plays
// on for ever), mixes the whole ring, starts the device and the streaming thread.
bool startPlayback(Module* module);
// Ends the streaming thread, silences the device and takes the ring back from it. Clears the
// voices when a module was playing: none refers to it any longer, and the next start begins
// from silent voices.
bool stopPlayback(Module* module);
// Waits until the block being mixed is done; then stops playback if module is the one
// playing. Used by freeModule before it releases a module.
void stopIfPlaying(Module* module);

// Mixes every block the device has left since the last look at its position, in order: what
// the streaming thread does after every poll. For a program whose platform has no threads, to
// be called at least once a block (20 ms) while the music plays; it does nothing while a
// streaming thread runs or nothing plays.
void refillStream();

// For a device that reads the ring on a thread of its own (the SDL callback), to be called
// before each read: the acquire load that pairs with the release by which every mixed block is
// published, so that the values the streaming thread wrote into the blocks are seen whole.
// Lock-free and cheap; it changes nothing of what is read or when. Returns the number of
// blocks mixed since the program started.
uint64_t acquireRing();

// For a program that writes the ring of a device itself rather than through the stream: the
// release by which it publishes what it wrote, to be called after each block is written, and
// which the acquire of acquireRing pairs with.
void publishRing();

// Whether a streaming thread runs. Safe from any thread.
bool streamingThreadRunning();

// A look at the stream for tools and tests; the state itself is private to the stream. Take it
// while no streaming thread mixes: before a start, after a stop, while the offline device
// stands still, or from the tick handler.
struct StreamView {
    int32_t blockFrames;        // sampleRate x 20 / 1000, raised to a multiple of 4
    int32_t ringFrames;         // 100 blocks
    int32_t writeBlock;         // the next block to mix
    const int16_t* waveBuffer;  // the ring the device plays; none before the first start
    const float* mixBuffer;     // the float ring, 16-byte aligned; none while nothing plays
    Module* playingModule;      // none while nothing plays
    bool stopRequested;         // the streaming thread has been asked to end
    uint32_t lateBlocks;        // blocks the device reached before they were mixed again
    uint32_t largestCatchUp;    // the most blocks mixed after one poll of the device
};
StreamView viewStream();

// The offline device: moves the play position on by frames, then waits until the streaming
// thread has mixed every block the position has left.
void advanceOfflineOutput(uint32_t frames);
// Copies frameCount frames of the stream, from the play position on, and advances the
// position past them, waiting for the streaming thread to mix behind it.
void readOfflineOutput(int16_t* destination, uint32_t frameCount);
