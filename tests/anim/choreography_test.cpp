#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "anim/choreography.h"
#include "scene/bounds.h"
#include "scene/figures.h"
#include "scene/presets.h"

namespace {

// What a step boundary left behind, with the show time at which it happened.
struct Boundary {
    float seconds;
    int figureIndex, companionIndex, sceneId, figureMode, cameraSegment;
    char figureChar, cameraChar;  // what the new step reads
    Vec3 companionStep;
    float companionHeading;
};

// The show as the demo's tick runs it from set-up on, without keys.
struct Show {
    World world;
    Camera camera;
    Choreography choreography;
    double elapsedMs = 0;
    bool everNonFinite = false;
    std::vector<Boundary> boundaries;

    Show() {
        buildSceneY(world);
        setInitialFrameValues(world.frame);
    }

    void tick(float dtMs) {
        const int before = choreography.figureIndex;
        elapsedMs += dtMs;
        stepChoreography(choreography, world, camera, dtMs);
        handleFlightKeys(camera, HeldKeys{}, dtMs);
        updateCameraBasis(camera, world.frame, 32);
        if (world.frame.sceneId == 1) updateFigureBounds(world);
        const Choreography& c = choreography;
        if (c.figureIndex != before)
            boundaries.push_back({float(elapsedMs / 1000.0), c.figureIndex, c.companionIndex, world.frame.sceneId,
                                  c.figureMode, camera.cameraSegment, FigureScript[c.figureIndex],
                                  CameraScript[c.companionIndex], c.companionStep, c.companionHeading});
        float words[sizeof(FrameData) / sizeof(float)];
        std::memcpy(words, &world.frame, sizeof(words));
        for (float f : words) everNonFinite |= !std::isfinite(f);
    }

    // The first tick gets 0 ms, every later one 10 ms.
    template <typename Done>
    void runUntil(Done done) {
        if (elapsedMs == 0 && boundaries.empty()) tick(0.0f);
        while (!done() && elapsedMs < 106000.0) tick(10.0f);
    }
    void runUntilSeconds(double s) {
        runUntil([&] { return elapsedMs >= s * 1000.0 - 1e-6; });
    }
    void runUntilMode(int m) {
        runUntil([&] { return choreography.figureMode == m; });
    }

    const Boundary* first(const std::function<bool(const Boundary&)>& match) const {
        for (const Boundary& b : boundaries)
            if (match(b)) return &b;
        return nullptr;
    }
};

void expectAt(const Boundary* b, float seconds, const char* what) {
    ASSERT_NE(b, nullptr) << what;
    EXPECT_NEAR(b->seconds, seconds, 0.06f) << what;
}

}  // namespace

TEST(Scripts, HaveTheirLengths) {
    EXPECT_EQ(std::strlen(FigureScript), 142u);
    EXPECT_EQ(std::strlen(CompanionScript), 132u);
    EXPECT_EQ(std::strlen(CameraScript), 164u);
}

TEST(Choreography, FirstTickBuildsTheLightSceneAndStartsSegmentSeven) {
    Show show;
    show.tick(0.0f);
    const Choreography& c = show.choreography;
    EXPECT_EQ(c.figureIndex, 1);
    EXPECT_EQ(c.companionIndex, 1);
    EXPECT_EQ(c.figurePos.x, 505.0f);
    EXPECT_EQ(c.companionPos.x, 3.0f);
    EXPECT_EQ(show.world.frame.sphereCount, 4);
    EXPECT_EQ(show.world.frame.materials[5].red, 0.7f) << "left from the set-up scene";
    EXPECT_EQ(show.camera.cameraSegment, 7);
}

