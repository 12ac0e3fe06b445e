// The 16 console colours as a screen shows them: 8-bit red, green and blue, scaled from the
// 6-bit console colour table. The terminal, the web canvas and democapture's pictures all draw
// a cell's attribute in these colours.
#pragma once
#include <cstdint>

struct ConsoleRgb {
    uint8_t red, green, blue;
};

// The colour of console colour 0..15 (only the low four bits are read).
ConsoleRgb consoleColourRgb(int colour);
