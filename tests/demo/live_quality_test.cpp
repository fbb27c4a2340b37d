// The live show's quality steps, driven by made-up frame times (no clock).
#include <gtest/gtest.h>

#include <cstring>

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
