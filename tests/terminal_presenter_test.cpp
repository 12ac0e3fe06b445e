#include "host/terminal_presenter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "host/cp437.h"
#include "terminal_model.h"

namespace {

constexpr int kFrameMilliseconds = 40;
constexpr int kRetryMilliseconds = 2;  // how often the frame wait offers pending bytes again

// A terminal behind a kernel queue of capacity bytes, taking them from the queue at rate bytes
// a second: what the writer hands over lands in the queue as far as there is room.
struct SlowTerminal {
    size_t capacity;
    double rate;
    std::string taken;  // every byte the terminal has taken, in order
    std::string queue;
    double credit = 0;
    int writes = 0;

    void advance(int milliseconds) {
        credit += rate * milliseconds / 1000.0;
        const size_t n = std::min(queue.size(), static_cast<size_t>(credit));
        taken.append(queue, 0, n);
        queue.erase(0, n);
        credit = queue.empty() ? 0 : credit - static_cast<double>(n);
    }
    static size_t write(void* context, const char* bytes, size_t length) {
        auto* terminal = static_cast<SlowTerminal*>(context);
        ++terminal->writes;
        const size_t n = std::min(length, terminal->capacity - terminal->queue.size());
        terminal->queue.append(bytes, n);
        return n;
    }
    TerminalWriter writer() { return {write, this}; }
};

// Like the demo's frames: some tens to hundreds of cells change each, within an area of 600
// cells that moves on now and then, as a scene's moving parts do.
CellFrame nextFrame(const CellFrame& before, int n, std::mt19937& random) {
    CellFrame frame = before;
    const int changes = 50 + n * 37 % 200;
    const int area = n / 50 * 600 % (kScreenCells - 600);
    for (int k = 0; k < changes; ++k)
        frame.cells[area + random() % 600] = static_cast<uint16_t>(random());
    return frame;
}

ModelColour trueColour(ConsoleRgb rgb) {
    return ModelColour{-1, rgb.red, rgb.green, rgb.blue};
}

bool modelShows(const TerminalModel& model, const CellFrame& frame) {
    for (int k = 0; k < kScreenCells; ++k) {
        const int attribute = cellAttribute(frame.cells[k]);
        const ModelCell& cell = model.at(k % kScreenColumns, k / kScreenColumns);
        if (cell.glyph != kCp437CodePoints[cellCharacter(frame.cells[k])] ||
            cell.foreground != trueColour(consoleColourRgb(attribute & 15)) ||
            cell.background != trueColour(consoleColourRgb(attribute >> 4)))
            return false;
    }
    return true;
}

// The colours of the upper and lower half of a picture's character.
std::pair<ModelColour, ModelColour> halves(const ModelCell& cell) {
    if (cell.glyph == U'\u2580') return {cell.foreground, cell.background};
    if (cell.glyph == U'\u2584') return {cell.background, cell.foreground};
    if (cell.glyph == U'\u2588') return {cell.foreground, cell.foreground};
    return {cell.background, cell.background};
}

// The frame loop against a terminal: a frame computed every 40 ms, each handed to the
// presenter, and the pending bytes offered every 2 ms in between. Follows which frame the
// terminal shows, replaying its bytes through the model whenever a frame is whole.
struct PresentedRun {
    SlowTerminal terminal;
    TerminalPresenter presenter;
    TerminalModel model{80, 50};
    std::vector<CellFrame> frames;             // frames[n]: the frame computed at tick n
    std::vector<std::pair<size_t, int>> ends;  // where each encoded frame ends in the stream
    size_t replayed = 0;
    int shown = -1;
    int mostWrites = 0;

    PresentedRun(size_t capacity, double rate) : terminal{capacity, rate, {}, {}} {
        reserveTerminalPresenter(presenter);
    }
    size_t streamPosition() const {
        return terminal.taken.size() + terminal.queue.size() + presenter.bytes.size() -
               presenter.sent;
    }
    // Replays the bytes taken up to each whole frame and checks the terminal shows it.
    void follow() {
        for (const auto& [end, n] : ends) {
            if (end <= replayed || end > terminal.taken.size()) continue;
            model.feed(terminal.taken.substr(replayed, end - replayed));
            replayed = end;
            ASSERT_FALSE(model.syncOpen());
            ASSERT_TRUE(modelShows(model, frames[static_cast<size_t>(n)])) << "frame " << n;
            shown = n;
        }
    }
    bool tick(int n, int columns = 80, int rows = 50) {
        terminal.writes = 0;
        const bool encoded = presentFrame(presenter, frames[static_cast<size_t>(n)], columns, rows,
                                          ColourMode::TrueColour, terminal.writer());
        mostWrites = std::max(mostWrites, terminal.writes);
        if (encoded) ends.emplace_back(streamPosition(), n);
        for (int t = 0; t < kFrameMilliseconds; t += kRetryMilliseconds) {
            terminal.advance(kRetryMilliseconds);
            terminal.writes = 0;
            flushPending(presenter, terminal.writer());
            mostWrites = std::max(mostWrites, terminal.writes);
        }
        return encoded;
    }
    void computeFrames(int count) {
        std::mt19937 random(17);
        frames.push_back(CellFrame{});
        for (int n = 1; n < count; ++n)
            frames.push_back(nextFrame(frames.back(), n, random));
    }
};

}  // namespace

