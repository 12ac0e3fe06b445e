#include "data/console_palette.h"

const PaletteColour ConsolePalette[16] = {
    {0, 0, 0},           // 0 black
    {0, 0, 42},          // 1 blue
    {0, 42, 0},          // 2 green
    {0, 42, 42},         // 3 cyan
    {42, 0, 0},          // 4 red
    {42, 0, 42},         // 5 magenta
    {42, 21, 0},         // 6 brown
    {42, 42, 42},        // 7 light grey
    {9999, 9999, 9999},  // 8 dark grey, never chosen
    {21, 21, 63},        // 9 light blue
    {21, 63, 21},        // 10 light green
    {21, 63, 63},        // 11 light cyan
    {63, 21, 21},        // 12 light red
    {63, 21, 63},        // 13 light magenta
    {63, 63, 21},        // 14 yellow
    {63, 63, 63},        // 15 white
};
