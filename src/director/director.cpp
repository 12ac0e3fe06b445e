#include "director/director.h"

#include <cstring>
#include <memory>

#include "director/scenes.h"
#include "host/console.h"

const char kDemoTitle[] = "Kald mig bare ordblind...";

namespace {

int32_t frameNumber = 0;  // never reset
uint32_t nextTick = 0;    // the clock value that must pass before the next frame starts

// The frames, allocated at start-up in this order and kept for the whole run.
struct Frames {
    std::unique_ptr<LargeFrame> large;
    std::unique_ptr<RgbFrame> scene;
    std::unique_ptr<RgbFrame> zoom;
};
Frames frames;

constexpr uint32_t kFrameMilliseconds = 40;

void showDemoTitle(const DirectorHost& host) {
    if (host.setTitle) host.setTitle(kDemoTitle);
}

void allocateFrames() {
    frames.large = std::make_unique<LargeFrame>();
    frames.scene = std::make_unique<RgbFrame>();
    frames.zoom = std::make_unique<RgbFrame>();
}

void clearSceneBuffers() {
    clearIntensityBuffers();
    clearBlackPicture();
}

// The clock is read before the sound output is opened and the song loaded, so the time those
// take counts against the first frames.
void startFrameClock(const DirectorHost& host) {
    nextTick = host.readClock();
}

}  // namespace

int32_t currentFrameNumber() {
    return frameNumber;
}

LargeFrame& largeFrame() {
    return *frames.large;
}

RgbFrame& sceneFrame() {
    return *frames.scene;
}

RgbFrame& zoomFrame() {
    return *frames.zoom;
}

StartUp startUpDemo(const DirectorHost& host) {
    registerSongFiles();
    buildRenderers();  // the greeting title stays up while the tables are built
    showDemoTitle(host);
    allocateFrames();
    clearSceneBuffers();
    computePathPoints();
    startFrameClock(host);
    resetZoomPhase();
    return openMusic();
}

void waitForFrame(uint32_t& tick, const FrameClock& clock) {
    for (;;) {
        tick += clock.takeStoppedTime();
        if (static_cast<int32_t>(clock.readClock() - tick) > 0) break;
        clock.sleepUntil(tick + 1);
    }
    tick += kFrameMilliseconds;
}

void drawFrame(int32_t n) {
    std::memset(frames.scene->pixels, 0, sizeof frames.scene->pixels);
    if (n == 1) {
        // The cell frame is still all zero: the first frame shows black while the music starts.
        startMusic();
    } else {
        drawScene(n);
    }
}

int32_t drawNextFrame() {
    ++frameNumber;
    drawFrame(frameNumber);
    return frameNumber;
}

StartUp runDemo() {
    StartUp result = startUpDemo(DirectorHost{setConsoleTitle, tickCount});
    if (result != StartUp::Started) return result;
    const FrameClock clock{tickCount, sleepUntilTick, takeStoppedTime};
    for (;;) {
        ++frameNumber;
        waitForFrame(nextTick, clock);
        drawFrame(frameNumber);
        presentCellFrame();
    }
}
