// A program's hold on the terminal it draws on, for the whole run: the demo's console and
// xmplay's screen. One implementation a platform that has terminals: terminal_session_posix.cpp.
//
// While the program has the terminal, echo and line editing are off, keys come one at a time,
// and the output is non-blocking, so that a terminal that takes its input slowly never holds
// the program up: frames go through the presenter (terminal_presenter.h), and what the
// terminal has not taken yet is offered again while the program waits. The terminal is given
// back at exit, on SIGINT, SIGTERM and SIGHUP (the program then ends by the signal), and around
// a suspension (SIGTSTP, SIGCONT), after which the next frame is drawn whole.
#pragma once
#include <cstddef>
#include <cstdint>

#include "cells/cell_frame.h"
#include "terminal/terminal_encoder.h"

struct TerminalSessionStyle {
    // Written when the terminal is taken, and again after a suspension: kTerminalEnter or
    // kTerminalEnterAsSized, then modes the program turns on ("" for none).
    const char* enter;
    const char* modesOn;
    const char* modesOff;  // written before kTerminalRestore when the terminal is given back
    int fallbackColumns;   // the size taken when the terminal does not tell its own
    int fallbackRows;
};

// Takes the terminal of standard input and output.
void openTerminalSession(const TerminalSessionStyle& style);
// Gives it back, the pending bytes written first.
void closeTerminalSession();

// Sets the window's title (and again after a suspension).
void setTerminalTitle(const char* title);

// The terminal's size in characters.
void terminalSize(int& columns, int& rows);

// Shows a frame as far as the terminal takes it now: the demo's cells, or a text frame of
// any size.
void presentSessionFrame(const CellFrame& frame);
void presentSessionTextFrame(const TextFrame& frame);

// Offers the terminal the bytes it has not taken yet; true when some are still pending.
bool offerPendingOutput();

// Waits until standard input has bytes or milliseconds pass, offering the pending output
// meanwhile; returns the bytes read into buffer, 0 when none came (or the input has ended).
size_t waitForTerminalInput(char* buffer, size_t capacity, int milliseconds);

// Milliseconds on a monotonic clock; async-signal-safe.
uint64_t monotonicClockMilliseconds();

// The milliseconds the process was stopped (from SIGTSTP to SIGCONT) since the last call.
uint32_t takeStoppedMilliseconds();
