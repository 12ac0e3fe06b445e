// The stream: one looping buffer of 100 blocks on the device, the float ring they are mixed
// in, and the streaming thread that mixes each block again right after the device has left
// it. There is one stream in a process, and it drives one player, its own: the state below is
// the stream's, the song's playing state is the player's. Ticks of the playing module fall on
// exact frames, wherever the block boundaries are.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "engine/file_access.h"
#include "engine/mixer.h"
#include "engine/output.h"
#include "engine/player.h"
#include "engine/thread.h"

namespace {

int32_t sampleRate = 0;  // set by openOutput

constexpr int32_t kBlockMilliseconds = 20;
constexpr int32_t kLatencyMilliseconds = 1000;
constexpr int32_t kLowestRate = 345;  // below it a ramp would last no frame
constexpr int32_t kHighestRate = 1000000;

// The stream, seen from outside only through viewStream. The thread that opens, starts and
// stops it and the streaming thread share it; while the streaming thread runs, they exchange
// only the atomic flags and counters.
int32_t blockFrames = 0;  // sampleRate x 20 / 1000, raised to a multiple of 4
int32_t ringFrames = 0;   // 100 blocks
int16_t* waveBuffer = nullptr;
float* mixBuffer = nullptr;  // 16-byte aligned, inside mixAllocation
void* mixAllocation = nullptr;
int32_t waveBufferFrames = 0;
int32_t writeBlock = 0;  // next block to mix
Module* playingModule = nullptr;
// The stream's player, made by the first openOutput and kept.
Player* player = nullptr;
std::atomic<bool> mixing{false};         // the streaming thread is inside mixBlock
std::atomic<bool> stopRequested{false};  // tells the streaming thread to end
std::atomic<bool> threadExited{true};    // the streaming thread has ended (set at first)

// Blocks mixed since the program started. Each finished block is published by a store with
// release ordering; a device that reads the ring on a thread of its own loads the count with
// acquire ordering (acquireRing) before each read, so that what the mixing wrote into the
// ring happens before what the device reads, without a lock on either side.
std::atomic<uint64_t> publishedBlocks{0};

// Streaming health, counted by the streaming thread: blocks that the device reached before
// they were mixed again (heard stale), and the most blocks mixed after one poll.
std::atomic<uint32_t> lateBlocks{0};
std::atomic<uint32_t> largestCatchUp{0};

const OutputDevice* outputDevice = nullptr;  // handed over by the program
const AudioThreads* audioThreads = nullptr;  // likewise; none on a platform without threads
const OutputDevice* openDevice = nullptr;    // the device openOutput opened
// The threads that started the streaming thread now running; none when none runs.
const AudioThreads* runningThreads = nullptr;
bool bufferPrepared = false;
// The block the streaming thread will mix next, counted from the start of playback: the
// device reaching it before then means the stream fell behind.
uint64_t nextAbsoluteBlock = 0;

void mixBlock();
void mixBlocksBehindDevice();
uint32_t streamingThread();

}  // namespace

void useOutputDevice(const OutputDevice* device, const AudioThreads* threads) {
    outputDevice = device;
    audioThreads = threads;
}

int32_t blockCount() {
    return blockFrames > 0 ? ringFrames / blockFrames : 0;
}

bool openOutput(int32_t rate) {
    if (!haveFileCallbacks()) return false;
    closeOutput();
    if (rate < kLowestRate || rate > kHighestRate) return false;
    if (!player) player = createPlayer(rate);
    if (!player) return false;
    sampleRate = rate;
    if (!outputDevice || !outputDevice->open(rate)) return false;
    openDevice = outputDevice;
    blockFrames = blockFramesAt(sampleRate);
    ringFrames = 2 * (kLatencyMilliseconds / kBlockMilliseconds) * blockFrames;
    setPlayerRate(*player, sampleRate);
    return true;
}

Player* streamPlayer() {
    return player;
}

int32_t outputSampleRate() {
    return sampleRate;
}

void closeOutput() {
    // A stream still running on the device is stopped first.
    if (playingModule) stopPlayback(playingModule);
    if (!openDevice) return;
    openDevice->reset();
    openDevice->close();
    openDevice = nullptr;
}

