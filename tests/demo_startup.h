// Runs the director's start-up once per test process, offline: a clock that stands still and
// no console title. Start-up allocates the frames for good, so it must not run twice.
#pragma once
#include "director/director.h"

inline uint32_t stillClock() {
    return 1000;
}

inline StartUp startUpOffline() {
    static const StartUp result =
        sceneFrame ? StartUp::Started : startUpDemo(DirectorHost{nullptr, stillClock});
    return result;
}
