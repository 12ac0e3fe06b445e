// The offline device: plays nothing and keeps no time. Its play position moves only when its
// user advances it, and the user can wait until the streaming thread has mixed everything the
// position has left, so that tools and tests render the stream as fast as it can be mixed.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "engine/output.h"

namespace {

std::mutex offlineLock;
std::condition_variable offlineChanged;
// Guarded by offlineLock.
uint64_t playPosition = 0;    // bytes since play
uint64_t polledPosition = 0;  // the position the streaming thread last read
bool threadIdle = false;      // it has mixed up to polledPosition and waits
bool offlinePlaying = false;
// The ring prepared for playing; written only while the streaming thread is not running.
const int16_t* ring = nullptr;
uint32_t ringFrameCount = 0;

constexpr auto kPollInterval = std::chrono::milliseconds(5);

bool openOffline(int32_t) {
    std::lock_guard<std::mutex> hold(offlineLock);
    playPosition = polledPosition = 0;
    offlinePlaying = false;
    return true;
}

void prepareOffline(int16_t* buffer, uint32_t bytes) {
    ring = buffer;
    ringFrameCount = bytes / kFrameBytes;
}

void playOffline() {
    std::lock_guard<std::mutex> hold(offlineLock);
    playPosition = polledPosition = 0;
    offlinePlaying = true;
}

uint64_t offlinePosition() {
    std::lock_guard<std::mutex> hold(offlineLock);
    threadIdle = false;
    polledPosition = offlinePlaying ? playPosition : 0;
    return polledPosition;
}

// The streaming thread has mixed everything behind the position it polled: tell a waiting
// user, then sleep until the position moves (or 5 ms, to see a stop request).
void waitOffline() {
    std::unique_lock<std::mutex> hold(offlineLock);
    threadIdle = true;
    offlineChanged.notify_all();
    offlineChanged.wait_for(hold, kPollInterval,
                            [] { return offlinePlaying && playPosition != polledPosition; });
}

void resetOffline() {
    std::lock_guard<std::mutex> hold(offlineLock);
    playPosition = polledPosition = 0;
    offlinePlaying = false;
}

void unprepareOffline() {
    ring = nullptr;
    ringFrameCount = 0;
}
void closeOffline() {}

}  // namespace

const OutputDevice offlineOutput = {openOffline, prepareOffline, playOffline,      offlinePosition,
                                    waitOffline, resetOffline,   unprepareOffline, closeOffline};

void advanceOfflineOutput(uint32_t frames) {
    std::unique_lock<std::mutex> hold(offlineLock);
    playPosition += uint64_t{frames} * kFrameBytes;
    offlineChanged.notify_all();
    while (streamingThreadRunning()) {
        if (threadIdle && polledPosition == playPosition) return;
        offlineChanged.wait_for(hold, kPollInterval);
    }
}

void readOfflineOutput(int16_t* destination, uint32_t frameCount) {
    const int32_t blocks = blockCount();
    if (!ring || blocks < 2) return;
    // Everything from the position to the start of the block before it has been mixed.
    const uint32_t chunkLimit = ringFrameCount - ringFrameCount / static_cast<uint32_t>(blocks);
    while (frameCount > 0) {
        uint64_t position;
        {
            std::lock_guard<std::mutex> hold(offlineLock);
            position = playPosition;
        }
        uint32_t frame = static_cast<uint32_t>((position / kFrameBytes) % ringFrameCount);
        const uint32_t chunk = frameCount < chunkLimit ? frameCount : chunkLimit;
        for (uint32_t done = 0; done < chunk;) {
            uint32_t n = ringFrameCount - frame;
            if (n > chunk - done) n = chunk - done;
            std::memcpy(destination + 2 * size_t{done}, ring + 2 * size_t{frame},
                        size_t{n} * kFrameBytes);
            done += n;
            frame = (frame + n) % ringFrameCount;
        }
        advanceOfflineOutput(chunk);
        destination += 2 * size_t{chunk};
        frameCount -= chunk;
    }
}
