// How the Windows host presents frames, chosen from what its console shows once it is set up.
// A classic console window that shows all 80 by 50 cells gets the whole-frame write of
// console_records.h. Any other console gets the terminal encoder's bytes, fitted to its
// visible window: a console window too small for 50 rows, and a terminal that hosts the
// console through a pseudo console (a terminal tab keeps its own size, whatever the buffer is
// set to, and the user may resize it at any time). Kept apart from the Win32 code so it can
// be tested anywhere on recorded console states.
#pragma once
#include <string>

#include "cells/cell_frame.h"
#include "host/console_records.h"
#include "terminal/terminal_encoder.h"

// What GetConsoleScreenBufferInfo and the console window's class say about a console.
struct ConsoleState {
    ConsoleRegion window;  // the visible part of the screen buffer, inclusive, in cells
    bool pseudoConsole;    // the console window's class is "PseudoConsoleWindow"
};

enum class ConsolePath : uint8_t {
    WholeFrameWrite,  // WriteConsoleOutputA of all 80 by 50 cells, as the console was made for
    Terminal,         // virtual terminal sequences from the terminal encoder
};

// The whole-frame write where a console window shows every cell of the written region;
// the terminal path otherwise, and always for a pseudo console.
ConsolePath chooseConsolePath(const ConsoleState& state);

// Appends the bytes that bring the visible window from screen to frame on the terminal path:
// the terminal encoder's presentation for the window's size, in 24-bit colour. Cursor
// positions count from the window's top-left corner, as the console's sequences do.
void encodeForConsoleWindow(const CellFrame& frame, const ConsoleRegion& window,
                            TerminalScreen& screen, std::string& out);

// A cursor position written to find out whether a console acts on virtual terminal sequences
// (Wine's console accepts the mode but shows the bytes as text): row 2, column 3.
inline constexpr char kTerminalProbe[] = "\x1b[2;3H";

// Whether the cursor, read back after kTerminalProbe was written, stands where the sequence
// puts it in that window.
bool terminalProbeMoved(const ConsoleRegion& window, int cursorColumn, int cursorRow);
