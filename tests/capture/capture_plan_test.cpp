#include "app/capture_plan.h"

#include <gtest/gtest.h>

#include "demo/game.h"

namespace {

// The demo clock after `ticks` ticks, accumulated the way Game::advance does it.
float clockAfter(const CapturePlan& plan, int tick) {
    Game game;
    for (int k = 0; k <= tick; ++k) game.demoTime += plan.tickMs(k) * 0.001f;
    return game.demoTime;
}

}  // namespace

TEST(CapturePlan, WholeShowEndsOnTheLastTickThatIsPresented) {
    for (int fps : {60, 30, 25, 10, 7}) {
        CapturePlan plan;
        std::string error;
        ASSERT_TRUE(planCapture(fps, 0.0, 106.0, showLengthSeconds, plan, error)) << error;
        EXPECT_EQ(plan.firstTick, 0);
        EXPECT_EQ(plan.lastTick, plan.lastShowTick);
        EXPECT_FLOAT_EQ(plan.frameMs, 1000.0f / fps);
        EXPECT_EQ(plan.tickMs(0), 0.0f);
        // The last frame is on the clock; the next tick is the one that ends the show.
        EXPECT_LE(clockAfter(plan, plan.lastTick), showLengthSeconds) << fps;
        EXPECT_GT(clockAfter(plan, plan.lastTick + 1), showLengthSeconds) << fps;
        EXPECT_NEAR(plan.durationSeconds(), 106.0, 1.0 / fps + 1e-9) << fps;
    }
}

TEST(CapturePlan, PartsIncludeBothEndsAndMeasureFromTheirFirstFrame) {
    CapturePlan plan;
    std::string error;
    ASSERT_TRUE(planCapture(10, 12.0, 12.3, showLengthSeconds, plan, error)) << error;
    EXPECT_EQ(plan.firstTick, 120);
    EXPECT_EQ(plan.lastTick, 123);
    EXPECT_EQ(plan.frameCount(), 4);
    EXPECT_DOUBLE_EQ(plan.startSeconds(), 12.0);
    EXPECT_DOUBLE_EQ(plan.durationSeconds(), 0.4);

    // A start between two ticks begins at the next one.
    ASSERT_TRUE(planCapture(60, 1.001, 1.05, showLengthSeconds, plan, error)) << error;
    EXPECT_EQ(plan.firstTick, 61);
    EXPECT_EQ(plan.lastTick, 63);

    // A single moment, and an end past the show clipped to the show.
    ASSERT_TRUE(planCapture(60, 50.0, 50.0, showLengthSeconds, plan, error)) << error;
    EXPECT_EQ(plan.frameCount(), 1);
    ASSERT_TRUE(planCapture(60, 105.95, 500.0, showLengthSeconds, plan, error)) << error;
    EXPECT_EQ(plan.lastTick, plan.lastShowTick);
}

TEST(CapturePlan, RejectsBadRatesAndEmptyParts) {
    CapturePlan plan;
    std::string error;
    EXPECT_FALSE(planCapture(0, 0.0, 106.0, showLengthSeconds, plan, error));
    EXPECT_FALSE(planCapture(-5, 0.0, 106.0, showLengthSeconds, plan, error));
    EXPECT_FALSE(planCapture(60, 20.0, 10.0, showLengthSeconds, plan, error));
    EXPECT_FALSE(planCapture(60, -1.0, 10.0, showLengthSeconds, plan, error));
    EXPECT_FALSE(planCapture(10, 12.01, 12.09, showLengthSeconds, plan, error));  // no tick inside
    EXPECT_FALSE(planCapture(60, 107.0, 108.0, showLengthSeconds, plan, error));
    EXPECT_FALSE(planCapture(60, 1e300, 1e301, showLengthSeconds, plan, error));
    EXPECT_FALSE(error.empty());
}
