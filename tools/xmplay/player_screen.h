// The player's screen, drawn as code page 437 cells in the 16 console colours into a text
// frame of the terminal's size: the song's title and file, its tracker, channels and frequency
// mode; the position heard (order, pattern, row, time, speed, tempo); the pattern view around
// the row heard; a level bar a channel; the instrument names where there is room; a message
// line for a file that could not be played. A terminal too small for all of it shows the
// position line first and as much of the rest as fits, every line cut at the right edge.
#pragma once
#include <cstdint>

#include "deck.h"
#include "terminal/terminal_encoder.h"
#include "xmengine.h"

struct PlayerView {
    const xme_song* song = nullptr;
    const char* fileName = "";
    int fileNumber = 0;  // from 1
    int fileCount = 0;
    const char* message = "";  // why the last file refused could not be played, or ""
    HeardPosition heard{};
    int64_t lengthFrames = -1;  // the song's length at kDeckRate; -1 when unknown
    bool looping = false;       // the song plays on past its length
    bool paused = false;
    uint32_t mutedChannels = 0;
};

// Draws the whole screen, frame.columns by frame.rows cells (set by the caller).
void drawPlayerScreen(const PlayerView& view, TextFrame& frame);

// The pattern view alone: the rows of the pattern heard around its row heard, that row in the
// middle and marked, in tracker notation, one column of 13 cells a channel ("C-4 01 40 F03")
// after a column of row numbers, as many channels as width allows; the first line names the
// channels and shows their levels. Drawn into frame at column left and row top, width by
// height cells.
void drawPatternView(const PlayerView& view, TextFrame& frame, int left, int top, int width,
                     int height);

// The layout of the pattern view: where a channel's column begins, and how many fit.
constexpr int kRowNumberWidth = 4;  // "123" and a separator
constexpr int kChannelWidth = 14;   // "C-4 01 40 F03" and a separator
inline int patternChannelsFitting(int width) {
    return width < kRowNumberWidth + kChannelWidth - 1
               ? 0
               : (width - kRowNumberWidth + 1) / kChannelWidth;
}
