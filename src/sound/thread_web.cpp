// Threads of the sound engine in a browser. A page served from a plain static server cannot
// count on SharedArrayBuffer, so WebAssembly gets no threads there: no streaming thread is
// started, and the output device's own callback mixes the blocks instead (output_web.cpp).
#include <emscripten.h>

#include "sound/thread.h"

bool startAudioThread(uint32_t (*)()) {
    return false;
}

// Nothing on the page's one thread waits for a streaming thread; a wait here is a busy one,
// since a browser's main thread cannot sleep.
void sleepMilliseconds(uint32_t milliseconds) {
    const double until = emscripten_get_now() + milliseconds;
    while (emscripten_get_now() < until) {
    }
}
