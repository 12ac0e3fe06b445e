#include "director/director.h"

#include <cstring>

#include "director/scenes.h"
#include "host/console.h"

const char kDemoTitle[] = "Kald mig bare ordblind...";

int32_t frameNumber = 0;
uint32_t nextTick = 0;

std::unique_ptr<LargeFrame> largeFrame;
std::unique_ptr<RgbFrame> sceneFrame;
std::unique_ptr<RgbFrame> zoomFrame;

namespace {

constexpr uint32_t kFrameMilliseconds = 40;

void showDemoTitle(const DirectorHost& host) {
    if (host.setTitle) host.setTitle(kDemoTitle);
}

void allocateFrames() {
    largeFrame = std::make_unique<LargeFrame>();
    sceneFrame = std::make_unique<RgbFrame>();
    zoomFrame = std::make_unique<RgbFrame>();
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
    std::memset(sceneFrame->pixels, 0, sizeof sceneFrame->pixels);
    if (n == 1) {
        // The cell frame is still all zero: the first frame shows black while the music starts.
        startMusic();
    } else {
        drawScene(n);
    }
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
