#include "terminal/terminal_presenter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "terminal/cp437.h"
#include "terminal_model.h"

namespace {

constexpr int kTick = 40;  // milliseconds a frame
constexpr int kRetry = 2;  // the frame wait offers pending bytes again this often
constexpr size_t kQueue = 16384;

ModelColour trueColour(ConsoleRgb rgb) {
    return ModelColour{-1, rgb.red, rgb.green, rgb.blue};
}

// The frame loop against a terminal that takes rate bytes a second from a kernel queue of
// kQueue bytes: a frame computed and presented every tick, pending bytes offered every 2 ms.
// Whenever the terminal has taken a whole frame its bytes are replayed through the model.
struct SlowTerminalRun {
    double rate;
    std::string taken, queue;  // bytes the terminal has taken, and those the kernel holds
    double credit = 0;
    int writes = 0, mostWrites = 0;
    TerminalPresenter presenter;
    std::vector<CellFrame> frames;             // frames[n]: computed at tick n
    std::vector<std::pair<size_t, int>> ends;  // where each frame written ends in the stream
    TerminalModel model{80, 50};
    size_t replayed = 0;
    int shown = -1;

    explicit SlowTerminalRun(double bytesPerSecond, int count) : rate(bytesPerSecond) {
        reserveTerminalPresenter(presenter);
        // Like the demo's frames: tens to hundreds of cells change, in an area that moves on.
        std::mt19937 random(17);
        frames.push_back(CellFrame{});
        for (int n = 1; n < count; ++n) {
            frames.push_back(frames.back());
            const int area = n / 50 * 600 % (kScreenCells - 600);
            for (int k = 0; k < 50 + n * 37 % 200; ++k)
                frames.back().cells[area + random() % 600] = static_cast<uint16_t>(random());
        }
    }
    static size_t write(void* context, const char* bytes, size_t length) {
        auto* run = static_cast<SlowTerminalRun*>(context);
        ++run->writes;
        const size_t n = std::min(length, kQueue - run->queue.size());
        run->queue.append(bytes, n);
        return n;
    }
    void offer(bool present, int n, int columns, int rows) {
        writes = 0;
        const TerminalWriter writer{write, this};
        if (!present) {
            flushPending(presenter, writer);
        } else if (presentFrame(presenter, frames[static_cast<size_t>(n)], columns, rows,
                                ColourMode::TrueColour, writer)) {
            ends.emplace_back(taken.size() + queue.size() + presenter.bytes.size() - presenter.sent,
                              n);
        }
        mostWrites = std::max(mostWrites, writes);
    }
    bool tick(int n, int columns = 80, int rows = 50) {
        const size_t written = ends.size();
        offer(true, n, columns, rows);
        for (int t = 0; t < kTick; t += kRetry) {
            credit += rate * kRetry / 1000.0;
            const size_t k = std::min(queue.size(), static_cast<size_t>(credit));
            taken.append(queue, 0, k);
            queue.erase(0, k);
            credit = queue.empty() ? 0 : credit - static_cast<double>(k);
            offer(false, n, columns, rows);
        }
        return ends.size() > written;
    }
    // Replays each frame the terminal has taken whole (80 by 50) and checks that it shows it.
    void follow() {
        for (const auto& [end, n] : ends) {
            if (end <= replayed || end > taken.size()) continue;
            model.feed(taken.substr(replayed, end - replayed));
            replayed = end;
            ASSERT_FALSE(model.syncOpen());
            const CellFrame& frame = frames[static_cast<size_t>(n)];
            for (int k = 0; k < kScreenCells; ++k) {
                const ModelCell& cell = model.at(k % kScreenColumns, k / kScreenColumns);
                const int attribute = cellAttribute(frame.cells[k]);
                ASSERT_TRUE(cell.glyph == kCp437CodePoints[cellCharacter(frame.cells[k])] &&
                            cell.foreground == trueColour(consoleColourRgb(attribute & 15)) &&
                            cell.background == trueColour(consoleColourRgb(attribute >> 4)))
                    << "frame " << n << " cell " << k;
            }
            shown = n;
        }
    }
};

}  // namespace

