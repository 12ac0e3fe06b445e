// The console host: the operations the director needs from the platform's text console.
// One implementation per platform: console_win32.cpp (Win32 console), console_posix.cpp (ANSI
// terminal) and platform_web.cpp (a canvas). Everything else in the program reaches the console
// only through these.
#pragma once
#include <cstdint>

// Turns the console into an 80 by 50 text screen with the greeting title, maximised.
void openDemoConsole();

// Gives the console back before the program ends: a terminal leaves the demo's screen and gets
// its title, echo and cursor back, so that what is printed afterwards is seen. The process
// does this at exit anyway; a Windows console goes with the process and needs nothing.
void closeDemoConsole();

// Sets the console window's title; non-zero on success.
int setConsoleTitle(const char* text);

// Writes the whole cellFrame to the screen in one go and keeps the cursor hidden.
void presentCellFrame();

// Milliseconds on a monotonic clock that wraps at 2^32 (GetTickCount on Windows).
uint32_t tickCount();

// Sleeps until tickCount() reaches tick, or until a signal arrives. On Windows it returns at
// once: the frame wait there polls GetTickCount.
void sleepUntilTick(uint32_t tick);

// The milliseconds the process was stopped (suspended with Ctrl-Z until it was continued)
// since the last call; 0 on Windows, where a process is never stopped.
uint32_t takeStoppedTime();

// The title shown while the renderer tables are being built.
extern const char kGreetingTitle[];
