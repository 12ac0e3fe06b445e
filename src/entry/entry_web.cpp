// The demo in a browser. The page starts it on a click or a key (browsers start sound only
// after one): webOpenConsole sets the canvas and the titles up, and once the page has its
// audio output, webStartUp runs the director's start-up and the frame loop.
//
// A browser cannot busy-wait, so frames are drawn from requestAnimationFrame: each callback
// draws every frame that has come due, in order and none skipped, and presents the last one.
// Frame n is due when the music has been heard for 40 (n - 1) ms, measured on the audio clock,
// so the pictures keep their place against the music; frame 1, which starts the music, is due
// at once. A tab that was hidden catches up the same way when it comes back.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>

#include "director/director.h"
#include "engine/output.h"
#include "host/console.h"

extern "C" void markFrameStage(int stage);  // console_web.cpp

// clang-format off
// Milliseconds of music heard so far, NaN before the audio thread has started playing.
EM_JS(double, musicMilliseconds, (), { return Module.webAudio.musicMilliseconds(); });
// clang-format on

namespace {

constexpr double kFrameMilliseconds = 40.0;

int32_t shownFrame = 0;        // the frame on the canvas
uint32_t presentedFrames = 0;  // frames that reached the canvas

bool nextFrameDue() {
    const int32_t counted = currentFrameNumber();
    if (counted == 0) return true;
    const double music = musicMilliseconds();
    return !std::isnan(music) && music >= kFrameMilliseconds * counted;
}

EM_BOOL drawDueFrames(double, void*) {
    bool drawn = false;
    while (nextFrameDue()) {
        if (!drawn) markFrameStage(0);
        drawn = true;
        drawNextFrame();
    }
    if (drawn) {
        markFrameStage(1);
        presentCellFrame();
        shownFrame = currentFrameNumber();
        ++presentedFrames;
    }
    return EM_TRUE;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void webOpenConsole() {
    openDemoConsole();
}

// 0 when the demo runs, else the StartUp value that says why it cannot.
EMSCRIPTEN_KEEPALIVE int webStartUp() {
    // No threads: the page's reports of the play position keep the ring filled (webPumpStream).
    useOutputDevice(&platformOutput, nullptr);
    const StartUp result = startUpDemo(DirectorHost{setConsoleTitle, tickCount});
    if (result != StartUp::Started) return static_cast<int>(result);
    emscripten_request_animation_frame_loop(drawDueFrames, nullptr);
    return 0;
}

EMSCRIPTEN_KEEPALIVE int webShownFrame() {
    return shownFrame;
}

EMSCRIPTEN_KEEPALIVE uint32_t webPresentedFrames() {
    return presentedFrames;
}

}  // extern "C"
