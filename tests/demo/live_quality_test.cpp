// The live show's quality steps, driven by made-up frame times (no clock).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "demo/live_quality.h"
#include "kernel/build_setting.h"

TEST(LiveQuality, RungsStartAtTheFullFrameAndStepDownTheWork) {
    for (const PictureReuse reuse : {PictureReuse::Temporal, PictureReuse::PerFrame}) {
        const bool temporal = reuse == PictureReuse::Temporal;
        SCOPED_TRACE(temporal ? "temporal" : "per frame");
        const std::vector<RenderSetting>& all = liveSettings(reuse);
        ASSERT_GE(all.size(), 5u);
        EXPECT_EQ(all[0].samples, samplesPerFrame);
        EXPECT_EQ(all[0].width, frameWidth);
        EXPECT_EQ(all[0].height, frameHeight);
        EXPECT_EQ(all[0].denoisePasses, 0);
        for (size_t i = 1; i < all.size(); ++i) {
            SCOPED_TRACE(rungName(all[i]));
            // Per frame, never below one primary ray's four sub-paths; with
            // temporal reuse down to one sample, and samples go before pixels.
            EXPECT_GE(all[i].samples, temporal ? 1 : 4);
            EXPECT_TRUE(all[i].samples <= 2 || all[i].samples % 4 == 0) << "a whole number of primary rays";
            EXPECT_EQ(all[i].width * 3, all[i].height * 4);
            EXPECT_GT(all[i].denoisePasses, 0);
            if (temporal && all[i].width < frameWidth * 3 / 4) {
                EXPECT_EQ(all[i].samples, 1);
            }
            const double ratio = settingWork(all[i]) / settingWork(all[i - 1]);
            EXPECT_GT(ratio, temporal ? 0.45 : 0.4);
            EXPECT_LT(ratio, temporal ? 0.8 : 0.6);
            EXPECT_EQ(findRung(rungName(all[i]), reuse), &all[i]);
        }
        EXPECT_EQ(&previewSetting(reuse), &all.back());
    }
    // Which names the ladders take: tests/cli/options_test.cpp, through --rung.
    // The full setting leaves the record as it is.
    const std::vector<RenderSetting>& all = liveSettings();
    FrameData record{};
    record.width = frameWidth, record.height = frameHeight, record.invWidth = 0.0015625f;
    record.samplesPerFrame = samplesPerFrame;
    const FrameData same = applySetting(record, all[0]);
    EXPECT_EQ(std::memcmp(&same, &record, sizeof record), 0);
    const FrameData small = applySetting(record, all.back());
    EXPECT_EQ(small.width, all.back().width);
    EXPECT_EQ(small.samplesPerFrame, 1);
    EXPECT_FLOAT_EQ(small.invWidth * static_cast<float>(small.width), 1.0f);
}

TEST(LiveQuality, DropsToWhatFitsRisesStepByStepAndChangesAtMostOncePerSecond) {
    LiveQuality q(30.0, true);
    const std::vector<RenderSetting>& all = liveSettings();
    // A full frame takes 600 ms, 18 times the budget: straight down to a setting that fits.
    EXPECT_TRUE(q.frameDone(600.0, 600.0, 10.0));
    const int low = q.level();
    EXPECT_LE(600.0 * settingWork(all[low]), q.budgetMs());
    EXPECT_GT(600.0 * settingWork(all[low - 1]), q.budgetMs());
    // Within the second nothing changes, however slow or fast.
    EXPECT_FALSE(q.frameDone(200.0, 200.0, 10.5));
    EXPECT_FALSE(q.frameDone(1.0, 1.0, 10.9));
    EXPECT_EQ(q.level(), low);
    // Much faster frames: one step up per second, no more.
    double now = 11.0;
    int previous = q.level();
    while (q.level() > 0 && now < 40.0) {
        for (int i = 0; i < 10; ++i) q.frameDone(2.0, 2.0, now + 0.01 * i);
        EXPECT_GE(q.level(), previous - 1);
        previous = q.level();
        now += 1.0;
    }
    EXPECT_EQ(q.level(), 0);
    // Frames that just fit the budget keep the setting (no flicker up and down).
    LiveQuality steady(30.0, true);
    steady.frameDone(600.0, 600.0, 0.0);
    const int fits = steady.level();
    const double ms = 600.0 * settingWork(all[fits]);
    for (double t = 1.0; t < 20.0; t += 0.05) steady.frameDone(ms, ms, t);
    EXPECT_EQ(steady.level(), fits);
}

