// The console host on Windows: a console screen buffer of 80 by 50 cells, its window as large
// as the buffer and maximised, written whole once per frame with WriteConsoleOutputA. A
// console that cannot show all 80 by 50 cells that way (a window that stayed smaller, a
// terminal tab behind a pseudo console) is given the terminal encoder's virtual terminal
// sequences instead, fitted to its visible window (console_path.h).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "host/console.h"
#include "host/console_path.h"
#include "host/console_records.h"
#include "host/marker_title.h"

namespace {

HANDLE consoleOutput = nullptr;
HWND consoleWindow = nullptr;

// Sizes the console window to the whole 80 by 50 buffer where the screen has room for it.
// Maximising alone leaves the window at its default 25 rows where nothing carries the request
// out (Wine without a window manager): a maximised window keeps the size it had. Setting the
// window needs read access, which consoleOutput lacks, so the active buffer is opened again
// for it. A console host that resizes its window later (Wine's, about 50 ms on) is given a
// quarter of a second to do so before the window is maximised.
void showWholeBuffer() {
    HANDLE activeBuffer =
        CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (activeBuffer == INVALID_HANDLE_VALUE) return;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const SMALL_RECT whole{0, 0, kScreenColumns - 1, kScreenRows - 1};
    const bool shownWhole = GetConsoleScreenBufferInfo(activeBuffer, &info) &&
                            info.srWindow.Left == whole.Left && info.srWindow.Top == whole.Top &&
                            info.srWindow.Right == whole.Right &&
                            info.srWindow.Bottom == whole.Bottom;
    HWND window = GetConsoleWindow();
    RECT before{};
    if (!shownWhole && window && GetClientRect(window, &before) &&
        SetConsoleWindowInfo(activeBuffer, TRUE, &whole)) {
        const DWORD start = GetTickCount();
        RECT now = before;
        while (GetClientRect(window, &now) && now.bottom == before.bottom &&
               GetTickCount() - start < 250)
            Sleep(1);
    }
    CloseHandle(activeBuffer);
}

// The terminal path, where it is taken: a handle of the active buffer with read access (the
// window's size is read for every frame, which consoleOutput cannot do), the window it was
// last read as, what the window shows as far as the encoder knows, and a frame's bytes.
HANDLE terminalBuffer = nullptr;
ConsoleRegion terminalWindow{};
TerminalScreen terminalScreen;
std::string terminalBytes;

ConsoleRegion regionOf(const SMALL_RECT& rect) {
    return ConsoleRegion{rect.Left, rect.Top, rect.Right, rect.Bottom};
}

// Terminals that host a console through a pseudo console give it a window of this class.
bool isPseudoConsole() {
    char className[32] = "";
    HWND window = GetConsoleWindow();
    return window && GetClassNameA(window, className, sizeof className) > 0 &&
           std::strcmp(className, "PseudoConsoleWindow") == 0;
}

// Looks at what the console shows once it is set up, and takes the terminal path where
// chooseConsolePath asks for it and the console acts on virtual terminal sequences. A console
// that cannot (one older than Windows 10 refuses the mode; Wine's accepts it but shows the
// sequences as text, which the first whole-frame write covers) keeps the whole-frame write,
// with its mode and cursor as they were.
void chooseTerminalPath() {
    HANDLE buffer =
        CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (buffer == INVALID_HANDLE_VALUE) return;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    DWORD mode = 0;
    if (GetConsoleScreenBufferInfo(buffer, &info) &&
        chooseConsolePath(ConsoleState{regionOf(info.srWindow), isPseudoConsole()}) ==
            ConsolePath::Terminal &&
        GetConsoleMode(buffer, &mode) &&
        SetConsoleMode(buffer, ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        const COORD cursor = info.dwCursorPosition;
        DWORD written = 0;
        WriteConsoleA(buffer, kTerminalProbe, sizeof kTerminalProbe - 1, &written, nullptr);
        if (GetConsoleScreenBufferInfo(buffer, &info) &&
            terminalProbeMoved(regionOf(info.srWindow), info.dwCursorPosition.X,
                               info.dwCursorPosition.Y)) {
            // The encoder writes its half blocks and glyphs in UTF-8.
            SetConsoleOutputCP(CP_UTF8);
            terminalBuffer = buffer;
            terminalWindow = regionOf(info.srWindow);
            return;
        }
        SetConsoleCursorPosition(buffer, cursor);
        SetConsoleMode(buffer, mode);
    }
    CloseHandle(buffer);
}

// The window is read again for every frame, so that the picture follows a resize.
void presentThroughTerminal() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(terminalBuffer, &info)) terminalWindow = regionOf(info.srWindow);
    terminalBytes.clear();
    encodeForConsoleWindow(cellFrame(), terminalWindow, terminalScreen, terminalBytes);
    DWORD written = 0;
    if (!terminalBytes.empty())
        WriteConsoleA(terminalBuffer, terminalBytes.data(),
                      static_cast<DWORD>(terminalBytes.size()), &written, nullptr);
    CONSOLE_CURSOR_INFO cursor{1, FALSE};
    SetConsoleCursorInfo(terminalBuffer, &cursor);
}

}  // namespace

void openDemoConsole() {
    consoleOutput =
        CreateConsoleScreenBuffer(GENERIC_WRITE, 0, nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    SetConsoleActiveScreenBuffer(consoleOutput);
    SetConsoleScreenBufferSize(consoleOutput, COORD{kScreenColumns, kScreenRows});
    showWholeBuffer();
    SetConsoleMode(consoleOutput, 0);

    // The console window is found by a title that no other window has.
    srand(GetTickCount());
    char markerTitle[kMarkerTitleLength + 1];
    buildMarkerTitle(markerTitle);
    SetConsoleTitleA(markerTitle);
    consoleWindow = FindWindowA(nullptr, markerTitle);

    SetConsoleTitleA(kGreetingTitle);
    ShowWindow(consoleWindow, SW_SHOWMAXIMIZED);

    chooseTerminalPath();
}

void closeDemoConsole() {}

int setConsoleTitle(const char* text) {
    return SetConsoleTitleA(text);
}

void presentCellFrame() {
    if (terminalBuffer) {
        presentThroughTerminal();
        return;
    }
    CHAR_INFO transfer[kScreenCells];
    fillConsoleRecords(cellFrame(), transfer);
    SMALL_RECT region{kPresentRegion.left, kPresentRegion.top, kPresentRegion.right,
                      kPresentRegion.bottom};
    WriteConsoleOutputA(consoleOutput, transfer, COORD{kScreenColumns, kScreenRows}, COORD{0, 0},
                        &region);
    CONSOLE_CURSOR_INFO cursor{1, FALSE};
    SetConsoleCursorInfo(consoleOutput, &cursor);
}

uint32_t tickCount() {
    return GetTickCount();
}

// The frame wait polls GetTickCount without sleeping.
void sleepUntilTick(uint32_t) {}

uint32_t takeStoppedTime() {
    return 0;
}
