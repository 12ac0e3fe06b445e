// The 16 console colours in 6-bit channel units (0..63), indexed by colour number.
#pragma once
#include <cstdint>

struct PaletteColour {
    int32_t red, green, blue;
};

// Entry 8 (dark grey) holds 9999 in every channel so that the colour matcher never picks
// it, neither alone nor in a blend.
extern const PaletteColour ConsolePalette[16];
