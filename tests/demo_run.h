// Runs the real director offline: start-up with a clock that stands still and no title, then
// frames drawn one after another into cellFrame, as the frame loop would draw them.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cells/cell_frame.h"
#include "director/director.h"
#include "engine/output.h"
#include "engine/thread.h"

namespace demo_run {

inline uint32_t stillClock() {
    return 0;
}

// Start-up runs once per test process: it allocates the frames and renderers for good. The
// music goes to the offline output device, which needs no sound hardware and keeps no time;
// its streaming thread is stopped before the process ends.
inline bool startOnce() {
    static const StartUp result = [] {
        useOutputDevice(&offlineOutput, &platformThreads);
        StartUp started = startUpDemo(DirectorHost{nullptr, stillClock});
        std::atexit([] { closeOutput(); });
        return started;
    }();
    return result == StartUp::Started;
}

// Draws frames from..to in order, calling visit(n) after each.
template <typename Visit>
void runFrames(int32_t from, int32_t to, Visit visit) {
    for (int32_t n = from; n <= to; ++n) {
        drawFrame(n);
        visit(n);
    }
}

}  // namespace demo_run
