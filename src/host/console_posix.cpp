// The console host on POSIX: an ANSI terminal, held through the terminal session
// (terminal/terminal_session.h). The demo takes the alternate screen, hides the cursor, turns
// echo off and draws each frame as what changed since the last one, in the form the terminal's
// size allows (terminal_encoder.h). The session gives the terminal back on exit and on the
// ending signals, and around a suspension; the time a suspension lasted is handed to the frame
// wait, so that the pictures resume where they stopped, as the music does. The frame wait
// sleeps (nanosleep) until the frame's time on the session's monotonic clock, and hands the
// terminal the rest of a frame while it sleeps.
#include <time.h>

#include "host/console.h"
#include "terminal/terminal_session.h"

namespace {

// While bytes are pending, the frame wait offers them again this often.
constexpr uint64_t kPendingRetryMilliseconds = 2;

}  // namespace

void openDemoConsole() {
    openTerminalSession({kTerminalEnter, "", "", kScreenColumns, kScreenRows});
    setConsoleTitle(kGreetingTitle);
}

void closeDemoConsole() {
    closeTerminalSession();
}

int setConsoleTitle(const char* text) {
    setTerminalTitle(text);
    return 1;
}

void presentCellFrame() {
    presentSessionFrame(cellFrame());
}

uint32_t tickCount() {
    return static_cast<uint32_t>(monotonicClockMilliseconds());
}

// Sleeps in steps while bytes are pending, offering them to the terminal after each. A signal
// ends the sleep early; the caller sleeps again towards the same tick.
void sleepUntilTick(uint32_t tick) {
    for (;;) {
        const bool pending = offerPendingOutput();
        const int32_t ahead = static_cast<int32_t>(tick - tickCount());
        if (ahead <= 0) return;
        uint64_t milliseconds = static_cast<uint64_t>(ahead);
        if (pending && milliseconds > kPendingRetryMilliseconds)
            milliseconds = kPendingRetryMilliseconds;
        const timespec duration{static_cast<time_t>(milliseconds / 1000u),
                                static_cast<long>(milliseconds % 1000u * 1000000u)};
        if (nanosleep(&duration, nullptr) != 0) return;
    }
}

uint32_t takeStoppedTime() {
    return takeStoppedMilliseconds();
}
