// Pause, jumps and the readout of the live show, on a Demo without a window.
#include "live/show_controls.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "anim/show_clock.h"
#include "demo/readout_font.h"
#include "demo/surface.h"
#include "support/test_demo.h"

namespace {

testing::AssertionResult sameShow(const ShowState& a, const ShowState& b) {
    if (a.demoTime != b.demoTime) return testing::AssertionFailure() << a.demoTime << " s against " << b.demoTime;
    if (std::memcmp(&a.world.frame, &b.world.frame, sizeof(FrameData)) != 0)
        return testing::AssertionFailure() << "the scene records differ";
    if (std::memcmp(&a.camera, &b.camera, sizeof(Camera)) != 0) return testing::AssertionFailure() << "cameras differ";
    if (std::memcmp(&a.choreography, &b.choreography, sizeof(Choreography)) != 0)
        return testing::AssertionFailure() << "choreography differs";
    return testing::AssertionSuccess();
}

constexpr ShowKeys pausePress{1, 0, 0}, readoutPress{0, 1, 0};
ShowKeys seek(int steps) {
    return ShowKeys{0, 0, steps};
}

}  // namespace

// The keys themselves, and the readout's text, through the program: tests/live/show_controls_program_test.cpp.
TEST(ShowControls, PauseHoldsTheMomentThroughLongFramesAndResumeGoesOnFromIt) {
    TestDemo live(quietDemoOptions());
    Demo& demo = live.demo;
    FrameDriver& driver = live.driver;
    std::vector<uint32_t>& pixels = live.pixels;
    std::string error;
    ShowControls controls;
    skipAhead(demo, 13.0);
    // A slow frame: several of the choreography's step boundaries fall due at once,
    // and each tick crosses only one.
    ASSERT_EQ(tickLiveShow(demo, controls, 5000.0f, error), TickResult::Running) << error;
    ASSERT_GE(demo.show.choreography.stepProgress, 2.0f);
    const float pausedTime = demo.show.demoTime;

    applyShowKeys(demo, controls, pausePress);
    ASSERT_TRUE(controls.paused);
    const int pass = driver.passCounter();
    ASSERT_EQ(tickLiveShow(demo, controls, 5000.0f, error), TickResult::Running) << error;
    const ShowState firstPausedFrame = demo.show;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(tickLiveShow(demo, controls, 5000.0f, error), TickResult::Running) << error;
        EXPECT_TRUE(sameShow(demo.show, firstPausedFrame)) << "paused frame " << i + 2;
    }
    EXPECT_EQ(demo.show.demoTime, pausedTime);
    EXPECT_EQ(driver.passCounter(), pass + 3) << "each paused frame renders the next pass";

    // The readout goes over the picture only while it is on, in the top-left corner.
    const std::vector<uint32_t> picture = pixels;
    finishFrame(demo, controls, 80.0);
    EXPECT_EQ(pixels, picture);
    applyShowKeys(demo, controls, readoutPress);
    finishFrame(demo, controls, 80.0);
    int white = 0, changedFarAway = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            white += x < 320 && y < 60 && pixels[y * 640 + x] == textColour;
            changedFarAway += (x >= 320 || y >= 60 || x < 4 || y < 4) && pixels[y * 640 + x] != picture[y * 640 + x];
        }
    EXPECT_GT(white, 200);
    EXPECT_EQ(changedFarAway, 0);

    applyShowKeys(demo, controls, pausePress);
    EXPECT_FALSE(controls.paused);
    // The readout reads what was rendered, also when frames are made smaller.
    const RenderSetting& least = liveSettings().back();
    demo.setRenderSetting(least);
    ASSERT_EQ(tickLiveShow(demo, controls, 40.0f, error), TickResult::Running) << error;
    EXPECT_EQ(demo.show.demoTime, advanceClock(pausedTime, 40.0f));
    EXPECT_EQ(readoutFor(demo, controls)[1], std::to_string(least.samples) + " spp  " + std::to_string(least.width) +
                                                 "x" + std::to_string(least.height));
}

TEST(ShowControls, JumpsFiveSecondsWithinTheShowAndBackReplaysFromTheStart) {
    TestDemo live(quietDemoOptions()), startedAfresh(quietDemoOptions());
    Demo &demo = live.demo, &fresh = startedAfresh.demo;
    std::string error;
    const ShowState start = fresh.show;
    ShowControls controls;
    skipAhead(demo, 20.0);
    for (float dtMs : {37.5f, 16.7f, 250.0f}) demo.advance(dtMs);  // live frames of any length
    const float before = demo.show.demoTime;
    applyShowKeys(demo, controls, seek(1));
    EXPECT_NEAR(demo.show.demoTime, before + 5.0f, 0.0101f);

    // Back is a fresh start skipped ahead in the headless steps, the same as --start.
    const double target = demo.show.demoTime - 3 * seekStepSeconds;
    applyShowKeys(demo, controls, seek(-3));
    skipAhead(fresh, target);
    EXPECT_TRUE(sameShow(demo.show, fresh.show));

    applyShowKeys(demo, controls, seek(-4));
    EXPECT_TRUE(sameShow(demo.show, start)) << "clamped to the start";

    // A jump while paused stays paused at the new moment; past the end it stops at the end.
    applyShowKeys(demo, controls, pausePress);
    applyShowKeys(demo, controls, seek(30));
    EXPECT_TRUE(controls.paused);
    EXPECT_GE(demo.show.demoTime, showLengthSeconds);
    EXPECT_LT(demo.show.demoTime, showLengthSeconds + 0.0101f);
    EXPECT_TRUE(sameShow(controls.pausedAt, demo.show));
    EXPECT_EQ(tickLiveShow(demo, controls, 0.0f, error), TickResult::ShowOver) << error;
}

TEST(Readout, SmoothsTheRateAndReadsTheRenderedRecord) {
    FrameRateMeter meter;
    EXPECT_EQ(framesPerSecond(meter), 0.0);
    for (int i = 0; i < 5; ++i) noteFrameTime(meter, 50.0);
    EXPECT_DOUBLE_EQ(framesPerSecond(meter), 20.0);
    noteFrameTime(meter, 1050.0);  // one stall moves the rate a tenth of the way
    EXPECT_DOUBLE_EQ(framesPerSecond(meter), 1000.0 / 150.0);

    FrameData record{};
    record.samplesPerFrame = 8;
    record.width = 320;
    record.height = 240;
    const std::vector<std::string> lines = readoutLines(meter, record, "CPU, 2 threads", 13.256f, true);
    const std::vector<std::string> expected{"6.7 fps  1050.0 ms", "8 spp  320x240", "CPU, 2 threads",
                                            "t 13.26 s  paused"};
    EXPECT_EQ(lines, expected);
}