TEST(Choreography, TimelineAtTenMillisecondFrames) {
    Show show;
    show.runUntilSeconds(106.0);
    EXPECT_FALSE(show.everNonFinite);
    EXPECT_NEAR(show.boundaries[1].seconds, 1.0f, 0.02f) << "blanks last a second";

    auto step = [&](char c, float after = 0) {
        return show.first([=](const Boundary& b) { return b.figureChar == c && b.seconds > after; });
    };
    auto segment = [&](int n, float after = 0) {
        return show.first([=](const Boundary& b) { return b.cameraChar == '0' + n && b.seconds > after; });
    };
    const Boundary* grouped = show.first([](const Boundary& b) { return b.sceneId == 1; });
    expectAt(grouped, 12.0f, "Y and *");
    EXPECT_EQ(grouped->figureChar, 'w') << "both switch letters consumed";
    EXPECT_EQ(grouped->cameraSegment, 1);
    EXPECT_NEAR(grouped[1].seconds - grouped->seconds, 1.43f, 0.02f);

    expectAt(segment(2), 20.1f, "segment 2");
    expectAt(step('@'), 23.6f, "@ dims");
    expectAt(step('^'), 26.1f, "^ raises");
    expectAt(segment(3), 37.1f, "segment 3");
    const Boundary* pink = show.first([](const Boundary& b) { return b.figureIndex == 32; });
    expectAt(pink, 40.1f, "&");
    EXPECT_EQ(pink->cameraSegment, 4);
    expectAt(segment(5), 45.8f, "segment 5");
    expectAt(segment(6), 53.1f, "segment 6");
    expectAt(step('v'), 54.6f, "v lowers");
    EXPECT_EQ(step('v')->figureMode, 6);
    expectAt(step('^', 30), 69.1f, "second ^");
    expectAt(segment(2, 30), 80.1f, "segment 2 again");
    const Boundary* walks = show.first([](const Boundary& b) { return b.companionStep.x == 1; });
    expectAt(walks, 83.1f, "companion walks +x");
    EXPECT_EQ(walks->companionIndex, 56);
    const Boundary* room = show.first([](const Boundary& b) { return b.sceneId == 2; });
    expectAt(room, 95.1f, "Z");
    EXPECT_EQ(room->cameraSegment, 8);
    EXPECT_EQ(room->figureMode, 9);

    const char* expected = "ESNWSNEWSE";
    auto headingOf = [](char d) { return d == 'S' ? 90.0f : d == 'W' ? 180.0f : d == 'N' ? 270.0f : 0.0f; };
    for (int i = 0; i < 10; ++i) {
        EXPECT_NEAR(room[1 + i].seconds, 96.1f + i, 0.06f) << i;
        EXPECT_EQ(room[1 + i].companionHeading, headingOf(expected[i])) << i;
    }
    EXPECT_LT(show.boundaries.back().companionIndex, 131) << "the show ends before a wrap";
}

TEST(Choreography, LightDimsRisesAndEndsExactlyAtTheTop) {
    Show show;
    const FrameData& fd = show.world.frame;
    show.runUntilMode(8);  // the '@' step has just begun
    const double dimStart = show.elapsedMs / 1000.0;
    show.runUntilSeconds(dimStart + 2.5 / 6);  // e about 1/6: half the glow left
    EXPECT_NEAR(fd.materials[0].blue, 50.0f, 2.0f);
    show.runUntilSeconds(dimStart + 1.0);
    EXPECT_EQ(fd.materials[0].blue, 0.0f);

    show.runUntilMode(5);  // the '^' step has just begun
    EXPECT_NEAR(fd.sphereY[0], -6.0f, 1.0f);
    EXPECT_NEAR(fd.materials[0].red, 120.0f, 1.0f);
    EXPECT_GT(fd.sphereZ[8], fd.sphereZ[7]) << "the figure looks at the light";

    show.runUntilMode(1);  // the step after '^' starts from the exact top values
    EXPECT_EQ(fd.sphereY[0], 94.0f);
    EXPECT_EQ(fd.sphereZ[0], 50.0f);
    EXPECT_EQ(fd.sphereRadius[0], 3.0f);
    EXPECT_EQ(fd.materials[0].red, 240.0f);
    EXPECT_EQ(fd.materials[0].green, 240.0f);
    EXPECT_EQ(fd.materials[0].blue, 200.0f);

    show.runUntilSeconds(40.2);  // '&': the second look and the pink body
    EXPECT_FALSE(show.world.firstLook);
    EXPECT_EQ(fd.materials[7].green, 0.6f);
    EXPECT_EQ(fd.sphereRadius[10], 0.7f);
}

TEST(Choreography, LongFrameCrossesOneBoundaryPerCall) {
    Show show;
    show.tick(0.0f);
    show.tick(5000.0f);
    EXPECT_EQ(show.choreography.figureIndex, 2);
    EXPECT_FLOAT_EQ(show.choreography.stepProgress, 4.0f);
    show.tick(0.0f);
    EXPECT_EQ(show.choreography.figureIndex, 3);
    EXPECT_FLOAT_EQ(show.choreography.stepProgress, 3.0f);
}

TEST(Choreography, PauseAfterATurnKeepsTurningAndHeadingsWrap) {
    Show show;
    show.tick(0.0f);  // standing on blanks from here
    Choreography& c = show.choreography;
    c.figureMode = 3;
    c.stepRate = 0.002f;
    c.stepProgress = 0.999f;
    show.tick(1.0f);  // the turn ends with +90; the blank keeps turning
    EXPECT_EQ(c.figureHeading, 90.0f);
    show.tick(250.0f);
    const FrameData& fd = show.world.frame;
    const float eyeHeading = std::atan2(fd.sphereZ[8] - fd.sphereZ[7], fd.sphereX[8] - fd.sphereX[7]) / DEG2RAD;
    EXPECT_NEAR(eyeHeading, 90.0f + std::sin(0.5f * 1.5707964f) * 90.0f, 0.5f);
    show.tick(250.0f);
    EXPECT_EQ(c.figureHeading, 180.0f);

    c.figureMode = 4;  // a right turn adds 270 and wraps
    c.stepProgress = 1.0f;
    show.tick(0.0f);
    EXPECT_EQ(c.figureHeading, 90.0f);
}
