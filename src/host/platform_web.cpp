// The platform in a browser: the page (page_web.html), its console and its sound output. The
// JavaScript side is platform_web.js; every name the two share is in these two files.
//
// The console is a canvas of 640 by 600 pixels on which every cell is drawn as its glyph in its
// colours (the picture democapture makes), with the page's title as the window title.
//
// The output device is Web Audio, which plays the ring in an endless loop on its own audio
// thread (an AudioWorklet, or a ScriptProcessorNode where the page is no secure context) and
// reports how far it has played, counted on the audio clock. Without SharedArrayBuffer the
// audio thread cannot read the ring in WebAssembly memory, so it keeps a copy: play hands it
// the whole ring, and every block mixed again afterwards is sent after it. Nor is there a
// streaming thread (the page hands the stream no threads): each report of the position arrives
// on the page's thread, and webPumpStream then does what the streaming thread does elsewhere,
// mixing every block that the position has left with the same mixBlock. Reports are messages,
// which a browser delivers to a hidden tab as well, so the music keeps going where timers would
// be slowed down.
//
// A browser cannot busy-wait, so frames are drawn from requestAnimationFrame: each callback
// draws every frame that has come due and presents the last one. The demo says when a frame is
// due against the music heard, measured on the audio clock, so the pictures keep their place
// against the music, and a tab that was hidden catches up the same way when it comes back.
#include "host/platform_web.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include "cells/cell_frame.h"
#include "engine/output.h"
#include "host/console.h"
#include "render/cell_image.h"

// clang-format off
EM_JS(void, openPage, (const char* title), { webPage.open(UTF8ToString(title)); });
EM_JS(void, showCanvas, (const uint32_t* pixels, int width, int height),
      { webPage.showCanvas(HEAPU8.buffer, pixels, width, height); });
EM_JS(void, uploadCanvas, (), { webPage.upload(); });
EM_JS(void, framePresented, (int frame), { webPage.presented(frame); });
EM_JS(void, setPageTitle, (const char* text), { document.title = UTF8ToString(text); });
EM_JS(void, markStage, (int stage), { webPage.mark(stage); });

EM_JS(int, audioOpen, (int rate), { return webAudio.open(rate) ? 1 : 0; });
EM_JS(void, audioPrepare, (int16_t* buffer, uint32_t bytes), { webAudio.prepare(buffer, bytes); });
EM_JS(void, audioPlay, (int blockFrames), { webAudio.play(blockFrames); });
EM_JS(double, audioPosition, (), { return webAudio.position(); });
EM_JS(void, audioSend, (int firstFrame, int frames), { webAudio.send(firstFrame, frames); });
EM_JS(void, audioReset, (), { webAudio.reset(); });
EM_JS(void, audioClose, (), { webAudio.close(); });
// Milliseconds of music heard so far, NaN before the audio thread has started playing.
EM_JS(double, musicMilliseconds, (), { return webAudio.musicMilliseconds(); });
// clang-format on

namespace {

// A browser has no Alt-Enter; its full screen comes from the page.
const char kWebGreetingTitle[] =
    "Press a key or double-click for full screen - the demo starts in a moment";

// The canvas's image data lives here, in memory that never moves (the page's memory does not
// grow), so the page shows it without copying it first.
uint32_t canvasPixels[kCellImagePixels];

// Stages of a frame's work, marked on the page's performance timeline when it benchmarks
// (index.html?bench).
enum class FrameStage { Started, Drawn, Converted, Presented };

void markFrameStage(FrameStage stage) {
    markStage(static_cast<int>(stage));
}

WebDemo pageDemo{};

EM_BOOL drawDueFrames(double, void*) {
    int32_t drawn = 0;  // the last frame drawn in this callback
    while (pageDemo.nextFrameDue(musicMilliseconds())) {
        if (drawn == 0) markFrameStage(FrameStage::Started);
        drawn = pageDemo.drawNextFrame();
    }
    if (drawn != 0) {
        markFrameStage(FrameStage::Drawn);
        presentCellFrame();
        framePresented(drawn);
    }
    return EM_TRUE;
}

bool devicePlaying = false;

bool openWeb(int32_t rate) {
    devicePlaying = false;
    return audioOpen(rate) != 0;
}

void prepareWeb(int16_t* buffer, uint32_t bytes) {
    audioPrepare(buffer, bytes / kFrameBytes * kFrameBytes);
}

void playWeb() {
    audioPlay(viewStream().blockFrames);
    devicePlaying = true;
}

uint64_t webPosition() {
    return devicePlaying ? static_cast<uint64_t>(audioPosition()) : 0;
}

// No streaming thread polls this device (see above).
void waitWeb() {}

void resetWeb() {
    devicePlaying = false;
    audioReset();
}

void unprepareWeb() {
    audioPrepare(nullptr, 0);
}

void closeWeb() {
    devicePlaying = false;
    audioClose();
}

}  // namespace

void openWebPage(const WebDemo& demo) {
    pageDemo = demo;
    openPage(demo.title);
}

void openDemoConsole() {
    showCanvas(canvasPixels, kCellImageWidth, kCellImageHeight);
    setPageTitle(kWebGreetingTitle);
}

void closeDemoConsole() {}

int setConsoleTitle(const char* text) {
    setPageTitle(text);
    return 1;
}

void presentCellFrame() {
    drawCellImageRgba(cellFrame(), canvasPixels);
    markFrameStage(FrameStage::Converted);
    uploadCanvas();
    markFrameStage(FrameStage::Presented);
}

uint32_t tickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}

const OutputDevice platformOutput = {openWeb, prepareWeb, playWeb,      webPosition,
                                     waitWeb, resetWeb,   unprepareWeb, closeWeb};

// Called by the page.
extern "C" {

// On the click or key that starts the demo, while the sound output is being set up: the
// canvas and the titles.
EMSCRIPTEN_KEEPALIVE void webOpenConsole() {
    openDemoConsole();
}

// Once the page has its sound output: null when the demo runs, else why it cannot.
EMSCRIPTEN_KEEPALIVE const char* webStartUp() {
    const char* problem = pageDemo.startUp();
    if (!problem) emscripten_request_animation_frame_loop(drawDueFrames, nullptr);
    return problem;
}

// On every report of the audio thread: mixes the blocks that the play position has left, in
// order, and sends them to the audio thread, which hears each one a ring later. The audio
// thread itself counts the blocks it reached before their new music did.
EMSCRIPTEN_KEEPALIVE void webPumpStream() {
    const StreamView stream = viewStream();
    if (!devicePlaying || !stream.playingModule || stream.stopRequested) return;
    refillStream();
    const int32_t blocks = blockCount();
    const int32_t first = stream.writeBlock;
    // Fewer than a whole ring are mixed at a time (mixing stops at the block being played),
    // so the distance the write block moved tells how many.
    const int32_t mixed = (viewStream().writeBlock - first + blocks) % blocks;
    if (mixed == 0) return;
    // The blocks are contiguous in the ring unless they wrap past its end.
    const int32_t toEnd = mixed < blocks - first ? mixed : blocks - first;
    audioSend(first * stream.blockFrames, toEnd * stream.blockFrames);
    if (mixed > toEnd) audioSend(0, (mixed - toEnd) * stream.blockFrames);
}

}  // extern "C"
