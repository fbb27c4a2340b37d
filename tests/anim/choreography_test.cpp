#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "anim/show_state.h"

namespace {

// What a step boundary left behind, with the show time at which it happened.
struct Boundary {
    float seconds;
    Choreography c;
    int sceneId, cameraSegment;
    float lightY;
    char figureChar() const { return FigureScript[c.figureIndex]; }  // what the new step reads
};

// The show as the demo's tick runs it from set-up on, without keys, noting
// every step boundary and the eye after every tick.
struct Show {
    ShowState state;
    double elapsedMs = 0;
    bool everNonFinite = false;
    std::vector<Boundary> boundaries;
    std::vector<std::pair<double, Vec3>> eye;  // milliseconds, camera position

    Show() { startShow(state, nullptr); }

    void tick(float dtMs) {
        const int before = state.choreography.figureIndex;
        elapsedMs += dtMs;
        advanceShow(state, dtMs);
        const FrameData& fd = state.world.frame;
        if (state.choreography.figureIndex != before)
            boundaries.push_back({float(elapsedMs / 1000.0), state.choreography, fd.sceneId,
                                  state.camera.cameraSegment, fd.sphereY[0]});
        eye.emplace_back(elapsedMs, state.camera.cameraPos);
        float words[sizeof(FrameData) / sizeof(float)];
        std::memcpy(words, &fd, sizeof(words));
        for (float f : words) everNonFinite |= !std::isfinite(f);
    }

    Vec3 eyeAt(double ms) const {
        for (const auto& [when, pos] : eye)
            if (when >= ms) return pos;
        return eye.back().second;
    }

    const Boundary& first(const std::function<bool(const Boundary&)>& match) const {
        for (const Boundary& b : boundaries)
            if (match(b)) return b;
        ADD_FAILURE() << "no such boundary";
        return boundaries.front();
    }
};

}  // namespace

TEST(Choreography, TimelineAtTenMillisecondFrames) {
    Show show;
    show.tick(0.0f);  // the first tick gets 0 ms, every later one 10 ms
    while (show.elapsedMs < 106000) show.tick(10.0f);
    EXPECT_FALSE(show.everNonFinite);
    EXPECT_NEAR(show.boundaries[1].seconds, 1.0f, 0.02f) << "blanks last a second";

    struct Mark {
        char figureChar, cameraChar;
        float after, seconds;
    };
    const Mark marks[] = {{'@', 0, 0, 23.6f},  {'^', 0, 0, 26.1f}, {'v', 0, 0, 54.6f},
                          {'^', 0, 30, 69.1f}, {0, '2', 0, 20.1f}, {0, '3', 0, 37.1f},
                          {0, '5', 0, 45.8f},  {0, '6', 0, 53.1f}, {0, '2', 30, 80.1f}};
    for (const Mark& m : marks) {
        const Boundary& b = show.first([&](const Boundary& x) {
            return (m.figureChar ? x.figureChar() == m.figureChar : CameraScript[x.c.companionIndex] == m.cameraChar) &&
                   x.seconds > m.after;
        });
        EXPECT_NEAR(b.seconds, m.seconds, 0.06f) << m.figureChar << m.cameraChar;
    }
    EXPECT_EQ(show.first([](const Boundary& b) { return b.figureChar() == 'v'; }).c.figureMode, 6);
    EXPECT_EQ((&show.first([](const Boundary& b) { return b.figureChar() == '^'; }))[1].lightY, 94.0f)
        << "the raise ends exactly at the top";

    const Boundary* grouped = &show.first([](const Boundary& b) { return b.sceneId == 1; });
    EXPECT_NEAR(grouped->seconds, 12.0f, 0.06f);
    EXPECT_EQ(grouped->figureChar(), 'w') << "both switch letters consumed";
    EXPECT_EQ(grouped->cameraSegment, 1);
    EXPECT_NEAR(grouped[1].seconds - grouped->seconds, 1.43f, 0.02f);
    const Boundary& pink = show.first([](const Boundary& b) { return b.c.figureIndex == 32; });
    EXPECT_NEAR(pink.seconds, 40.1f, 0.06f);
    EXPECT_EQ(pink.cameraSegment, 4);
    // Camera segments run at their own rates: each is half way from its first
    // keyframe to its second (segment 1: (31.06, 15.42, -12.9) to (4.66, 6.95,
    // 39.83); 2: (12.1, 9.38, -58.34) to (14.16, 11.08, -23.71); 5: (-51.45,
    // 19.84, 8.04) to (-25.63, 14.95, 8.08)) 3.33 s, 8.33 s and 5 s after its cut,
    // give or take the tick the cut falls in.
    const struct {
        char segment;
        double halfWayMs;
        Vec3 halfWay;
    } segments[] = {{'1', 1e3 / 0.3, {17.86f, 11.185f, 13.465f}},
                    {'2', 1e3 / 0.12, {13.13f, 10.23f, -41.025f}},
                    {'5', 1e3 / 0.2, {-38.54f, 17.395f, 8.06f}}};
    for (const auto& seg : segments) {
        const Boundary& cut = show.first([&](const Boundary& b) { return CameraScript[b.c.companionIndex] == seg.segment; });
        const Vec3 at = show.eyeAt(cut.seconds * 1000.0 + seg.halfWayMs);
        EXPECT_NEAR(at.x, seg.halfWay.x, 0.2f) << seg.segment;  // a few ticks
        EXPECT_NEAR(at.y, seg.halfWay.y, 0.2f) << seg.segment;  // a few ticks
        EXPECT_NEAR(at.z, seg.halfWay.z, 0.2f) << seg.segment;  // a few ticks
    }

    const Boundary& walks = show.first([](const Boundary& b) { return b.c.companionStep.x == 1; });
    EXPECT_NEAR(walks.seconds, 83.1f, 0.06f);
    EXPECT_EQ(walks.c.companionIndex, 56);

    // The room: the companion turns once a second, and the show ends before the script wraps.
    const Boundary* room = &show.first([](const Boundary& b) { return b.sceneId == 2; });
    ASSERT_LE(room + 10, &show.boundaries.back());
    EXPECT_NEAR(room->seconds, 95.1f, 0.06f);
    EXPECT_EQ(room->cameraSegment, 8);
    EXPECT_EQ(room->c.figureMode, 9);
    std::vector<float> headings;  // E S N W S N E W S E
    for (int i = 1; i <= 10; ++i) headings.push_back(room[i].c.companionHeading);
    EXPECT_EQ(headings, (std::vector<float>{0, 90, 270, 180, 90, 270, 0, 180, 90, 0}));
    EXPECT_NEAR(room[10].seconds, 105.1f, 0.06f);
    EXPECT_LT(show.boundaries.back().c.companionIndex, 131);
}

TEST(Choreography, LongFrameCrossesOneBoundaryPerCall) {
    Show show;
    show.tick(0.0f);
    show.tick(5000.0f);
    EXPECT_EQ(show.state.choreography.figureIndex, 2);
    EXPECT_FLOAT_EQ(show.state.choreography.stepProgress, 4.0f);
    show.tick(0.0f);
    EXPECT_EQ(show.state.choreography.figureIndex, 3);
    EXPECT_FLOAT_EQ(show.state.choreography.stepProgress, 3.0f);
}