TEST(LiveQuality, StartingLowTheFirstFrameLeadsStraightToTheSettingThatFits) {
    const std::vector<RenderSetting>& all = liveSettings();
    LiveQuality q(30.0, true);
    q.startLow();
    EXPECT_EQ(q.level(), static_cast<int>(all.size()) - 1);
    // The lowest setting took 5 ms: a full frame would take about 5 / work ms.
    const double fullMs = 5.0 / settingWork(all.back());
    EXPECT_TRUE(q.frameDone(5.0, 5.0, 0.0));
    EXPECT_LT(q.level(), static_cast<int>(all.size()) - 2);  // more than one step at once
    EXPECT_LE(fullMs * settingWork(all[q.level()]), raiseHeadroom * q.budgetMs());
    EXPECT_GT(fullMs * settingWork(all[q.level() - 1]), raiseHeadroom * q.budgetMs());
    // The exact mode never changes.
    LiveQuality exact(30.0, false);
    exact.startLow();
    EXPECT_FALSE(exact.frameDone(5000.0, 5000.0, 1.0));
    EXPECT_FALSE(exact.frameDone(5000.0, 5000.0, 3.0));
    EXPECT_EQ(exact.level(), 0);
}

TEST(LiveQuality, OnlyThePictureGrowsWithTheSetting) {
    const std::vector<RenderSetting>& all = liveSettings();
    // 12 ms frames of which the picture is 2 ms: the other 10 ms stay as they are.
    LiveQuality q(30.0, true);
    q.startLow();
    q.frameDone(12.0, 2.0, 0.0);
    const double pictureFull = 2.0 / settingWork(all.back());
    const auto predicted = [&](int level) { return 10.0 + pictureFull * settingWork(all[level]); };
    EXPECT_LE(predicted(q.level()), raiseHeadroom * q.budgetMs());
    EXPECT_GT(predicted(q.level() - 1), raiseHeadroom * q.budgetMs());
    // Counting the whole 12 ms as picture would have stopped lower.
    LiveQuality whole(30.0, true);
    whole.startLow();
    whole.frameDone(12.0, 12.0, 0.0);
    EXPECT_GT(whole.level(), q.level());
}

namespace {

// A renderer whose full frame takes fullMs (fasterMs from fasterFrom seconds
// on) and a reconstruction that costs unitMs per reconstructionUnits, 2 ms
// besides: the show from its lowest setting for `seconds` at 30 frames a second. The levels of the last ten
// seconds, and their slowest frame.
struct ShowRun {
    std::vector<int> lastLevels;
    double slowestLastMs = 0.0;
};
ShowRun simulate(double fullMs, double unitMs, double seconds, double fasterFrom = 1e9, double fasterMs = 0.0) {
    const std::vector<RenderSetting>& all = liveSettings();
    LiveQuality q(30.0, true);
    q.startLow();
    ShowRun run;
    for (double t = 0.0; t < seconds; t += 1.0 / 30.0) {
        const RenderSetting& s = all[q.level()];
        const double renderMs = (t < fasterFrom ? fullMs : fasterMs) * settingWork(s);
        const double reconstructMs = unitMs * reconstructionUnits(s, q.level() > 0);
        const double frameMs = 2.0 + renderMs + reconstructMs;
        if (t >= seconds - 10.0) {
            run.lastLevels.push_back(q.level());
            run.slowestLastMs = std::max(run.slowestLastMs, frameMs);
        }
        q.frameDone(frameMs, renderMs, t, reconstructMs);
    }
    return run;
}

}  // namespace