TEST(TerminalPresenter, ASlowTerminalShowsARecentFrameWholeAndAFastOneEveryFrame) {
    SlowTerminalRun slow(40000, 500);  // 20 s at 40 KB/s
    std::vector<int> trailing;         // at each tick, frames between computed and shown
    for (int n = 0; n < 500; ++n) {
        if (n == 250) {
            // A title set while a frame is pending follows that frame.
            ASSERT_TRUE(hasPendingBytes(slow.presenter));
            std::string title;
            appendTitleSequence("half way", title);
            queueBytes(slow.presenter, title.data(), title.size(), {SlowTerminalRun::write, &slow});
        }
        slow.tick(n);
        ASSERT_NO_FATAL_FAILURE(slow.follow());
        trailing.push_back(slow.shown < 0 ? 0 : n - slow.shown);
    }
    // A frame is written once the one before is handed over whole, behind a full queue at
    // worst, and shows once the queue and its own bytes are taken; until then the one before
    // shows. So the frame shown trails by at most two queues and frames, and a tick each.
    size_t largest = 0;
    for (size_t k = 1; k < slow.ends.size(); ++k)
        largest = std::max(largest, slow.ends[k].first - slow.ends[k - 1].first);
    const int worst = *std::max_element(trailing.begin(), trailing.end());
    EXPECT_LE(worst * kTick / 1000.0, 2.0 * (kQueue + largest) / slow.rate + 2 * kTick / 1000.0);
    EXPECT_GT(worst * kTick / 1000.0, 0.3);  // slow enough to matter
    // It does not grow, and most frames are passed over.
    EXPECT_LE(*std::max_element(trailing.begin() + 250, trailing.end()),
              *std::max_element(trailing.begin(), trailing.begin() + 250) + 2);
    EXPECT_LT(slow.ends.size(), 250u);
    EXPECT_EQ(slow.model.title(), "half way");
    // The writer is offered bytes only until it takes none: the loop never waits.
    EXPECT_LE(slow.mostWrites, 2);

    SlowTerminalRun fast(4e6, 300);
    for (int n = 0; n < 300; ++n) {
        ASSERT_TRUE(fast.tick(n)) << "frame " << n << " passed over";
        ASSERT_NO_FATAL_FAILURE(fast.follow());
        ASSERT_EQ(fast.shown, n);
    }
}

TEST(TerminalPresenter, AResizeWhileBytesArePendingRedrawsOnceWhole) {
    SlowTerminalRun run(40000, 60);
    int n = 0;
    while (n < 10 || !hasPendingBytes(run.presenter)) {
        ASSERT_LT(n, 30);
        run.tick(n++);
    }
    // The frame under way is finished for the old size, then the newest frame is drawn whole
    // at the new size; the last frame stays until all of it shows.
    const size_t oldFramesEnd = run.ends.back().first;
    while (n < 60)
        run.tick(n++, 80, 25);
    for (int k = 0; k < 100 && !run.tick(59, 80, 25); ++k) {
    }
    for (int k = 0; k < 100 && (hasPendingBytes(run.presenter) || !run.queue.empty()); ++k)
        run.tick(59, 80, 25);
    ASSERT_TRUE(run.queue.empty());

    TerminalModel before(80, 50);
    before.feed(run.taken.substr(0, oldFramesEnd));
    EXPECT_FALSE(before.syncOpen());
    const std::string after = run.taken.substr(oldFramesEnd);
    EXPECT_EQ(after.find("\x1b[2J"), after.rfind("\x1b[2J"));
    TerminalModel resized(80, 25);  // throws if anything lands outside
    resized.feed(after);
    for (int k = 0; k < kScreenCells / 2; ++k) {
        const ModelCell& cell = resized.at(k % 80, k / 80);
        const uint16_t* upper = run.frames[59].cells + (k / 80) * 160 + k % 80;
        const ModelColour top = trueColour(averageCellColour(upper[0]));
        const ModelColour bottom = trueColour(averageCellColour(upper[80]));
        // Upper half block, lower half block, full block or blank.
        const bool shows =
            cell.glyph == U'\u2580'   ? cell.foreground == top && cell.background == bottom
            : cell.glyph == U'\u2584' ? cell.background == top && cell.foreground == bottom
            : cell.glyph == U'\u2588' ? cell.foreground == top && top == bottom
                                      : cell.background == top && top == bottom;
        ASSERT_TRUE(shows) << k;
    }
}
