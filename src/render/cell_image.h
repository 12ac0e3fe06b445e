// Turns a cell frame into the picture a console shows: every cell 8 by 12 pixels, the glyph of
// its character from GlyphFont in the foreground colour on the background colour. democapture
// writes these pictures as PNG files and the web page puts them on its canvas, so both show
// the same pixels.
#pragma once
#include <cstdint>

#include "cells/cell_frame.h"
#include "data/assets.h"

constexpr int kCellPixelWidth = 8;
constexpr int kCellImageWidth = kScreenColumns * kCellPixelWidth;  // 640
constexpr int kCellImageHeight = kScreenRows * kGlyphHeight;       // 600
constexpr int kCellImagePixels = kCellImageWidth * kCellImageHeight;
constexpr int kCellImageBytes = kCellImagePixels * 3;

// Writes kCellImageBytes bytes to rgb: red, green, blue per pixel, rows from the top.
void drawCellImage(const CellFrame& cells, uint8_t* rgb);

// Writes kCellImagePixels words to rgba, each pixel's bytes in memory red, green, blue and an
// alpha of 255: the layout of a canvas's image data.
void drawCellImageRgba(const CellFrame& cells, uint32_t* rgba);
