// Output and streaming: the sound device, the ring of blocks it plays in an endless loop, the
// float mixing ring, and the streaming thread that mixes every block again as soon as the
// device has left it. Ticks of the playing module are called from inside block mixing.
#pragma once
#include <atomic>
#include <cstdint>

#include "sound/module.h"

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

// The device of the platform: waveOut on Windows, SDL elsewhere.
extern const OutputDevice platformOutput;
// A device that plays nothing and whose position moves only when told (output_offline.cpp).
extern const OutputDevice offlineOutput;
// The device openOutput uses: the platform's unless another is chosen before openOutput.
extern const OutputDevice* outputDevice;

// Stream state.
extern int32_t sampleRate;
extern int32_t blockFrames;   // sampleRate × 20 / 1000, raised to a multiple of 4
extern int32_t ringFrames;    // 100 blocks
extern int32_t rampFrames;    // sampleRate × 128 / 44100
extern float rampReciprocal;  // 1 / rampFrames
extern int16_t* waveBuffer;   // ringFrames stereo frames played by the device
extern float* mixBuffer;      // ringFrames stereo float frames, 16-byte aligned
extern int32_t writeBlock;    // next block to mix
extern Module* playingModule;
extern std::atomic<bool> mixing;         // the streaming thread is inside mixBlock
extern std::atomic<bool> stopRequested;  // tells the streaming thread to end
extern std::atomic<bool> threadExited;   // the streaming thread has ended (set at first)

// Streaming health, counted by the streaming thread: blocks that the device reached before
// they were mixed again (heard stale), and the most blocks mixed after one poll.
extern std::atomic<uint32_t> lateBlocks;
extern std::atomic<uint32_t> largestCatchUp;

int32_t blockCount();

// Opens the device for 16-bit stereo at sampleRate Hz and sizes the stream; clears the voices.
// False when a file callback is missing, the rate is outside 345 .. 1000000 Hz or the device
// does not open.
bool openOutput(int32_t sampleRate);
void closeOutput();

// Clears all voices of the voiceTable, each keeping its own index and a step of one value.
void clearVoices();
// Puts the module's playback fields back to the start of the song at its default speed and
// tempo, and clears its channels, channel i driving voice i.
void resetPlayback(Module* module);

// Sets the module's tempo and returns its new tick length in frames (at least 1).
int32_t setTempo(Module* module, int32_t tempo);

// Resets the module's playback position, mixes the whole ring, starts the device and the
// streaming thread.
bool startPlayback(Module* module);
// Ends the streaming thread, silences the device and takes the ring back from it.
bool stopPlayback(Module* module);

// Mixes, converts and advances one block.
void mixBlock();
// The streaming thread: polls the device position every 5 ms and mixes every block the device
// has left.
uint32_t streamingThread();

// The offline device: moves the play position on by frames, then waits until the streaming
// thread has mixed every block the position has left.
void advanceOfflineOutput(uint32_t frames);
// Copies frameCount frames of the stream, from the play position on, and advances the
// position past them, waiting for the streaming thread to mix behind it.
void readOfflineOutput(int16_t* destination, uint32_t frameCount);
