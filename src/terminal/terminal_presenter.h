// Presents frames to a terminal that may take its input slowly, without waiting for it. The
// frame loop hands over every frame on time; a frame is encoded and written only when the
// terminal has taken all the bytes of the one before, and is then diffed against what the
// terminal shows. A terminal that keeps up gets every frame; a slow one gets the newest frame
// each time it is ready, so that the picture shown stays within a frame's bytes and the
// kernel's queue of the frame computed. Portable: the terminal is reached through a writer
// that never blocks, given by the program (the demo's in host/console_posix.cpp) or a test.
#pragma once
#include <cstddef>
#include <string>

#include "terminal/terminal_encoder.h"

// Hands the terminal up to length bytes without waiting and returns how many it took: 0 when
// it takes none now. A terminal that is gone should be reported as taking everything.
struct TerminalWriter {
    size_t (*write)(void* context, const char* bytes, size_t length);
    void* context;
};

struct TerminalPresenter {
    TerminalScreen screen;  // what the terminal shows once the pending bytes are taken
    std::string bytes;      // pending output; reserved once, so the frame loop allocates nothing
    size_t sent = 0;        // how many of them the terminal has taken
};

// Reserves room for the largest frame and anything queued behind it.
void reserveTerminalPresenter(TerminalPresenter& presenter);

// Whether bytes are still waiting to be taken.
inline bool hasPendingBytes(const TerminalPresenter& presenter) {
    return presenter.sent < presenter.bytes.size();
}

// Writes what the terminal takes of the pending bytes; true when none are left.
bool flushPending(TerminalPresenter& presenter, const TerminalWriter& writer);

// Queues bytes (a title sequence) behind whatever is pending, and writes what the terminal
// takes: a frame under way is never cut.
void queueBytes(TerminalPresenter& presenter, const char* bytes, size_t length,
                const TerminalWriter& writer);

// Presents a frame for a terminal of columns by rows: finishes what is pending as far as the
// terminal takes it, and when nothing is left, encodes the frame against what the terminal
// shows and writes what it takes. Returns whether the frame was encoded; a frame passed over
// is never shown, and the next one encoded includes its changes.
bool presentFrame(TerminalPresenter& presenter, const CellFrame& frame, int columns, int rows,
                  ColourMode mode, const TerminalWriter& writer);

// The same for a text frame, against the screen record of text frames that the program keeps
// (the presenter's own screen is that of 80 by 50 frames, and is left alone).
bool presentTextFrame(TerminalPresenter& presenter, TextScreen& screen, const TextFrame& frame,
                      int columns, int rows, ColourMode mode, const TerminalWriter& writer);
