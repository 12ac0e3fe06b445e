// The terminal the player shows its screen on and reads its keys from. One implementation a
// platform: player_terminal_posix.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

#include "terminal/terminal_encoder.h"

// Whether standard output is a terminal that takes escape sequences (TERM names a kind this
// system knows, or has no terminal database to ask); otherwise the player shows no screen.
bool screenPossible();

// Takes the terminal: the alternate screen, no cursor, no echo, keys without Enter, pastes
// bracketed. Given back at exit, on SIGINT, SIGTERM and SIGHUP, and around a suspension
// (Ctrl-Z), after which the screen is drawn anew.
void openPlayerTerminal();
void closePlayerTerminal();

// The terminal's size in characters.
void playerTerminalSize(int& columns, int& rows);

// Shows a frame as far as the terminal takes it now, never waiting for a slow terminal: what
// it has not taken yet is handed on while waitForInput waits.
void presentPlayerFrame(const TextFrame& frame);

// Sets the window's title.
void setPlayerTitle(const char* title);

// Waits until a key comes or milliseconds pass, handing the terminal what is pending of the
// screen meanwhile; returns the bytes read into buffer (0 when none came).
size_t waitForInput(char* buffer, size_t capacity, int milliseconds);

// Milliseconds on a monotonic clock.
uint32_t monotonicMilliseconds();
