// Turns cell frames into the bytes an ANSI terminal needs to show them: code page 437 glyphs
// as UTF-8, console colours as 24-bit or 16-colour SGR sequences, and only the cells that
// changed since the last frame. Pure functions over buffers; the terminal itself is driven by
// console_posix.cpp.
#pragma once
#include <cstdint>
#include <string>

#include "host/cell_frame.h"

enum class ColourMode : uint8_t {
    Ansi16,      // the 16 standard colours, SGR 30-37, 90-97, 40-47, 100-107
    TrueColour,  // the exact console colours as SGR 38;2 and 48;2
};

// COLORTERM "truecolor" or "24bit" selects 24-bit colour; anything else, or none, 16 colours.
ColourMode colourModeFor(const char* colorterm);

// What the terminal shows, as far as the encoder knows.
struct TerminalScreen {
    uint16_t shown[kScreenCells];
    bool known = false;  // false before the first frame: every visible cell is written
    int columns = 0;     // terminal size the cells were drawn for; a change redraws all
    int rows = 0;
};

// Appends to out the bytes that bring a terminal of columns by rows from screen to frame, and
// records the new picture in screen. Only the top-left part of the frame that fits is drawn,
// never wrapped or scrolled (autowrap must be off). The update is wrapped in the synchronized
// update mode; nothing is appended when no visible cell changed.
void encodeFrame(const CellFrame& frame, TerminalScreen& screen, int columns, int rows,
                 ColourMode mode, std::string& out);

// The 8-bit red, green and blue with which the terminal shows a console colour 0..15.
struct TerminalRgb {
    uint8_t red, green, blue;
};
TerminalRgb terminalColour(int colour);

// Bytes that take the terminal into the demo's state: title pushed, alternate screen, cursor
// hidden, autowrap off, and a request to maximise the window (ignored by most terminals).
inline constexpr char kTerminalEnter[] = "\x1b[22;0t\x1b[?1049h\x1b[?25l\x1b[?7l\x1b[9;1t";

// Bytes that give the terminal back: any escape sequence cut short by a signal is cancelled,
// synchronized update ended, colours reset, autowrap and cursor back, main screen, title popped.
inline constexpr char kTerminalRestore[] =
    "\x18\x1b[?2026l\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l\x1b[23;0t";

// Appends the sequence that sets the window title (OSC 2), without control characters.
void appendTitleSequence(const char* title, std::string& out);
