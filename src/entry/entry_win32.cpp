// Program entry on Windows: a windowed program that opens a console of its own.
#include <windows.h>

#include "director/director.h"
#include "engine/output.h"
#include "engine/thread.h"
#include "host/console.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (!AllocConsole()) return 0;
    useOutputDevice(&platformOutput, &platformThreads);
    openDemoConsole();
    runDemo();
    return 0;
}
