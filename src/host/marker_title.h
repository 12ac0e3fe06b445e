// A random window title used once to find the console window by its exact name.
#pragma once

constexpr int kMarkerTitleLength = 80;

// Fills title with 80 letters from rand(), each 65 + (rand() & 0x31), that is one of
// A, B, Q, R, a, b, q, r, and a terminating NUL. The caller seeds rand().
void buildMarkerTitle(char (&title)[kMarkerTitleLength + 1]);
