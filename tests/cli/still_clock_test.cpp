// Which tick a still renders, checked on the show's own single-precision clock.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "anim/show_state.h"
#include "anim/show_clock.h"
#include "outputs/still.h"
#include "support/check.h"

namespace {

TEST(ShowClock, EndsOnTheLastPresentedTickOrWhereItStopsAdvancing) {
    // At 60 frames per second the show presents 6360 frames: ticks 0 to 6359.
    ShowClockRun run = runShowClock(1000.0f / 60.0f, INT_MAX, showLengthSeconds);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.tick, 6359);
    EXPECT_LE(run.seconds, showLengthSeconds);
    EXPECT_GT(run.seconds + 1000.0f / 60.0f * 0.001f, showLengthSeconds);
    // Stopping short of the end is neither ended nor stalled.
    run = runShowClock(10.0f, 50, showLengthSeconds);
    EXPECT_EQ(run.tick, 50);
    EXPECT_FALSE(run.ended || run.stalled);
    EXPECT_NEAR(run.seconds, 0.5f, 1e-6f);
    // A frame time too small to move the clock.
    run = runShowClock(0.0f, INT_MAX, showLengthSeconds);
    EXPECT_TRUE(run.stalled);
    EXPECT_EQ(run.tick, 0);
    run = runShowClock(1e-4f, INT_MAX, showLengthSeconds);
    EXPECT_TRUE(run.stalled);
    EXPECT_LT(run.seconds, 10.0f);
}

TEST(StillTick, EveryFrameOfTheShowAtTheUsualFrameTimesKeepsItsTick) {
    for (double dtMs : {10.0, 40.0, 1000.0 / 60.0}) {
        const int lastTick = runShowClock(static_cast<float>(dtMs), INT_MAX, showLengthSeconds).tick;
        for (int k = 0; k <= lastTick; k += 7) {
            int tick = -1;
            std::string error;
            ASSERT_TRUE(stillTick(k * dtMs / 1000.0, dtMs, tick, error)) << dtMs << " ms, tick " << k << ": " << error;
            ASSERT_EQ(tick, k) << dtMs;
        }
        int tick = -1;
        std::string error;
        EXPECT_TRUE(stillTick(lastTick * dtMs / 1000.0, dtMs, tick, error)) << error;
        EXPECT_FALSE(stillTick((lastTick + 1) * dtMs / 1000.0, dtMs, tick, error)) << dtMs;
    }
    // Moments between two frames go to the nearer one, a tie to the later.
    int tick = -1;
    std::string error;
    for (auto [seconds, expected] : {std::pair{0.005, 1}, {13.004, 1300}, {13.006, 1301}, {0.0, 0}}) {
        ASSERT_TRUE(stillTick(seconds, 10.0, tick, error)) << seconds << ": " << error;
        EXPECT_EQ(tick, expected) << seconds;
    }
}

// Frame times whose ticks cannot reach the moment are refused with the allowed range.
TEST(StillTick, RefusesTicksTheShowsClockCannotReach) {
    const std::vector<std::tuple<double, double, std::string>> cases = {
        {50, 1e-6, "beyond the limit of 10000000 ticks: for that moment --dt must be from 0.005 to 10000 ms"},
        {106, 0.01, "beyond the limit of 10000000 ticks"},
        {106, 1e-300, "beyond the limit"},
        {60, 0.01, "the show's clock reads 62.72"},
        {0.9, 1e-4, "more than half a frame from 0.9 s (it must be within 5e-08 s)"},
        {106, 10, "the still must be from 0 to 105.99 s"},
        {105.995, 10, "the still must be from 0 to 105.99 s"},
        {106, 1000.0 / 60.0, "the still must be from 0 to 105.983 s"},
        {1e-47, 1e-44, "the show's clock stops advancing at 0.000000 s (tick 0)"},
    };
    for (const auto& [seconds, dtMs, reason] : cases) {
        int tick = -1;
        std::string error;
        EXPECT_FALSE(stillTick(seconds, dtMs, tick, error)) << seconds << " at " << dtMs;
        EXPECT_TRUE(contains(error, reason)) << seconds << " at " << dtMs;
        EXPECT_EQ(tick, -1);
    }
}

}  // namespace
