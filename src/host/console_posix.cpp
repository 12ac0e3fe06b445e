// The console host on POSIX: an ANSI terminal. The demo takes the alternate screen, hides
// the cursor, turns echo off and draws each frame as what changed since the last one, in the
// form the terminal's size allows (terminal_encoder.h). The terminal is given back on exit and
// on SIGINT, SIGTERM and SIGHUP; SIGTSTP and SIGCONT give it back and take it again around a
// suspension, and the time between them is handed to the frame wait, so that the pictures
// resume where they stopped, as the music does. The clock is CLOCK_MONOTONIC, and the frame
// wait sleeps (nanosleep) until the frame's time on it.
//
// The output is non-blocking while the demo has the terminal: a terminal that takes its input
// slowly (a slow link, a slow emulator) never holds up the frame loop. Frames go through the
// presenter (terminal_presenter.h), which writes a frame only once the one before is taken,
// and the frame wait hands the terminal the rest of a frame while it sleeps.
#include <fcntl.h>
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
#include "terminal/terminal_encoder.h"
#include "terminal/terminal_presenter.h"
#include "terminal/terminfo.h"

namespace {

constexpr int kOutput = STDOUT_FILENO;
constexpr int kInput = STDIN_FILENO;

termios savedTermios;
bool haveSavedTermios = false;
volatile sig_atomic_t terminalTaken = 0;
volatile sig_atomic_t screenLost = 0;  // set after a suspension: redraw everything
// Set when a stop gave the terminal back, so that only the continue after it takes it again.
volatile sig_atomic_t suspended = 0;

TerminalPresenter presenter;
ColourMode colourMode = ColourMode::Ansi16;
char currentTitle[256] = "";
std::string titleBytes;
int savedOutputFlags = -1;  // the output's file status flags before the demo took it

// The bytes that the kernel holds for the terminal are kept under this where it can tell how
// many there are (TIOCOUTQ), so that the picture shown is recent. Linux ptys report none; there
// the kernel's own limit of a few tens of kilobytes holds.
constexpr int kKernelQueueBytes = 4096;
// While bytes are pending, the frame wait offers them again this often.
constexpr uint64_t kPendingRetryMilliseconds = 2;

// The signals whose handlers write to the terminal; held off while the presenter changes.
sigset_t writingSignals;

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

// Async-signal-safe: only write(2) and poll(2). Waits for the terminal to take all of the
// bytes, as a blocking write would: the output is non-blocking while the demo has it (and may
// be left so by another program), and these bytes (taking and giving back the terminal, the
// rest of a frame when a signal ends the demo) must not be cut short.
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

// Takes what the terminal takes now, without waiting: as much as keeps the kernel's queue
// short where its length can be read, else as much as the kernel accepts. A terminal that is
// gone takes everything, so that nothing waits for it.
size_t writeWithoutWaiting(void*, const char* bytes, size_t length) {
#ifdef TIOCOUTQ
    int queued = 0;
    if (ioctl(kOutput, TIOCOUTQ, &queued) == 0) {
        if (queued >= kKernelQueueBytes) return 0;
        const size_t room = static_cast<size_t>(kKernelQueueBytes - queued);
        if (length > room) length = room;
    }
#endif
    for (;;) {
        const ssize_t written = write(kOutput, bytes, length);
        if (written >= 0) return static_cast<size_t>(written);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return length;
    }
}

const TerminalWriter terminalWriter{writeWithoutWaiting, nullptr};

// The presenter is changed with the writing signals held off, so that a handler that finishes
// its pending bytes finds them whole.
struct WritingSignalsHeld {
    sigset_t before;
    WritingSignalsHeld() { sigprocmask(SIG_BLOCK, &writingSignals, &before); }
    ~WritingSignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }
    WritingSignalsHeld(const WritingSignalsHeld&) = delete;
    WritingSignalsHeld& operator=(const WritingSignalsHeld&) = delete;
};

void queueTitle(const char* title) {
    titleBytes.clear();
    appendTitleSequence(title, titleBytes);
    queueBytes(presenter, titleBytes.data(), titleBytes.size(), terminalWriter);
}

// Async-signal-safe: the output non-blocking while the demo has the terminal, as it was
// otherwise.
void setOutputNonBlocking(bool nonBlocking) {
    if (savedOutputFlags < 0) return;
    fcntl(kOutput, F_SETFL, nonBlocking ? savedOutputFlags | O_NONBLOCK : savedOutputFlags);
}

void takeTerminal() {
    if (haveSavedTermios) {
        termios quiet = savedTermios;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON);
        tcsetattr(kInput, TCSANOW, &quiet);
    }
    writeAll(kTerminalEnter, sizeof kTerminalEnter - 1);
    setOutputNonBlocking(true);
    terminalTaken = 1;
}

// Async-signal-safe: write(2), fcntl(2), tcflush(3) and tcsetattr(3) only. The pending bytes
// are finished first, so that no sequence is left cut; the restore's CAN covers a write that
// a signal interrupted.
void giveTerminalBack() {
    if (!terminalTaken) return;
    terminalTaken = 0;
    if (hasPendingBytes(presenter)) {
        writeAll(presenter.bytes.data() + presenter.sent, presenter.bytes.size() - presenter.sent);
        presenter.sent = presenter.bytes.size();
    }
    writeAll(kTerminalRestore, sizeof kTerminalRestore - 1);
    setOutputNonBlocking(false);
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
    colourMode = colourModeFor(std::getenv("COLORTERM"), terminalColourCount(std::getenv("TERM")));
    reserveTerminalPresenter(presenter);
    titleBytes.reserve(sizeof currentTitle * 4 + 16);
    sigemptyset(&writingSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT})
        sigaddset(&writingSignals, signalNumber);

    haveSavedTermios = tcgetattr(kInput, &savedTermios) == 0;
    savedOutputFlags = fcntl(kOutput, F_GETFL);
    // A terminal left non-blocking by another program is given back blocking, as it should be.
    if (savedOutputFlags >= 0) savedOutputFlags &= ~O_NONBLOCK;
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
    WritingSignalsHeld held;
    std::strncpy(currentTitle, text, sizeof currentTitle - 1);
    queueTitle(currentTitle);
    return 1;
}

void presentCellFrame() {
    WritingSignalsHeld held;
    if (screenLost) {
        screenLost = 0;
        presenter.screen.known = false;
        queueTitle(currentTitle);
    }
    int columns, rows;
    terminalSize(columns, rows);
    presentFrame(presenter, cellFrame(), columns, rows, colourMode, terminalWriter);
}

uint32_t tickCount() {
    return static_cast<uint32_t>(monotonicMilliseconds());
}

// Sleeps in steps while bytes are pending, offering them to the terminal after each. A signal
// ends the sleep early; the caller sleeps again towards the same tick.
void sleepUntilTick(uint32_t tick) {
    for (;;) {
        bool pending = false;
        if (hasPendingBytes(presenter)) {
            WritingSignalsHeld held;
            pending = !flushPending(presenter, terminalWriter);
        }
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
    return stoppedTime.exchange(0);
}
