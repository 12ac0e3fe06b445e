#include "cells/console_colours.h"

#include "data/console_palette.h"

ConsoleRgb consoleColourRgb(int colour) {
    const PaletteColour& c = ConsolePalette[colour & 15];
    // Colour 8 carries a sentinel that keeps the colour matcher away from it; a cell that
    // still names it is shown in the usual dark grey.
    if (c.red > 63) return {85, 85, 85};
    auto scale = [](int32_t v) { return static_cast<uint8_t>((v * 255 + 31) / 63); };
    return {scale(c.red), scale(c.green), scale(c.blue)};
}
