// The output device in a browser: Web Audio plays the ring in an endless loop on its own audio
// thread (an AudioWorklet, or a ScriptProcessorNode where the page is no secure context; see
// output_web.js) and reports how far it has played, counted on the audio clock.
//
// Without SharedArrayBuffer the audio thread cannot read the ring in WebAssembly memory, so it
// keeps a copy: play hands it the whole ring, and every block mixed again afterwards is sent
// after it. Nor is there a streaming thread (the page hands the stream no threads): each report of
// the position arrives on the page's thread, and webPumpStream then does what the streaming thread
// does elsewhere, mixing every block that the position has left with the same mixBlock. Reports are
// messages, which a browser delivers to a hidden tab as well, so the music keeps going where timers
// would be slowed down.
#include <emscripten.h>

#include "engine/output.h"

// clang-format off
EM_JS(int, audioOpen, (int rate), { return Module.webAudio.open(rate) ? 1 : 0; });
EM_JS(void, audioPrepare, (int16_t* buffer, uint32_t bytes),
      { Module.webAudio.prepare(buffer, bytes); });
EM_JS(void, audioPlay, (int blockFrames), { Module.webAudio.play(blockFrames); });
EM_JS(double, audioPosition, (), { return Module.webAudio.position(); });
EM_JS(void, audioSend, (int firstFrame, int frames),
      { Module.webAudio.send(firstFrame, frames); });
EM_JS(void, audioReset, (), { Module.webAudio.reset(); });
EM_JS(void, audioClose, (), { Module.webAudio.close(); });
// clang-format on

namespace {

bool devicePlaying = false;

bool openWeb(int32_t rate) {
    devicePlaying = false;
    return audioOpen(rate) != 0;
}

void prepareWeb(int16_t* buffer, uint32_t bytes) {
    audioPrepare(buffer, bytes / kFrameBytes * kFrameBytes);
}

void playWeb() {
    audioPlay(viewStream().blockFrames);
    devicePlaying = true;
}

uint64_t webPosition() {
    return devicePlaying ? static_cast<uint64_t>(audioPosition()) : 0;
}

// No streaming thread polls this device (see above).
void waitWeb() {}

void resetWeb() {
    devicePlaying = false;
    audioReset();
}

void unprepareWeb() {
    audioPrepare(nullptr, 0);
}

void closeWeb() {
    devicePlaying = false;
    audioClose();
}

}  // namespace

const OutputDevice platformOutput = {openWeb, prepareWeb, playWeb,      webPosition,
                                     waitWeb, resetWeb,   unprepareWeb, closeWeb};

// Called by the page on every report of the audio thread: mixes the blocks that the play
// position has left, in order, and sends them to the audio thread, which hears each one a ring
// later. The audio thread itself counts the blocks it reached before their new music did.
extern "C" EMSCRIPTEN_KEEPALIVE void webPumpStream() {
    const StreamView stream = viewStream();
    if (!devicePlaying || !stream.playingModule || stream.stopRequested) return;
    refillStream();
    const int32_t blocks = blockCount();
    const int32_t first = stream.writeBlock;
    // Fewer than a whole ring are mixed at a time (mixing stops at the block being played),
    // so the distance the write block moved tells how many.
    const int32_t mixed = (viewStream().writeBlock - first + blocks) % blocks;
    if (mixed == 0) return;
    // The blocks are contiguous in the ring unless they wrap past its end.
    const int32_t toEnd = mixed < blocks - first ? mixed : blocks - first;
    audioSend(first * stream.blockFrames, toEnd * stream.blockFrames);
    if (mixed > toEnd) audioSend(0, (mixed - toEnd) * stream.blockFrames);
}
