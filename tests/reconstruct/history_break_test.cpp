// When the history is dropped as a whole: over the whole show at 30 frames a
// second, exactly at the scene switches and the camera's cuts, never between
// two frames of one flight.
#include "reconstruct/history_break.h"

#include <gtest/gtest.h>

#include <vector>

#include "anim/show_replay.h"
#include "scene/world.h"

namespace {

struct Break {
    int tick;
    bool sceneChanged;
    bool segmentChanged;
};

}  // namespace

TEST(HistoryBreak, TheWholeShowBreaksOnlyAtItsSceneSwitchesAndCameraCuts) {
    ShowState show;
    startShow(show, nullptr);
    constexpr float dt = 33.333333f;
    replayShow(show, 0, 1, dt);
    std::vector<Break> breaks;
    int segmentChanges = 0, sceneChanges = 0;
    for (int tick = 1; show.demoTime < showLengthSeconds; ++tick) {
        const FrameData before = show.world.frame;
        const int segment = show.camera.cameraSegment;
        replayShow(show, tick, tick + 1, dt);
        const bool sceneChanged = before.sceneId != show.world.frame.sceneId;
        const bool segmentChanged = segment != show.camera.cameraSegment;
        sceneChanges += sceneChanged;
        segmentChanges += segmentChanged;
        if (historyBreaks(before, show.world.frame)) breaks.push_back({tick, sceneChanged, segmentChanged});
    }
    EXPECT_EQ(sceneChanges, 2) << "spheres, pedestal, closed room";
    EXPECT_GE(segmentChanges, 4);
    // Every break is a scene switch or a new camera segment, and every scene
    // switch breaks; a segment that starts where the last one ended need not.
    int sceneBreaks = 0;
    for (const Break& b : breaks) {
        SCOPED_TRACE(b.tick);
        EXPECT_TRUE(b.sceneChanged || b.segmentChanged);
        sceneBreaks += b.sceneChanged;
    }
    EXPECT_EQ(sceneBreaks, sceneChanges);
    EXPECT_GE(breaks.size(), 3u);
    EXPECT_LE(static_cast<int>(breaks.size()), sceneChanges + segmentChanges);
}

TEST(HistoryBreak, AnotherSizeSceneOrViewBreaksAJitterDoesNot) {
    ShowState show;
    startShow(show, nullptr);
    replayShow(show, 0, 400, 33.333333f);
    const FrameData base = show.world.frame;
    EXPECT_FALSE(historyBreaks(base, base));
    FrameData other = base;
    setFrameSize(other, 320, 240);
    EXPECT_TRUE(historyBreaks(base, other));
    other = base;
    other.sceneId = base.sceneId == roomSceneId ? spheresSceneId : roomSceneId;
    EXPECT_TRUE(historyBreaks(base, other));
    other = base;
    other.camPosition[0] += cutDistance * 1.01f;
    EXPECT_TRUE(historyBreaks(base, other));
    other.camPosition[0] = base.camPosition[0] + cutDistance * 0.99f;
    EXPECT_FALSE(historyBreaks(base, other));
    // Forward turned by 15 degrees about the vertical axis: a cut; by half a
    // pixel (a jitter): the same view.
    other = base;
    for (const float share : {0.27f, 0.0008f}) {
        for (int a = 0; a < 3; ++a) other.camForward[a] = base.camForward[a] + share * base.camRight[a];
        EXPECT_EQ(historyBreaks(base, other), share > 0.1f) << share;
    }
}
