// The console host on Windows: a console screen buffer of 80 by 50 cells, written whole once
// per frame with WriteConsoleOutputA.
#include <windows.h>

#include <cstdlib>

#include "host/console.h"
#include "host/console_records.h"
#include "host/marker_title.h"

namespace {

HANDLE consoleOutput = nullptr;
HWND consoleWindow = nullptr;

}  // namespace

void openDemoConsole() {
    consoleOutput =
        CreateConsoleScreenBuffer(GENERIC_WRITE, 0, nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    SetConsoleActiveScreenBuffer(consoleOutput);
    SetConsoleScreenBufferSize(consoleOutput, COORD{kScreenColumns, kScreenRows});
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
    fillConsoleRecords(cellFrame, transfer);
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
