// The demo as a web page: what the program entry hands the page's platform layer
// (platform_web.cpp, with platform_web.js and page_web.html).
#pragma once
#include <cstdint>

// The demo as the page starts and paces it.
struct WebDemo {
    const char* title;  // shown by the page from the moment it has loaded
    // Start-up, once the page has its sound output: null when the demo runs, else one line
    // that says why it cannot.
    const char* (*startUp)();
    // Whether the next frame is due once musicMilliseconds of music have been heard (NaN
    // before the music has started).
    bool (*nextFrameDue)(double musicMilliseconds);
    // Draws the next frame into cellFrame and returns its number.
    int32_t (*drawNextFrame)();
};

// Hands the demo to the page, which shows its title and starts it on a click or a key
// (browsers start sound only after one). From then on each animation frame of the browser
// draws every frame that has come due, in order and none skipped, and presents the last one.
// Returns at once: the browser calls back.
void openWebPage(const WebDemo& demo);
