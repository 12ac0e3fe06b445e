#include <windows.h>

#include "engine/thread.h"

namespace {

uint32_t (*threadEntry)() = nullptr;

DWORD WINAPI runEntry(LPVOID) {
    return threadEntry();
}

}  // namespace

bool startAudioThread(uint32_t (*entry)()) {
    threadEntry = entry;
    HANDLE thread = CreateThread(nullptr, 0, runEntry, nullptr, 0, nullptr);
    if (!thread) return false;
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    // The thread is followed through its flags, never through its handle.
    CloseHandle(thread);
    return true;
}

void sleepMilliseconds(uint32_t milliseconds) {
    Sleep(milliseconds);
}

const AudioThreads platformThreads = {startAudioThread, sleepMilliseconds};
