// The demo itself: start-up, the paced frame loop and the drawing of one frame.
#pragma once
#include <cstdint>

// How start-up ended.
enum class StartUp : uint8_t {
    Started,        // the frame loop can run
    NoSoundOutput,  // the sound output could not be opened; the renderers are destroyed
    NoSong,         // the song could not be loaded; the renderers are destroyed
};

// What start-up needs from its surroundings: the console title and the millisecond clock that
// paces the frames. Offline runs pass a clock that stands still and no title.
struct DirectorHost {
    int (*setTitle)(const char* text);  // may be null
    uint32_t (*readClock)();
};

// The title the demo shows from the moment its tables are built.
extern const char kDemoTitle[];

// The frame the loop has counted: 0 before the loop, 1 in the first frame, never reset.
int32_t currentFrameNumber();

// Start-up, in this order: the song files for the sound engine, the renderers, the demo's
// title, the frames, the scene buffers, the point-cloud path, the frame clock, the closing
// scene's pulse, and last the sound output and the song.
StartUp startUpDemo(const DirectorHost& host);

// What the frame wait needs from the platform's clock.
struct FrameClock {
    // Milliseconds on a monotonic clock that wraps at 2^32.
    uint32_t (*readClock)();
    // Returns once readClock() would give at least tick, or earlier (a signal, or a platform
    // that polls and returns at once).
    void (*sleepUntil)(uint32_t tick);
    // The milliseconds the process spent stopped by job control since the last call.
    uint32_t (*takeStoppedTime)();
};

// Waits until the clock passes nextTick, sleeping rather than reading the clock over and over
// where the platform can, then moves nextTick on by 40 ms. A late frame starts at once. Time
// the process spent stopped moves nextTick on first, so that a suspended demo resumes at the
// frame where it stopped instead of catching up. The comparison is made on the wrapped
// difference, so the wait stays right across the wrap of the 32-bit millisecond clock.
void waitForFrame(uint32_t& nextTick, const FrameClock& clock);

// Draws frame n into cellFrame: sceneFrame is cleared, then frame 1 starts the music and
// every later frame draws the scene the timeline assigns to it.
void drawFrame(int32_t n);

// Counts the next frame and draws it; returns its number. The frame loop of runDemo does the
// same with the wait for the frame's time in between; a program whose platform runs the
// frames itself (the web page) calls this.
int32_t drawNextFrame();

// Start-up, then the frame loop for as long as the process lives. Returns only when start-up
// fails.
StartUp runDemo();