TEST(TerminalPresenter, ASlowTerminalShowsARecentFrameWhole) {
    constexpr size_t kQueue = 16384;
    constexpr double kRate = 40000;
    PresentedRun run(kQueue, kRate);
    run.computeFrames(500);     // 20 s
    std::vector<int> trailing;  // at each tick, the frames between the one computed and shown
    for (int n = 0; n < 500; ++n) {
        if (n == 250) {
            // A title set while a frame is pending follows that frame.
            ASSERT_TRUE(hasPendingBytes(run.presenter));
            std::string title;
            appendTitleSequence("half way", title);
            queueBytes(run.presenter, title.data(), title.size(), run.terminal.writer());
        }
        run.tick(n);
        ASSERT_NO_FATAL_FAILURE(run.follow());
        trailing.push_back(run.shown < 0 ? 0 : n - run.shown);
    }
    // A frame is encoded once the one before is handed over whole, behind a full queue at
    // worst; it is shown once the queue and its own bytes are taken. Until then the one before
    // it shows: at most two queues and two frames behind, and a tick for each frame's wait.
    size_t largestFrame = 0;
    for (size_t k = 1; k < run.ends.size(); ++k)
        largestFrame = std::max(largestFrame, run.ends[k].first - run.ends[k - 1].first);
    const double bound = 2.0 * (kQueue + largestFrame) / kRate + 2 * kFrameMilliseconds / 1000.0;
    const int worst = *std::max_element(trailing.begin(), trailing.end());
    EXPECT_LE(worst * kFrameMilliseconds / 1000.0, bound);
    EXPECT_GT(worst * kFrameMilliseconds / 1000.0, 0.3);  // slow enough to matter
    // And it does not grow: the second half trails no more than the first.
    EXPECT_LE(*std::max_element(trailing.begin() + 250, trailing.end()),
              *std::max_element(trailing.begin(), trailing.begin() + 250) + 2);
    // At 40 KB/s most frames are passed over, and the picture still moves on.
    EXPECT_LT(run.ends.size(), 250u);
    EXPECT_GT(run.ends.size(), 40u);
    EXPECT_EQ(run.model.title(), "half way");
    // The writer was offered bytes only until the terminal took none: the loop never waits.
    EXPECT_LE(run.mostWrites, 2);
}

TEST(TerminalPresenter, ATerminalThatKeepsUpGetsEveryFrame) {
    PresentedRun run(16384, 4e6);
    run.computeFrames(300);
    for (int n = 0; n < 300; ++n) {
        ASSERT_TRUE(run.tick(n)) << "frame " << n << " passed over";
        ASSERT_NO_FATAL_FAILURE(run.follow());
        ASSERT_EQ(run.shown, n);
    }
}

TEST(TerminalPresenter, AResizeWhileBytesArePendingRedrawsOnceWhole) {
    PresentedRun run(16384, 40000);
    run.computeFrames(60);
    int resizedAt = -1;
    for (int n = 0; n < 30; ++n) {
        run.tick(n);
        ASSERT_NO_FATAL_FAILURE(run.follow());
        if (n > 10 && hasPendingBytes(run.presenter)) {
            resizedAt = n;
            break;
        }
    }
    ASSERT_GE(resizedAt, 0);
    // The frame under way is finished for the old size; the first frame after it clears the
    // terminal and draws the whole picture once at the new size.
    const size_t oldFramesEnd = run.ends.back().first;
    for (int n = resizedAt + 1; n < 60; ++n)
        run.tick(n, 80, 25);
    // The last frame stays until all of it is shown.
    for (int k = 0; k < 100 && !run.tick(59, 80, 25); ++k) {
    }
    for (int k = 0; k < 100 && hasPendingBytes(run.presenter); ++k)
        run.tick(59, 80, 25);
    run.terminal.advance(10000);
    ASSERT_FALSE(hasPendingBytes(run.presenter));
    ASSERT_TRUE(run.terminal.queue.empty());

    const std::string& stream = run.terminal.taken;
    TerminalModel before(80, 50);
    before.feed(stream.substr(0, oldFramesEnd));
    EXPECT_FALSE(before.syncOpen());
    const std::string after = stream.substr(oldFramesEnd);
    size_t clears = 0;
    for (size_t at = after.find("\x1b[2J"); at != std::string::npos;
         at = after.find("\x1b[2J", at + 1))
        ++clears;
    EXPECT_EQ(clears, 1u);
    TerminalModel resized(80, 25);  // throws if anything lands outside
    resized.feed(after);
    const CellFrame& last = run.frames[59];
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 80; ++column) {
            const uint16_t* upper = last.cells + 2 * row * 80 + column;
            ASSERT_EQ(halves(resized.at(column, row)),
                      std::make_pair(trueColour(averageCellColour(upper[0])),
                                     trueColour(averageCellColour(upper[80]))))
                << column << "," << row;
        }
}
