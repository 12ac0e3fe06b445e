// The console host on Windows: a console screen buffer of 80 by 50 cells, its window as large
// as the buffer and maximised, written whole once per frame with WriteConsoleOutputA.
#include <windows.h>

#include <cstdlib>

#include "host/console.h"
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
}

void closeDemoConsole() {}

int setConsoleTitle(const char* text) {
    return SetConsoleTitleA(text);
}

void presentCellFrame() {
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
