// The console host on POSIX: an ANSI terminal. The demo takes the alternate screen, hides
// the cursor, turns echo off and draws each frame as what changed since the last one, in the
// form the terminal's size allows (terminal_encoder.h). The terminal is given back on exit and
// on SIGINT, SIGTERM and SIGHUP; SIGTSTP and SIGCONT give it back and take it again around a
// suspension, and the time between them is handed to the frame wait, so that the pictures
// resume where they stopped, as the music does. The clock is CLOCK_MONOTONIC, and the frame
// wait sleeps on it until the frame's time.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/console.h"
#include "host/terminal_encoder.h"

namespace {

constexpr int kOutput = STDOUT_FILENO;
constexpr int kInput = STDIN_FILENO;

termios savedTermios;
bool haveSavedTermios = false;
volatile sig_atomic_t terminalTaken = 0;
volatile sig_atomic_t screenLost = 0;  // set after a suspension: redraw everything
// Set when a stop gave the terminal back, so that only the continue after it takes it again.
volatile sig_atomic_t suspended = 0;

TerminalScreen screen;
ColourMode colourMode = ColourMode::Ansi16;
std::string frameBytes;
char currentTitle[256] = "";

// A stop by SIGTSTP and when it began; the continue after it adds the time in between.
volatile sig_atomic_t stopPending = 0;
std::atomic<uint64_t> stopBegan{0};
std::atomic<uint32_t> stoppedTime{0};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "used in signal handlers");

// Async-signal-safe.
uint64_t monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// Async-signal-safe: only write(2) and poll(2). An output left non-blocking by another
// program is waited for as a blocking one would be: a frame cut short would leave cells on
// the screen that the encoder believes are shown.
void writeAll(const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t written = write(kOutput, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd output{kOutput, POLLOUT, 0};
                poll(&output, 1, -1);
                continue;
            }
            return;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}

void writeTitle(const char* title) {
    std::string bytes;
    appendTitleSequence(title, bytes);
    writeAll(bytes.data(), bytes.size());
}

void takeTerminal() {
    if (haveSavedTermios) {
        termios quiet = savedTermios;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON);
        tcsetattr(kInput, TCSANOW, &quiet);
    }
    writeAll(kTerminalEnter, sizeof kTerminalEnter - 1);
    terminalTaken = 1;
}

// Async-signal-safe: write(2), tcflush(3) and tcsetattr(3) only.
void giveTerminalBack() {
    if (!terminalTaken) return;
    terminalTaken = 0;
    writeAll(kTerminalRestore, sizeof kTerminalRestore - 1);
    if (haveSavedTermios) {
        // Keys typed during the demo are dropped, not handed to the shell.
        tcflush(kInput, TCIFLUSH);
        tcsetattr(kInput, TCSANOW, &savedTermios);
    }
}

void restoreAtExit() {
    giveTerminalBack();
}

// The handlers keep errno as they found it: the code they interrupt may be about to read it.
void onTerminatingSignal(int signalNumber) {
    const int savedErrno = errno;
    giveTerminalBack();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    errno = savedErrno;  // reached when the signal is blocked until the handler returns
}

void onSuspend(int) {
    const int savedErrno = errno;
    stopBegan = monotonicMilliseconds();
    stopPending = 1;
    suspended = terminalTaken;
    giveTerminalBack();
    signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
    errno = savedErrno;
}

// A continue without a stop before it (kill -CONT) finds the terminal still taken: entering
// again would push the title a second time and leave the demo's title behind at exit.
void onContinue(int) {
    const int savedErrno = errno;
    signal(SIGTSTP, onSuspend);
    if (stopPending) {
        stopPending = 0;
        stoppedTime += static_cast<uint32_t>(monotonicMilliseconds() - stopBegan);
    }
    if (suspended) {
        suspended = 0;
        takeTerminal();
        screenLost = 1;
    }
    errno = savedErrno;
}

void terminalSize(int& columns, int& rows) {
    winsize size{};
    if (ioctl(kOutput, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        columns = size.ws_col;
        rows = size.ws_row;
    } else {
        columns = kScreenColumns;
        rows = kScreenRows;
    }
}

}  // namespace

void openDemoConsole() {
    colourMode = colourModeFor(std::getenv("COLORTERM"));
    // The worst frame (every cell changed, every colour changed) stays well below this, so
    // the frame loop never allocates.
    frameBytes.reserve(256 * 1024);

    haveSavedTermios = tcgetattr(kInput, &savedTermios) == 0;
    std::atexit(restoreAtExit);
    signal(SIGINT, onTerminatingSignal);
    signal(SIGTERM, onTerminatingSignal);
    signal(SIGHUP, onTerminatingSignal);
    signal(SIGTSTP, onSuspend);
    signal(SIGCONT, onContinue);
    takeTerminal();
    setConsoleTitle(kGreetingTitle);
}

void closeDemoConsole() {
    giveTerminalBack();
}

int setConsoleTitle(const char* text) {
    std::strncpy(currentTitle, text, sizeof currentTitle - 1);
    writeTitle(currentTitle);
    return 1;
}

void presentCellFrame() {
    if (screenLost) {
        screenLost = 0;
        screen.known = false;
        writeTitle(currentTitle);
    }
    int columns, rows;
    terminalSize(columns, rows);
    frameBytes.clear();
    encodeFrame(cellFrame(), screen, columns, rows, colourMode, frameBytes);
    if (!frameBytes.empty()) writeAll(frameBytes.data(), frameBytes.size());
}

uint32_t tickCount() {
    return static_cast<uint32_t>(monotonicMilliseconds());
}

void sleepUntilTick(uint32_t tick) {
    const uint64_t now = monotonicMilliseconds();
    const int32_t ahead = static_cast<int32_t>(tick - static_cast<uint32_t>(now));
    if (ahead <= 0) return;
    const uint64_t wake = now + static_cast<uint64_t>(ahead);
    const timespec target{static_cast<time_t>(wake / 1000u),
                          static_cast<long>(wake % 1000u * 1000000u)};
    // An absolute time: a signal that cuts the sleep short leaves the caller to sleep again
    // towards the same moment.
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr);
}

uint32_t takeStoppedTime() {
    return stoppedTime.exchange(0);
}
