#include "terminal/terminal_presenter.h"

void reserveTerminalPresenter(TerminalPresenter& presenter) {
    // The worst frame (every cell changed, every colour changed, 24-bit) is about 130 KB.
    presenter.bytes.reserve(256 * 1024);
}

bool flushPending(TerminalPresenter& presenter, const TerminalWriter& writer) {
    while (hasPendingBytes(presenter)) {
        const size_t taken = writer.write(writer.context, presenter.bytes.data() + presenter.sent,
                                          presenter.bytes.size() - presenter.sent);
        if (taken == 0) return false;
        presenter.sent += taken;
    }
    presenter.bytes.clear();
    presenter.sent = 0;
    return true;
}

void queueBytes(TerminalPresenter& presenter, const char* bytes, size_t length,
                const TerminalWriter& writer) {
    presenter.bytes.append(bytes, length);
    flushPending(presenter, writer);
}

bool presentFrame(TerminalPresenter& presenter, const CellFrame& frame, int columns, int rows,
                  ColourMode mode, const TerminalWriter& writer) {
    if (!flushPending(presenter, writer)) return false;
    encodeFrame(frame, presenter.screen, columns, rows, mode, presenter.bytes);
    flushPending(presenter, writer);
    return true;
}

bool presentTextFrame(TerminalPresenter& presenter, TextScreen& screen, const TextFrame& frame,
                      int columns, int rows, ColourMode mode, const TerminalWriter& writer) {
    if (!flushPending(presenter, writer)) return false;
    encodeTextFrame(frame, screen, columns, rows, mode, presenter.bytes);
    flushPending(presenter, writer);
    return true;
}
