// The console in a browser: a canvas of 640 by 600 pixels on which every cell is drawn as its
// glyph in its colours (the picture democapture makes), and the page's title as the window
// title. The page (page_web.html) scales the canvas to the window.
#include <emscripten.h>

#include "cells/cell_frame.h"
#include "host/console.h"
#include "render/cell_image.h"

namespace {

// A browser has no Alt-Enter; its full screen comes from the page.
const char kWebGreetingTitle[] =
    "Press a key or double-click for full screen - the demo starts in a moment";

// The canvas's image data lives here, in memory that never moves (the page's memory does not
// grow), so the page shows it without copying it first.
uint32_t canvasPixels[kCellImagePixels];

}  // namespace

// clang-format off
EM_JS(void, showCanvas, (const uint32_t* pixels, int width, int height),
      { Module.webPage.showCanvas(HEAPU8.buffer, pixels, width, height); });
EM_JS(void, uploadCanvas, (), { Module.webPage.upload(); });
EM_JS(void, setPageTitle, (const char* text), { document.title = UTF8ToString(text); });
// Stages of a frame's work, marked on the page's performance timeline: 0 before drawing,
// 1 drawn, 2 converted to pixels, 3 on the canvas.
EM_JS(void, markFrameStage, (int stage), { Module.webPage.mark(stage); });
// clang-format on

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
    drawCellImageRgba(cellFrame, canvasPixels);
    markFrameStage(2);
    uploadCanvas();
    markFrameStage(3);
}

uint32_t tickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}
