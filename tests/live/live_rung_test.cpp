// The live look at a fixed rung: the live show's own frames at that rung and
// frame time are the frames `--capture --rung` makes, and its history starts
// afresh after a jump and at a scene switch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "anim/show_replay.h"
#include "demo/image_file.h"
#include "demo/surface.h"
#include "support/test_demo.h"
#include "live/show_controls.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace {

constexpr int viewWidth = 80, viewHeight = 60;
const char* const rung = "1@224x168";

DemoOptions smallView() {
    DemoOptions options = quietDemoOptions();
    options.pictureWidth = viewWidth;
    options.pictureHeight = viewHeight;
    return options;
}

float longestHistory(const Demo& demo) {
    float longest = 0.0f;
    for (const float length : demo.reconstruction().historyLength()) longest = std::max(longest, length);
    return longest;
}

}  // namespace

TEST(LiveRung, TheLiveShowsFramesAtARungAreThoseOfACaptureAtThatRung) {
    if (programPath().empty()) GTEST_SKIP() << "the program is not part of this build";
    const std::string dir = scratchDir("live_rung");
    const ProgramResult capture =
        runProgram({programPath(), "--capture", dir + "/frames", "--rung", rung, "--fps", "30", "--from", "0", "--to",
                    "0.2", "--size", "80x60", "--no-overlays", "--backend", "cpu", "--data", sourceDir() + "/data"});
    ASSERT_EQ(capture.exitCode, 0) << capture.output;

    TestDemo live(smallView());
    Demo& demo = live.demo;
    const std::vector<uint32_t>& pixels = live.pixels;
    std::string error;
    demo.setRenderSetting(*findRung(rung, PictureReuse::Temporal));
    ShowControls controls;
    // The live loop gives the first tick 0 ms and every later one the frame's time.
    const float frameMs = 1000.0f / 30.0f;
    for (int tick = 0; tick <= 5; ++tick) {
        SCOPED_TRACE(tick);
        ASSERT_EQ(tickLiveShow(demo, controls, tick == 0 ? 0.0f : frameMs, error), TickResult::Running) << error;
        EXPECT_TRUE(demo.reconstructs());
        Image frame;
        char name[32];
        std::snprintf(name, sizeof name, "/frames/frame_%05d.png", tick);
        ASSERT_TRUE(loadImage(dir + name, frame, error)) << error;
        int differing = 0;
        for (int y = 0; y < viewHeight; ++y)
            for (int x = 0; x < viewWidth; ++x)
                differing += (frame.surface.pixels[y * frame.surface.pitch + x] & 0xFFFFFFu) !=
                             (pixels[y * viewWidth + x] & 0xFFFFFFu);
        EXPECT_EQ(differing, 0);
    }
    EXPECT_GE(longestHistory(demo), 5.0f) << "frames of one view pile up";
}

TEST(LiveRung, AJumpAndASceneSwitchStartTheHistoryAfresh) {
    TestDemo live(smallView());
    Demo& demo = live.demo;
    std::string error;
    demo.setRenderSetting(*findRung(rung, PictureReuse::Temporal));
    ShowControls controls;
    constexpr float frameMs = 33.333333f;
    // Up to just before the pedestal scene follows the spheres (at 12.01 s).
    replayShow(demo.show, 0, 355, frameMs);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(tickLiveShow(demo, controls, frameMs, error), TickResult::Running) << error;
    EXPECT_GE(longestHistory(demo), 4.0f);
    int switchedAt = -1;
    for (int i = 0; i < 20 && switchedAt < 0; ++i) {
        const int scene = demo.show.world.frame.sceneId;
        ASSERT_EQ(tickLiveShow(demo, controls, frameMs, error), TickResult::Running) << error;
        if (demo.show.world.frame.sceneId != scene) switchedAt = i;
    }
    ASSERT_GE(switchedAt, 0) << "the scene switched";
    EXPECT_EQ(longestHistory(demo), 1.0f) << "nothing of the spheres scene carried into the pedestal scene";
    for (int i = 0; i < 3; ++i) ASSERT_EQ(tickLiveShow(demo, controls, frameMs, error), TickResult::Running) << error;
    EXPECT_GE(longestHistory(demo), 3.0f);
    // A jump of five seconds within the scene: the camera hardly moved, the history must go.
    applyShowKeys(demo, controls, ShowKeys{0, 0, 1});
    ASSERT_EQ(tickLiveShow(demo, controls, frameMs, error), TickResult::Running) << error;
    EXPECT_EQ(longestHistory(demo), 1.0f);
}

// --quality clean reconstructs the full setting too; with --temporal off it
// has nothing to reconstruct with, and the full setting stays the exact frame.
TEST(LiveRung, CleanQualityReconstructsTheFullSettingAndPerFrameReuseLeavesItExact) {
    const auto frameOf = [](DemoOptions options, double& reconstructMs, bool& reconstructs) {
        TestDemo live(options);
        Demo& demo = live.demo;
        std::string error;
        replayShow(demo.show, 0, 1800, 33.333333f);
        ShowControls controls;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(tickLiveShow(demo, controls, 33.333333f, error), TickResult::Running);
        reconstructMs = demo.reconstructMs();
        reconstructs = demo.reconstructs();
        return live.pixels;
    };
    double ms = 0.0;
    bool reconstructs = false;
    const std::vector<uint32_t> exact = frameOf(smallView(), ms, reconstructs);
    EXPECT_FALSE(reconstructs);
    EXPECT_EQ(ms, 0.0);
    DemoOptions clean = smallView();
    clean.reconstructFull = true;
    const std::vector<uint32_t> cleaned = frameOf(clean, ms, reconstructs);
    EXPECT_TRUE(reconstructs);
    EXPECT_GT(ms, 0.0);
    // The same picture, made another way: close on the whole, not the same bytes.
    double sumExact = 0.0, sumClean = 0.0;
    for (size_t p = 0; p < exact.size(); ++p)
        for (const int shift : {0, 8, 16}) {
            sumExact += (exact[p] >> shift) & 0xFFu;
            sumClean += (cleaned[p] >> shift) & 0xFFu;
        }
    EXPECT_NE(exact, cleaned);
    EXPECT_NEAR(sumClean / sumExact, 1.0, 0.05);
    clean.reuse = PictureReuse::PerFrame;
    EXPECT_EQ(frameOf(clean, ms, reconstructs), exact) << "nothing to reconstruct with: the exact frame";
    EXPECT_FALSE(reconstructs);
}

// A job asks before it replays the show how many frames to render unwritten
// first: none for the exact frame (it stands alone), a second's worth at a
// rung, never more than the ticks before the first one.
TEST(LiveRung, OnlyAReconstructedPictureIsWarmedUp) {
    TestDemo live(quietDemoOptions());
    Demo& demo = live.demo;
    EXPECT_FALSE(demo.reconstructs());
    EXPECT_EQ(demo.warmUpTicks(1300, 10.0), 0);
    demo.setRenderSetting(*findRung(rung, PictureReuse::Temporal));
    EXPECT_TRUE(demo.reconstructs());
    EXPECT_EQ(demo.warmUpTicks(1300, 1000.0 / 30.0), 30);
    EXPECT_EQ(demo.warmUpTicks(1300, 10.0), 100);
    EXPECT_EQ(demo.warmUpTicks(12, 10.0), 12);
}