TEST(LiveQuality, TheReconstructionGrowsWithTheRenderedPixelsAndTheExactFrameHasNone) {
    const std::vector<RenderSetting>& all = liveSettings();
    // 20 ms to reconstruct from 448 x 336: 27.9 from 544 x 408, 37 from 640 x 480.
    const double unitMs = 20.0 / reconstructionUnits(*findRung("1@448x336", PictureReuse::Temporal), true);
    EXPECT_NEAR(unitMs * reconstructionUnits(*findRung("1@544x408", PictureReuse::Temporal), true), 27.9, 0.1);
    EXPECT_EQ(reconstructionUnits(all[0], false), 0.0);

    // A renderer far too slow for the full frame (180 ms): the show settles
    // on 1@448x336 (24.8 ms) and stays there. Taken for a fixed cost, the
    // reconstruction predicted 26.1 ms at 1@544x408, which took 34 ms: up
    // and down again every second or two.
    const ShowRun slow = simulate(180.0, unitMs, 40.0);
    ASSERT_FALSE(slow.lastLevels.empty());
    EXPECT_EQ(*std::min_element(slow.lastLevels.begin(), slow.lastLevels.end()),
              *std::max_element(slow.lastLevels.begin(), slow.lastLevels.end()));
    EXPECT_LE(slow.slowestLastMs, 1000.0 / 30.0);
    EXPECT_EQ(all[slow.lastLevels.back()].width, 448);

    // A renderer whose full frame takes 10 ms: the exact frame (12 ms, no
    // reconstruction) fits, though the rungs just below it would not; found
    // by the first measure, and by a show that had to start lower (the
    // renderer was slow for its first 5 s).
    for (const double fasterFrom : {0.0, 5.0}) {
        const ShowRun fast = simulate(180.0, unitMs, 40.0, fasterFrom, 10.0);
        EXPECT_EQ(fast.lastLevels.back(), 0) << "faster from " << fasterFrom << " s";
        EXPECT_LE(fast.slowestLastMs, 1000.0 / 30.0) << "faster from " << fasterFrom << " s";
    }
}

TEST(LiveQuality, AWindowLargerThanTheFrameOffersTheFullSamplesAtItsSize) {
    const auto isFull = [](const RenderSetting& s) {
        return s.samples == samplesPerFrame && s.width == frameWidth && s.height == frameHeight;
    };
    // A renderer whose full frame takes fullMs, 2 ms besides, for three seconds.
    const auto run = [](LiveQuality& q, double fullMs, double from) {
        for (double t = from; t < from + 3.0; t += 1.0 / 30.0) {
            const double renderMs = fullMs * settingWork(q.setting());
            q.frameDone(2.0 + renderMs, renderMs, t);
        }
    };
    LiveQuality q(30.0, true);
    EXPECT_FALSE(q.setWindowPicture(1280, 960));
    EXPECT_TRUE(isFull(q.setting()));
    EXPECT_FALSE(q.aboveFull());
    // 4 ms a full frame: four times its pixels take 18 ms with the rest, which fits.
    run(q, 4.0, 0.0);
    EXPECT_TRUE(q.aboveFull());
    EXPECT_EQ(q.setting().samples, samplesPerFrame);
    EXPECT_EQ(q.setting().width, 1280);
    EXPECT_EQ(q.setting().height, 960);
    EXPECT_EQ(q.setting().denoisePasses, 0);
    // Slower, it comes back to the full frame.
    run(q, 9.0, 10.0);
    EXPECT_TRUE(isFull(q.setting()));
    run(q, 4.0, 20.0);
    ASSERT_TRUE(q.aboveFull());
    // The window made small again: the full setting, at once.
    EXPECT_TRUE(q.setWindowPicture(640, 480));
    EXPECT_TRUE(isFull(q.setting()));
    EXPECT_FALSE(q.aboveFull());
    run(q, 1.0, 30.0);
    EXPECT_TRUE(isFull(q.setting())) << "no rung above the full frame in a window of its size";
    // Nor in one with more pixels than a frame may have.
    EXPECT_FALSE(q.setWindowPicture(12000, 9000));
    run(q, 0.001, 40.0);
    EXPECT_TRUE(isFull(q.setting())) << "a 12000 x 9000 window";
    // A reduced setting stays what it is when the window changes.
    LiveQuality low(30.0, true);
    low.startLow();
    const RenderSetting lowest = low.setting();
    EXPECT_FALSE(low.setWindowPicture(1600, 1200));
    EXPECT_EQ(rungName(low.setting()), rungName(lowest));
    // --quality exact: the full frame in any window.
    LiveQuality exact(30.0, false);
    EXPECT_FALSE(exact.setWindowPicture(1280, 960));
    run(exact, 1.0, 0.0);
    EXPECT_TRUE(isFull(exact.setting()));
}