bool startPlayback(Module* module) {
    if (!module) return false;
    stopPlayback(module);
    if (!openDevice || ringFrames <= 0 || !player) return false;
    // The voices were cleared when the output opened or the last song stopped; a program may
    // have set some up since, which the song then finds.
    player->repeats = kRepeatForever;
    startSong(*player, module);

    if (waveBufferFrames != ringFrames) {
        std::free(waveBuffer);
        waveBuffer = static_cast<int16_t*>(std::calloc(size_t{2} * ringFrames, sizeof(int16_t)));
        waveBufferFrames = waveBuffer ? ringFrames : 0;
    } else {
        std::memset(waveBuffer, 0, size_t{4} * ringFrames);
    }
    mixAllocation = std::calloc(size_t{8} * ringFrames + 256, 1);
    if (!waveBuffer || !mixAllocation) {
        std::free(mixAllocation);
        mixAllocation = nullptr;
        return false;
    }
    mixBuffer = reinterpret_cast<float*>((reinterpret_cast<uintptr_t>(mixAllocation) + 15) &
                                         ~static_cast<uintptr_t>(15));
    playingModule = module;
    openDevice->prepare(waveBuffer, 4 * static_cast<uint32_t>(ringFrames));
    bufferPrepared = true;

    // The whole ring is mixed before the device starts.
    writeBlock = 0;
    do {
        mixBlock();
    } while (writeBlock != 0);
    openDevice->play();

    lateBlocks = 0;
    largestCatchUp = 0;
    nextAbsoluteBlock = static_cast<uint64_t>(blockCount());
    stopRequested = false;
    // Cleared here rather than only by the thread, so that a stop right after this start
    // waits for the thread even if it has not run yet.
    threadExited = false;
    if (audioThreads && audioThreads->start(streamingThread)) {
        runningThreads = audioThreads;
    } else {
        threadExited = true;
    }
    return true;
}

bool stopPlayback(Module* module) {
    if (!module) return false;
    stopRequested = true;
    while (mixing.load()) {
    }
    if (runningThreads) {
        while (!threadExited.load())
            runningThreads->sleep(50);
        runningThreads = nullptr;
    }
    std::free(mixAllocation);
    mixAllocation = nullptr;
    mixBuffer = nullptr;
    if (bufferPrepared) {
        // Silenced before the buffer is taken back: the device must not hold it any longer.
        openDevice->reset();
        openDevice->unprepare();
        bufferPrepared = false;
    }
    // The voices of a stopped song are cleared, so that none refers to its samples once it is
    // released and the next song starts from silence, in its unused voices too. A stop with
    // nothing playing leaves them: a program may set voices up before its first start.
    if (playingModule && player) clearVoices(*player);
    playingModule = nullptr;
    return true;
}

void stopIfPlaying(Module* module) {
    while (mixing.load()) {
    }
    if (module && module == playingModule) stopPlayback(module);
}

bool freeModule(Module* module) {
    if (!module) return false;
    // A module that is playing is stopped first, once the block being mixed is done; releasing
    // any other module leaves the stream alone.
    stopIfPlaying(module);
    releaseModule(module);
    return true;
}

void refillStream() {
    if (runningThreads || !playingModule) return;
    mixBlocksBehindDevice();
}

bool streamingThreadRunning() {
    return !threadExited.load();
}

void publishRing() {
    publishedBlocks.fetch_add(1, std::memory_order_release);
}

uint64_t acquireRing() {
    return publishedBlocks.load(std::memory_order_acquire);
}

StreamView viewStream() {
    return StreamView{blockFrames,          ringFrames,        writeBlock,
                      waveBuffer,           mixBuffer,         playingModule,
                      stopRequested.load(), lateBlocks.load(), largestCatchUp.load()};
}

namespace {

void mixBlock() {
    if (!playingModule || !mixBuffer || blockFrames <= 0) return;
    const int32_t first = writeBlock * blockFrames;
    float* block = mixBuffer + 2 * static_cast<size_t>(first);
    std::memset(block, 0, static_cast<size_t>(blockFrames) * 2 * sizeof(float));
    // The player's block grid is the ring's: each call mixes one tick's frames inside a block.
    int32_t done = 0;
    while (done < blockFrames) {
        advanceTick(*player);
        done += mixTickFrames(*player, block + 2 * static_cast<size_t>(done), blockFrames - done);
    }
    convertToPcm16(waveBuffer + 2 * static_cast<size_t>(first), block, blockFrames);
    // One thread at a time mixes, so a plain increment of the loaded value suffices.
    publishedBlocks.store(publishedBlocks.load(std::memory_order_relaxed) + 1,
                          std::memory_order_release);
    writeBlock += 1;
    if (writeBlock >= blockCount()) writeBlock = 0;
}

void mixBlocksBehindDevice() {
    const uint64_t frame = openDevice->position() / kFrameBytes;
    const int32_t playing =
        static_cast<int32_t>(frame % static_cast<uint64_t>(ringFrames)) / blockFrames;
    const uint64_t playingAbsolute = frame / static_cast<uint64_t>(blockFrames);
    if (playingAbsolute >= nextAbsoluteBlock) {
        lateBlocks += static_cast<uint32_t>(playingAbsolute - nextAbsoluteBlock + 1);
    }
    uint32_t mixed = 0;
    while (writeBlock != playing) {
        mixing = true;
        mixBlock();
        mixing = false;
        ++mixed;
    }
    if (mixed > largestCatchUp.load()) largestCatchUp = mixed;
    nextAbsoluteBlock = playingAbsolute + static_cast<uint64_t>(blockCount());
}

uint32_t streamingThread() {
    threadExited = false;
    while (!stopRequested.load()) {
        mixBlocksBehindDevice();
        openDevice->wait();
    }
    threadExited = true;
    return 0;
}

}  // namespace
