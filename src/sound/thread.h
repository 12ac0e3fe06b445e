// Threads of the sound engine, one implementation per platform (thread_win32.cpp,
// thread_posix.cpp).
#pragma once
#include <cstdint>

// Runs entry on a thread of its own at the highest priority the platform grants: time-critical
// on Windows, real-time scheduling on POSIX where permitted, else the default. Only one such
// thread runs at a time. False when no thread could be started.
bool startAudioThread(uint32_t (*entry)());

void sleepMilliseconds(uint32_t milliseconds);
