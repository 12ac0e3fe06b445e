#include <gtest/gtest.h>

#include <vector>

#include "director/director.h"

namespace {

// A clock that advances one millisecond per reading, as a busy-wait sees it, and jumps when
// the wait sleeps or the process is stopped.
uint32_t fakeNow = 0;
int clockReadings = 0;
int sleeps = 0;
uint32_t pendingStop = 0;

uint32_t readFakeClock() {
    ++clockReadings;
    return fakeNow++;
}
void sleepFakeUntil(uint32_t tick) {
    ++sleeps;
    if (static_cast<int32_t>(tick - fakeNow) > 0) fakeNow = tick;
}
void pollInstead(uint32_t) {}  // the Windows wait: read the clock again at once
uint32_t takeFakeStop() {
    uint32_t stopped = pendingStop;
    pendingStop = 0;
    return stopped;
}

constexpr FrameClock kSleepingWait{readFakeClock, sleepFakeUntil, takeFakeStop};
constexpr FrameClock kPollingWait{readFakeClock, pollInstead, takeFakeStop};

struct FrameRun {
    std::vector<uint32_t> starts;   // the clock reading that ended each frame's wait
    std::vector<int> sleepsBefore;  // sleeps in each frame's wait
};

// Runs frames 1..count from t0; after frame pauseAfter, the frame's work takes pause more
// milliseconds, of which stopped were spent stopped by job control.
FrameRun runFrames(const FrameClock& clock, uint32_t t0, int count, int pauseAfter = 0,
                   uint32_t pause = 0, uint32_t stopped = 0) {
    fakeNow = t0;
    uint32_t next = readFakeClock();
    FrameRun run;
    for (int n = 1; n <= count; ++n) {
        const int sleepsSoFar = sleeps;
        waitForFrame(next, clock);
        run.starts.push_back(fakeNow - 1);
        run.sleepsBefore.push_back(sleeps - sleepsSoFar);
        fakeNow += 3;  // the frame's own work
        if (n == pauseAfter) {
            fakeNow += pause;
            pendingStop = stopped;
        }
    }
    return run;
}

TEST(Pacing, FrameStartsAtTheFirstTickAfterItsSlot) {
    for (const FrameClock* clock : {&kSleepingWait, &kPollingWait}) {
        for (uint32_t t0 : {5000u, 0xffffffffu - 100}) {  // the second crosses the clock's wrap
            FrameRun run = runFrames(*clock, t0, 50);
            for (int n = 1; n <= 50; ++n)
                ASSERT_EQ(run.starts[n - 1], t0 + 40u * (n - 1) + 1u) << n;
        }
    }
}

TEST(Pacing, TheSleepingWaitReadsTheClockOnlyAroundOneSleep) {
    clockReadings = 0;
    FrameRun run = runFrames(kSleepingWait, 1000, 20);
    EXPECT_LE(clockReadings, 1 + 2 * 20);
    for (int n = 2; n <= 20; ++n)
        EXPECT_EQ(run.sleepsBefore[n - 1], 1) << n;
}

TEST(Pacing, LateFramesRunBackToBackWithoutSleepingUntilTheScheduleIsMet) {
    for (const FrameClock* clock : {&kSleepingWait, &kPollingWait}) {
        const uint32_t t0 = 1000;
        FrameRun run = runFrames(*clock, t0, 30, 3, 300);
        // Frame 4 starts right after the stall, late; every frame runs, none is skipped.
        ASSERT_EQ(run.starts.size(), 30u);
        EXPECT_GT(run.starts[3], t0 + 40 * 3 + 1 + 200);
        EXPECT_EQ(run.sleepsBefore[3], 0);
        int backToBack = 0;
        for (int n = 5; n <= 30; ++n) {
            uint32_t slot = t0 + 40 * (n - 1) + 1;
            if (run.starts[n - 1] > slot) {
                EXPECT_LT(run.starts[n - 1] - run.starts[n - 2], 10u) << "a late frame waits";
                EXPECT_EQ(run.sleepsBefore[n - 1], 0) << "a late frame sleeps";
                ++backToBack;
            } else {
                EXPECT_EQ(run.starts[n - 1], slot) << n;
            }
        }
        EXPECT_GE(backToBack, 5);
        EXPECT_EQ(run.starts.back(), t0 + 40 * 29 + 1) << "back on schedule";
    }
}

TEST(Pacing, TimeSpentStoppedMovesTheScheduleOnAndLatenessDoesNot) {
    const uint32_t t0 = 1000;
    // Stopped for 6 s after frame 10: from frame 11 on the frames keep their 40 ms steps,
    // 6 s later than the schedule before the stop, none of them late.
    FrameRun stopped = runFrames(kSleepingWait, t0, 40, 10, 6000, 6000);
    for (int n = 11; n <= 40; ++n)
        ASSERT_EQ(stopped.starts[n - 1], t0 + 40u * (n - 1) + 1u + 6000u) << n;

    // Merely late by 6 s: the frames catch up and return to the first schedule.
    FrameRun late = runFrames(kSleepingWait, t0, 200, 10, 6000, 0);
    EXPECT_EQ(late.starts.back(), t0 + 40u * 199 + 1u);
    EXPECT_LT(late.starts[11] - late.starts[10], 10u) << "the frame after a late one waits";
}

}  // namespace
