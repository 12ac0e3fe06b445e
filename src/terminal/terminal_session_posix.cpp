// The terminal session on POSIX: termios for echo and keys, a non-blocking output written
// through the presenter, poll(2) to wait for keys and for room in the output, and signal
// handlers that give the terminal back. The clock is CLOCK_MONOTONIC.
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

#include "terminal/terminal_presenter.h"
#include "terminal/terminal_session.h"
#include "terminal/terminfo.h"

namespace {

constexpr int kOutput = STDOUT_FILENO;
constexpr int kInput = STDIN_FILENO;

TerminalSessionStyle sessionStyle = {"", "", "", 80, 25};
termios savedTermios;
bool haveSavedTermios = false;
int savedOutputFlags = -1;  // the output's file status flags before the program took it
volatile sig_atomic_t terminalTaken = 0;
volatile sig_atomic_t screenLost = 0;  // set after a suspension: draw everything anew
// Set when a stop gave the terminal back, so that only the continue after it takes it again.
volatile sig_atomic_t suspended = 0;
bool inputOpen = true;  // standard input has not ended

TerminalPresenter presenter;
TextScreen textScreen;  // what the terminal shows of a text frame
ColourMode colourMode = ColourMode::Ansi16;
char currentTitle[256] = "";
std::string titleBytes;

// The bytes that the kernel holds for the terminal are kept under this where it can tell how
// many there are (TIOCOUTQ), so that the picture shown is recent. Linux ptys report none; there
// the kernel's own limit of a few tens of kilobytes holds.
constexpr int kKernelQueueBytes = 4096;

// The signals whose handlers write to the terminal; held off while the presenter changes.
sigset_t writingSignals;

// A stop by SIGTSTP and when it began; the continue after it adds the time in between.
volatile sig_atomic_t stopPending = 0;
std::atomic<uint64_t> stopBegan{0};
std::atomic<uint32_t> stoppedTime{0};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "used in signal handlers");

// Async-signal-safe: only write(2) and poll(2). Waits for the terminal to take all of the
// bytes, as a blocking write would: the output is non-blocking while the program has it (and
// may be left so by another program), and these bytes (taking and giving back the terminal,
// the rest of a frame when a signal ends the program) must not be cut short.
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

void queueTitle() {
    titleBytes.clear();
    appendTitleSequence(currentTitle, titleBytes);
    queueBytes(presenter, titleBytes.data(), titleBytes.size(), terminalWriter);
}

// After a suspension the terminal shows what others left on it: the next frame is drawn whole,
// with the title.
void redrawIfLost() {
    if (!screenLost) return;
    screenLost = 0;
    presenter.screen.known = false;
    textScreen.known = false;
    queueTitle();
}

// Async-signal-safe: the output non-blocking while the program has the terminal, as it was
// otherwise.
void setOutputNonBlocking(bool nonBlocking) {
    if (savedOutputFlags < 0) return;
    fcntl(kOutput, F_SETFL, nonBlocking ? savedOutputFlags | O_NONBLOCK : savedOutputFlags);
}

// Async-signal-safe.
void takeTerminal() {
    if (haveSavedTermios) {
        termios keys = savedTermios;
        keys.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON);
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        tcsetattr(kInput, TCSANOW, &keys);
    }
    writeAll(sessionStyle.enter, std::strlen(sessionStyle.enter));
    writeAll(sessionStyle.modesOn, std::strlen(sessionStyle.modesOn));
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
    writeAll(sessionStyle.modesOff, std::strlen(sessionStyle.modesOff));
    writeAll(kTerminalRestore, sizeof kTerminalRestore - 1);
    setOutputNonBlocking(false);
    if (haveSavedTermios) {
        // Keys typed while the program had the terminal are dropped, not handed to the shell.
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
    stopBegan = monotonicClockMilliseconds();
    stopPending = 1;
    suspended = terminalTaken;
    giveTerminalBack();
    signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
    errno = savedErrno;
}

// A continue without a stop before it (kill -CONT) finds the terminal still taken: entering
// again would push the title a second time and leave the program's title behind at exit.
void onContinue(int) {
    const int savedErrno = errno;
    signal(SIGTSTP, onSuspend);
    if (stopPending) {
        stopPending = 0;
        stoppedTime += static_cast<uint32_t>(monotonicClockMilliseconds() - stopBegan);
    }
    if (suspended) {
        suspended = 0;
        takeTerminal();
        screenLost = 1;
    }
    errno = savedErrno;
}

}  // namespace

void openTerminalSession(const TerminalSessionStyle& style) {
    sessionStyle = style;
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
}

void closeTerminalSession() {
    WritingSignalsHeld held;
    giveTerminalBack();
}

void setTerminalTitle(const char* title) {
    WritingSignalsHeld held;
    std::strncpy(currentTitle, title, sizeof currentTitle - 1);
    queueTitle();
}

void terminalSize(int& columns, int& rows) {
    winsize size{};
    if (ioctl(kOutput, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        columns = size.ws_col;
        rows = size.ws_row;
    } else {
        columns = sessionStyle.fallbackColumns;
        rows = sessionStyle.fallbackRows;
    }
}

void presentSessionFrame(const CellFrame& frame) {
    WritingSignalsHeld held;
    redrawIfLost();
    int columns, rows;
    terminalSize(columns, rows);
    presentFrame(presenter, frame, columns, rows, colourMode, terminalWriter);
}

void presentSessionTextFrame(const TextFrame& frame) {
    WritingSignalsHeld held;
    redrawIfLost();
    int columns, rows;
    terminalSize(columns, rows);
    presentTextFrame(presenter, textScreen, frame, columns, rows, colourMode, terminalWriter);
}

bool offerPendingOutput() {
    if (!hasPendingBytes(presenter)) return false;
    WritingSignalsHeld held;
    return !flushPending(presenter, terminalWriter);
}

size_t waitForTerminalInput(char* buffer, size_t capacity, int milliseconds) {
    const uint64_t end = monotonicClockMilliseconds() + static_cast<uint64_t>(milliseconds);
    for (;;) {
        const bool pending = offerPendingOutput();
        const int64_t left = static_cast<int64_t>(end - monotonicClockMilliseconds());
        if (left <= 0) return 0;
        pollfd watched[2] = {{kInput, POLLIN, 0}, {kOutput, POLLOUT, 0}};
        const int count = (inputOpen ? 1 : 0) + (pending ? 1 : 0);
        pollfd* first = inputOpen ? &watched[0] : &watched[1];
        const int ready = poll(first, static_cast<nfds_t>(count), static_cast<int>(left));
        if (ready <= 0) continue;  // a signal or nothing: look again until the time is up
        if (inputOpen && (watched[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t got = read(kInput, buffer, capacity);
            if (got > 0) return static_cast<size_t>(got);
            if (got == 0 || (errno != EINTR && errno != EAGAIN)) inputOpen = false;
        }
    }
}

uint64_t monotonicClockMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

uint32_t takeStoppedMilliseconds() {
    return stoppedTime.exchange(0);
}
