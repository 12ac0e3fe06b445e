// The output device on POSIX: an SDL audio device whose callback plays the one prepared buffer
// in an endless loop and counts the bytes it has handed on. Runs with SDL_AUDIODRIVER=dummy on
// a machine without a sound card. The callback runs on SDL's audio thread: it takes the blocks
// that the streaming thread has published with an acquire load before it copies them, and the
// streaming thread reads the count of bytes handed on before it mixes a block again, so each
// side sees the other's writes to the ring whole.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "engine/output.h"
#include "engine/thread.h"

namespace {

SDL_AudioDeviceID device = 0;
// Shared with the callback; changed only with the device locked.
int16_t* ring = nullptr;
uint32_t ringBytes = 0;
uint32_t readOffset = 0;
bool looping = false;
// Bytes handed on since play. Counted after each copy, so the block it falls in is one the
// callback has not finished with.
std::atomic<uint64_t> playedBytes{0};

void SDLCALL fillStream(void*, Uint8* stream, int length) {
    if (!looping || !ring || ringBytes == 0) {
        std::memset(stream, 0, static_cast<size_t>(length));
        return;
    }
    // The blocks the streaming thread mixed are published to this thread before the copy.
    acquireRing();
    const uint8_t* source = reinterpret_cast<const uint8_t*>(ring);
    uint32_t left = static_cast<uint32_t>(length);
    while (left > 0) {
        const uint32_t n = left < ringBytes - readOffset ? left : ringBytes - readOffset;
        std::memcpy(stream, source + readOffset, n);
        stream += n;
        left -= n;
        readOffset = (readOffset + n) % ringBytes;
    }
    playedBytes.fetch_add(static_cast<uint64_t>(length));
}

bool openSdl(int32_t rate) {
    if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec wanted = {};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = 1024;
    wanted.callback = fillStream;
    SDL_AudioSpec obtained;
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) return false;
    SDL_PauseAudioDevice(device, 0);  // silence until a buffer plays
    return true;
}

void prepareSdl(int16_t* buffer, uint32_t bytes) {
    SDL_LockAudioDevice(device);
    ring = buffer;
    ringBytes = bytes / kFrameBytes * kFrameBytes;
    readOffset = 0;
    looping = false;
    SDL_UnlockAudioDevice(device);
}

void playSdl() {
    SDL_LockAudioDevice(device);
    readOffset = 0;
    playedBytes = 0;
    looping = true;
    SDL_UnlockAudioDevice(device);
}

uint64_t sdlPosition() {
    return playedBytes.load();
}

void waitSdl() {
    sleepMilliseconds(5);
}

void resetSdl() {
    if (device == 0) return;
    SDL_LockAudioDevice(device);
    looping = false;
    readOffset = 0;
    playedBytes = 0;
    SDL_UnlockAudioDevice(device);
}

void unprepareSdl() {
    if (device == 0) return;
    SDL_LockAudioDevice(device);
    ring = nullptr;
    ringBytes = 0;
    SDL_UnlockAudioDevice(device);
}

void closeSdl() {
    if (device != 0) SDL_CloseAudioDevice(device);
    device = 0;
    ring = nullptr;
    looping = false;
}

}  // namespace

const OutputDevice platformOutput = {openSdl, prepareSdl, playSdl,      sdlPosition,
                                     waitSdl, resetSdl,   unprepareSdl, closeSdl};
