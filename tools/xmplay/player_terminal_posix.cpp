// The player's terminal on POSIX: termios for keys without echo or Enter, poll(2) to wait for
// them, non-blocking writes through the presenter so that a slow terminal never holds up the
// sound, and signal handlers that give the terminal back. As the demo's console host does
// (src/host/console_posix.cpp), but at the terminal's own size and with keys read.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "player_terminal.h"
#include "terminal/terminal_presenter.h"
#include "terminal/terminfo.h"

namespace {

constexpr int kOutput = STDOUT_FILENO;
constexpr int kInput = STDIN_FILENO;
// Bracketed paste: a paste comes wrapped, so that its bytes are never taken for keys.
constexpr char kPasteModeOn[] = "\x1b[?2004h";
constexpr char kPasteModeOff[] = "\x1b[?2004l";

termios savedTermios;
bool haveSavedTermios = false;
int savedOutputFlags = -1;
volatile sig_atomic_t terminalTaken = 0;
volatile sig_atomic_t screenLost = 0;  // after a suspension: draw everything anew
volatile sig_atomic_t suspended = 0;   // a stop gave the terminal back; the continue takes it
bool inputOpen = true;                 // standard input has not ended

TerminalPresenter presenter;
TextScreen screen;
ColourMode colourMode = ColourMode::Ansi16;
std::string titleBytes;
char currentTitle[256] = "";
sigset_t writingSignals;

// Async-signal-safe: write(2) and poll(2) only; waits until every byte is taken.
void writeAll(const char* bytes, size_t length) {
    while (length > 0) {
        const ssize_t written = write(kOutput, bytes, length);
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

size_t writeWithoutWaiting(void*, const char* bytes, size_t length) {
    for (;;) {
        const ssize_t written = write(kOutput, bytes, length);
        if (written >= 0) return static_cast<size_t>(written);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return length;  // a terminal that is gone takes everything
    }
}

const TerminalWriter terminalWriter{writeWithoutWaiting, nullptr};

struct WritingSignalsHeld {
    sigset_t before;
    WritingSignalsHeld() { sigprocmask(SIG_BLOCK, &writingSignals, &before); }
    ~WritingSignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }
    WritingSignalsHeld(const WritingSignalsHeld&) = delete;
    WritingSignalsHeld& operator=(const WritingSignalsHeld&) = delete;
};

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
    writeAll(kTerminalEnterAsSized, sizeof kTerminalEnterAsSized - 1);
    writeAll(kPasteModeOn, sizeof kPasteModeOn - 1);
    setOutputNonBlocking(true);
    terminalTaken = 1;
}

// Async-signal-safe: the pending bytes are finished first, so that no sequence is left cut.
void giveTerminalBack() {
    if (!terminalTaken) return;
    terminalTaken = 0;
    if (hasPendingBytes(presenter)) {
        writeAll(presenter.bytes.data() + presenter.sent, presenter.bytes.size() - presenter.sent);
        presenter.sent = presenter.bytes.size();
    }
    writeAll(kPasteModeOff, sizeof kPasteModeOff - 1);
    writeAll(kTerminalRestore, sizeof kTerminalRestore - 1);
    setOutputNonBlocking(false);
    if (haveSavedTermios) {
        tcflush(kInput, TCIFLUSH);
        tcsetattr(kInput, TCSANOW, &savedTermios);
    }
}

void restoreAtExit() {
    giveTerminalBack();
}

void onTerminatingSignal(int signalNumber) {
    const int savedErrno = errno;
    giveTerminalBack();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    errno = savedErrno;
}

void onSuspend(int) {
    const int savedErrno = errno;
    suspended = terminalTaken;
    giveTerminalBack();
    signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
    errno = savedErrno;
}

void onContinue(int) {
    const int savedErrno = errno;
    signal(SIGTSTP, onSuspend);
    if (suspended) {
        suspended = 0;
        takeTerminal();
        screenLost = 1;
    }
    errno = savedErrno;
}

void queueTitle() {
    titleBytes.clear();
    appendTitleSequence(currentTitle, titleBytes);
    queueBytes(presenter, titleBytes.data(), titleBytes.size(), terminalWriter);
}

}  // namespace

bool screenPossible() {
    if (isatty(kOutput) != 1) return false;
    const char* term = std::getenv("TERM");
    if (!term || !*term) return false;
    if (std::strcmp(term, "dumb") == 0 || std::strcmp(term, "unknown") == 0) return false;
    bool anyDatabase = false;
    return !findTerminfoEntry(term, anyDatabase).empty() || !anyDatabase;
}

void openPlayerTerminal() {
    colourMode = colourModeFor(std::getenv("COLORTERM"), terminalColourCount(std::getenv("TERM")));
    reserveTerminalPresenter(presenter);
    titleBytes.reserve(sizeof currentTitle * 4 + 16);
    sigemptyset(&writingSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT})
        sigaddset(&writingSignals, signalNumber);
    haveSavedTermios = tcgetattr(kInput, &savedTermios) == 0;
    savedOutputFlags = fcntl(kOutput, F_GETFL);
    if (savedOutputFlags >= 0) savedOutputFlags &= ~O_NONBLOCK;
    std::atexit(restoreAtExit);
    signal(SIGINT, onTerminatingSignal);
    signal(SIGTERM, onTerminatingSignal);
    signal(SIGHUP, onTerminatingSignal);
    signal(SIGTSTP, onSuspend);
    signal(SIGCONT, onContinue);
    takeTerminal();
}

void closePlayerTerminal() {
    WritingSignalsHeld held;
    giveTerminalBack();
}

void playerTerminalSize(int& columns, int& rows) {
    winsize size{};
    if (ioctl(kOutput, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        columns = size.ws_col;
        rows = size.ws_row;
    } else {
        columns = 80;
        rows = 25;
    }
}

void presentPlayerFrame(const TextFrame& frame) {
    WritingSignalsHeld held;
    if (screenLost) {
        screenLost = 0;
        screen.known = false;
        queueTitle();
    }
    int columns, rows;
    playerTerminalSize(columns, rows);
    presentTextFrame(presenter, screen, frame, columns, rows, colourMode, terminalWriter);
}

void setPlayerTitle(const char* title) {
    WritingSignalsHeld held;
    std::strncpy(currentTitle, title, sizeof currentTitle - 1);
    queueTitle();
}

size_t waitForInput(char* buffer, size_t capacity, int milliseconds) {
    const uint32_t end = monotonicMilliseconds() + static_cast<uint32_t>(milliseconds);
    for (;;) {
        bool pending = false;
        if (hasPendingBytes(presenter)) {
            WritingSignalsHeld held;
            pending = !flushPending(presenter, terminalWriter);
        }
        const int32_t left = static_cast<int32_t>(end - monotonicMilliseconds());
        if (left <= 0) return 0;
        pollfd watched[2] = {{kInput, POLLIN, 0}, {kOutput, POLLOUT, 0}};
        const int count = (inputOpen ? 1 : 0) + (pending ? 1 : 0);
        pollfd* first = inputOpen ? &watched[0] : &watched[1];
        const int ready = poll(first, static_cast<nfds_t>(count), left);
        if (ready <= 0) continue;  // a signal or nothing: look again until the time is up
        if (inputOpen && (watched[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t got = read(kInput, buffer, capacity);
            if (got > 0) return static_cast<size_t>(got);
            if (got == 0 || (errno != EINTR && errno != EAGAIN)) inputOpen = false;
        }
    }
}

uint32_t monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
