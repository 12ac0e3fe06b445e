#include <gtest/gtest.h>

#include <vector>

#include "director/director.h"

namespace {

// A clock that advances one millisecond per reading, as a busy-wait sees it, and can jump.
uint32_t fakeNow = 0;
uint32_t readFakeClock() {
    return fakeNow++;
}

// Runs frames 1..count and returns the clock value at which each one started.
std::vector<uint32_t> runFrames(uint32_t t0, int count, int stallAfterFrame = 0,
                                uint32_t stall = 0) {
    fakeNow = t0;
    uint32_t next = readFakeClock();
    std::vector<uint32_t> starts;
    for (int n = 1; n <= count; ++n) {
        waitForFrame(next, readFakeClock);
        starts.push_back(fakeNow - 1);  // the reading that ended the wait
        fakeNow += 3;                   // the frame's own work
        if (n == stallAfterFrame) fakeNow += stall;
    }
    return starts;
}

TEST(Pacing, FrameStartsAtTheFirstTickAfterItsSlot) {
    const uint32_t t0 = 5000;
    std::vector<uint32_t> starts = runFrames(t0, 50);
    for (int n = 1; n <= 50; ++n)
        EXPECT_EQ(starts[n - 1], t0 + 40 * (n - 1) + 1) << n;
}

TEST(Pacing, LateFramesRunBackToBackUntilTheScheduleIsMet) {
    const uint32_t t0 = 1000;
    std::vector<uint32_t> starts = runFrames(t0, 30, 3, 300);
    // Frame 4 starts right after the stall, late; every frame runs, none is skipped.
    EXPECT_EQ(starts.size(), 30u);
    EXPECT_GT(starts[3], t0 + 40 * 3 + 1 + 200);
    int backToBack = 0;
    for (int n = 5; n <= 30; ++n) {
        uint32_t slot = t0 + 40 * (n - 1) + 1;
        if (starts[n - 1] > slot) {
            EXPECT_LT(starts[n - 1] - starts[n - 2], 10u) << "a late frame waits for nothing";
            ++backToBack;
        } else {
            EXPECT_EQ(starts[n - 1], slot) << n;
        }
    }
    EXPECT_GE(backToBack, 5);
    EXPECT_EQ(starts.back(), t0 + 40 * 29 + 1) << "back on schedule";
}

TEST(Pacing, KeepsTimeAcrossTheClockWrap) {
    const uint32_t t0 = 0xffffffffu - 100;
    std::vector<uint32_t> starts = runFrames(t0, 10);
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(starts[n - 1], t0 + 40u * (n - 1) + 1u) << n;
}

}  // namespace
