// Threads of the sound engine, one implementation per platform (thread_win32.cpp,
// thread_posix.cpp). The stream reaches them only through the AudioThreads record that a
// program hands over with its output device (useOutputDevice, output.h).
#pragma once
#include <cstdint>

// Runs entry on a thread of its own at the highest priority the platform grants: time-critical
// on Windows, real-time scheduling on POSIX where permitted, else the default. Only one such
// thread runs at a time. False when no thread could be started.
bool startAudioThread(uint32_t (*entry)());

void sleepMilliseconds(uint32_t milliseconds);

// How the stream starts its thread and waits for it to end.
struct AudioThreads {
    bool (*start)(uint32_t (*entry)());
    void (*sleep)(uint32_t milliseconds);
};

// The platform layer's startAudioThread and sleepMilliseconds.
extern const AudioThreads platformThreads;
