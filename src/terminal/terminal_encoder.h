// Turns cell frames into the bytes an ANSI terminal needs to show them, and only the cells
// that changed since the last frame. A terminal of at least 80 by 50 shows the cells
// themselves (code page 437 glyphs as UTF-8), centred; a smaller one shows the whole frame as
// a picture of half blocks, two cells stacked in each character, each cell in the colour its
// glyph shows on average, scaled down to fit where 80 by 25 is too large. Colours are 24-bit,
// 256-colour or 16-colour SGR sequences. A program that lays out its own screen at the
// terminal's size hands over a text frame instead, drawn cell for cell whatever its size.
// Pure functions over buffers of any program's cell frames; the terminal itself is driven by
// the program (the demo's in host/console_posix.cpp).
#pragma once
#include <cstdint>
#include <string>

#include "cells/cell_frame.h"
#include "cells/console_colours.h"

enum class ColourMode : uint8_t {
    Ansi16,      // the 16 standard colours, SGR 30-37, 90-97, 40-47, 100-107
    TrueColour,  // the exact console colours as SGR 38;2 and 48;2
    // The nearest entries of the 256-colour palette's colour cube and grey ramp (16-255), as
    // SGR 38;5 and 48;5. Entries 0-15 are left alone: their colours are the terminal theme's.
    Ansi256,
};

// COLORTERM "truecolor" or "24bit" selects 24-bit colour. Otherwise a terminal of at least
// 256 colours (terminfo's colors, 0 when unknown) gets 256 colours, and any other 16.
ColourMode colourModeFor(const char* colorterm, int terminalColours = 0);

// The colour of a 256-colour palette entry of the cube or the grey ramp, 16..255: the cube's
// levels 0, 95, 135, 175, 215, 255, and greys 8, 18, .. 238.
ConsoleRgb paletteEntryRgb(int index);

// The cube or grey ramp entry 16..255 nearest to a colour (squared distance in red, green and
// blue; the lower entry on a tie).
int nearestPaletteEntry(ConsoleRgb rgb);

// How the 80 by 50 cells are placed on a terminal of a given size.
enum class Presentation : uint8_t {
    Glyphs,   // one terminal character per cell
    Picture,  // one half block per cell, two cells stacked in each terminal character
};
struct TerminalLayout {
    Presentation presentation;
    int left, top;  // terminal column and row of the top-left corner, from 0
    // Glyphs: 80 by 50. Picture: half-block pixels across and down; the height is even, so
    // the picture fills height / 2 terminal rows.
    int width, height;
};

// Glyphs in a terminal of at least 80 by 50, centred. Otherwise a picture: 80 by 50 pixels,
// one per cell, where 80 by 25 characters fit, else the largest size of the same shape that
// fits; centred.
TerminalLayout layoutFor(int columns, int rows);

// The largest picture, in terminal characters.
constexpr int kPictureCharacters = kScreenColumns * kScreenRows / 2;

// What the terminal shows, as far as the encoder knows.
struct TerminalScreen {
    uint16_t shown[kScreenCells];  // glyphs: the cells, row-major
    // Picture: the colours of the upper and lower half of each character, row-major with
    // layout.width a row; 0xRRGGBB in 24-bit colour, the console colour 0..15 in 16 colours,
    // the palette entry 16..255 in 256 colours.
    uint32_t upper[kPictureCharacters];
    uint32_t lower[kPictureCharacters];
    bool known = false;  // false before the first frame: everything is written
    int columns = 0;     // terminal size the frame was drawn for; a change redraws all
    int rows = 0;
    ColourMode mode = ColourMode::Ansi16;
};

// Appends to out the bytes that bring a terminal of columns by rows from screen to frame, and
// records the new picture in screen. Nothing is drawn outside the terminal, wrapped or
// scrolled (autowrap must be off). A new terminal size or colour mode clears the terminal and
// draws everything once. The update is wrapped in the synchronized update mode; nothing is
// appended when nothing visible changed.
void encodeFrame(const CellFrame& frame, TerminalScreen& screen, int columns, int rows,
                 ColourMode mode, std::string& out);

// A frame of text cells at a size of the program's choosing, usually the terminal's own:
// programs that lay out their screen for the terminal they find (a music player's) rather
// than a fixed 80 by 50. Drawn cell for cell, always as glyphs.
constexpr int kMaxTextColumns = 512;
constexpr int kMaxTextRows = 192;
constexpr int kMaxTextCells = kMaxTextColumns * kMaxTextRows;
struct TextFrame {
    int columns = 0;                // 0..kMaxTextColumns
    int rows = 0;                   // 0..kMaxTextRows
    uint16_t cells[kMaxTextCells];  // row-major, columns cells a row, as CellFrame's words
};

// What the terminal shows of a text frame, as far as the encoder knows.
struct TextScreen {
    uint16_t shown[kMaxTextCells];  // row-major with frameColumns cells a row
    bool known = false;             // false before the first frame: everything is written
    int columns = 0;                // terminal size; a change redraws all
    int rows = 0;
    int frameColumns = 0;  // the frame's size; a change redraws all
    int frameRows = 0;
    ColourMode mode = ColourMode::Ansi16;
};

// Appends to out the bytes that bring a terminal of columns by rows from screen to frame: the
// frame's cells that changed, from the terminal's top-left corner, those beyond its right or
// bottom edge left out. A new terminal size, frame size or colour mode clears the terminal and
// draws everything once; otherwise as encodeFrame.
void encodeTextFrame(const TextFrame& frame, TextScreen& screen, int columns, int rows,
                     ColourMode mode, std::string& out);

// The colour a console shows for a cell on average: its foreground and background colours
// mixed by the share of ink in the cell's glyph of GlyphFont, each channel rounded.
ConsoleRgb averageCellColour(uint16_t cell);

// The console colour 0..15 whose terminal colour is nearest (squared distance in red, green
// and blue; the lower colour on a tie).
int nearestConsoleColour(ConsoleRgb rgb);

// Bytes that take the terminal into a full-screen program's state: title pushed, alternate
// screen, cursor hidden, autowrap off, and a request to maximise the window (ignored by most
// terminals).
inline constexpr char kTerminalEnter[] = "\x1b[22;0t\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[9;1t";
// The same, for a program that lays out its screen at whatever size the window has: the
// window is left as the user sized it.
inline constexpr char kTerminalEnterAsSized[] = "\x1b[22;0t\x1b[?1049h\x1b[?25l\x1b[?7l";

// Bytes that give the terminal back: any escape sequence cut short by a signal is cancelled,
// synchronized update ended, colours reset, autowrap and cursor back, main screen, title popped.
inline constexpr char kTerminalRestore[] =
    "\x18\x1b[?2026l\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l\x1b[23;0t";

// Appends the sequence that sets the window title (OSC 2), without control characters.
void appendTitleSequence(const char* title, std::string& out);
