// Program entry in a browser: hands the demo to the page (host/platform_web.h), which starts it
// on a click or a key once it has its sound output, and paces its frames by the music heard.
// Frame n is due when the music has been heard for 40 (n - 1) ms; frame 1, which starts the
// music, is due at once.
#include "director/director.h"
#include "engine/output.h"
#include "host/console.h"
#include "host/platform_web.h"

namespace {

constexpr double kFrameMilliseconds = 40.0;

const char* startUp() {
    // No threads: the page's reports of the play position keep the ring filled.
    useOutputDevice(&platformOutput, nullptr);
    switch (startUpDemo(DirectorHost{setConsoleTitle, tickCount})) {
        case StartUp::Started:
            return nullptr;
        case StartUp::NoSoundOutput:
            return "No sound output could be opened, and the demo shows no pictures without its "
                   "music.";
        case StartUp::NoSong:
            return "The song compiled into the demo could not be loaded.";
    }
    return "The demo could not start.";
}

// NaN, before the music has started, is due for no frame but the first.
bool nextFrameDue(double musicMilliseconds) {
    const int32_t counted = currentFrameNumber();
    return counted == 0 || musicMilliseconds >= kFrameMilliseconds * counted;
}

}  // namespace

int main() {
    openWebPage(WebDemo{kDemoTitle, startUp, nextFrameDue, drawNextFrame});
}
