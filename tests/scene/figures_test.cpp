#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "scene/bounds.h"
#include "scene/figures.h"
#include "scene/presets.h"

namespace {

void expectCentre(const FrameData& fd, int i, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(fd.sphereX[i], x, tolerance) << "sphere " << i;
    EXPECT_NEAR(fd.sphereY[i], y, tolerance) << "sphere " << i;
    EXPECT_NEAR(fd.sphereZ[i], z, tolerance) << "sphere " << i;
}

World groupedScene() {
    World w;
    buildSceneY(w);
    return w;
}

}  // namespace

TEST(FigureWalking, StandingPoseReproducesTheGroupedScenesFigure) {
    const World preset = groupedScene();
    World w = groupedScene();
    placeFigureWalking(w, 10, 0, 10, 0, -1);
    const FrameData& fd = w.frame;
    const FrameData& want = preset.frame;
    for (int i = 7; i <= 10; ++i) {
        expectCentre(fd, i, want.sphereX[i], want.sphereY[i], want.sphereZ[i], 0.01f);  // sway
        EXPECT_EQ(fd.sphereRadius[i], want.sphereRadius[i]);
        EXPECT_EQ(fd.sphereMaterial[i], want.sphereMaterial[i]);
    }
    const float* got = fd.boxMinX;
    const float* expected = want.boxMinX;
    for (int f = 0; f < 6 * maxBoxes; ++f) EXPECT_NEAR(got[f], expected[f], 1e-5f) << f;
    EXPECT_EQ(std::memcmp(fd.materials, want.materials, sizeof(fd.materials)), 0);
}

TEST(FigureWalking, HeadingAndPhaseMoveEyeAndFeet) {
    World w = groupedScene();
    const FrameData& fd = w.frame;
    placeFigureWalking(w, 3, 2, -4, 90, 0);
    expectCentre(fd, 8, 3, 6, -4 + 1.3f);

    placeFigureWalking(w, 0, 2, 0, 0, 180);
    EXPECT_NEAR(fd.boxMinY[2], 1.5f, 1e-5f);
    EXPECT_NEAR(fd.boxMaxY[2], 2.5f, 1e-5f);
    EXPECT_NEAR(fd.boxMinY[3], 3.5f, 1e-5f);
    EXPECT_NEAR(fd.boxMaxY[3], 4.5f, 1e-5f);
    placeFigureWalking(w, 0, 0, 0, 0, 90);  // first foot ahead, second behind
    EXPECT_NEAR(fd.boxMinX[2], -0.5f, 1e-5f);
    EXPECT_NEAR(fd.boxMinX[3], -2.5f, 1e-5f);
}

TEST(FigureBounds, FollowTheWalkingPoseButNotTurnedFootTips) {
    World w = groupedScene();
    const FrameData& fd = w.frame;
    const float pedestalMinX = fd.boundsMinX[1];
    placeFigureWalking(w, 0, 0, 0, 0, 0);
    updateFigureBounds(w);
    const float got[6] = {fd.boundsMinX[0], fd.boundsMinY[0], fd.boundsMinZ[0],
                          fd.boundsMaxX[0], fd.boundsMaxY[0], fd.boundsMaxZ[0]};
    const float want[6] = {-3, -0.5f, -3, 3.5f, 7, 3};
    for (int a = 0; a < 6; ++a) EXPECT_NEAR(got[a], want[a], 1e-5f) << a;
    EXPECT_EQ(fd.boundsMinX[1], pedestalMinX);

    // Each corner is turned on its own, so min can exceed max; only the
    // stored min feeds the volume's minimum.
    placeFigureWalking(w, 0, 0, 0, 116.565f, -1);
    EXPECT_NEAR(fd.boxMaxX[2], -3.354f, 1e-3f);
    EXPECT_NEAR(fd.boxMinX[3], 3.354f, 1e-3f);
    EXPECT_GT(fd.boxMinX[2], fd.boxMaxX[2]);
    updateFigureBounds(w);
    EXPECT_NEAR(fd.boundsMinX[0], -3.0f, 1e-5f);
    EXPECT_NEAR(fd.boundsMaxX[0], 3.0f, 1e-5f);
}

TEST(Companion, HopsTwicePerTurnAndFacesItsHeading) {
    World w = groupedScene();
    for (float phase : {0.0f, 90.0f, 180.0f, 270.0f}) {
        placeCompanion(w, 1, 2, 3, 0, phase);
        EXPECT_NEAR(w.frame.sphereY[11], std::fmod(phase, 180.0f) == 0 ? 3.5f : 6.5f, 1e-4f);
    }
    placeCompanion(w, 1, 2, 3, 270, 0);
    expectCentre(w.frame, 12, 1, 3.5f, 2.6f);
    expectCentre(w.frame, 13, 1, 3.5f, 2);
}

TEST(FigureLooking, AimsFromTheGroundPointWithStandingFeet) {
    World w = groupedScene();
    placeFigureLooking(w, 2, 1, -3, 2, 50, -3, 0);
    expectCentre(w.frame, 8, 2, 6.3f, -3);
    expectCentre(w.frame, 10, 2, 5, -3);  // fourth sphere hidden in the body

    World standing = groupedScene();
    placeFigureWalking(standing, 2, 1, -3, 30, -1);
    placeFigureLooking(w, 2, 1, -3, 9, 9, 9, 30);
    for (int b = 2; b <= 3; ++b) {
        EXPECT_EQ(w.frame.boxMinX[b], standing.frame.boxMinX[b]);
        EXPECT_EQ(w.frame.boxMaxZ[b], standing.frame.boxMaxZ[b]);
    }
}

TEST(FigureLooking, TargetOnTheGroundPointLooksAlongTheHeading) {
    World w = groupedScene();
    placeFigureLooking(w, 4, 0, 4, 4, 0, 4, 90);
    expectCentre(w.frame, 8, 4, 4, 5.3f);
    expectCentre(w.frame, 9, 4, 4, 6.5f);
}

TEST(FirstLook, ChangesOnlyTheFourthSphere) {
    auto pose = [](bool firstLook, bool looking) {
        World w = groupedScene();
        w.firstLook = firstLook;
        if (looking) {
            placeFigureLooking(w, 1, 0, 2, 5, 5, 5, 45);
        } else {
            placeFigureWalking(w, 1, 0, 2, 45, 33);
        }
        return w.frame;
    };
    for (bool looking : {false, true}) {
        FrameData a = pose(true, looking), b = pose(false, looking);
        EXPECT_EQ(a.sphereRadius[10], 1.0f);
        EXPECT_EQ(b.sphereRadius[10], 0.7f);
        EXPECT_FLOAT_EQ(b.sphereRadius2[10], 0.49f);
        if (!looking) {
            EXPECT_NE(a.sphereY[10], b.sphereY[10]);
        }
        for (FrameData* fd : {&a, &b})
            fd->sphereX[10] = fd->sphereY[10] = fd->sphereZ[10] = fd->sphereRadius[10] = fd->sphereRadius2[10] = 0;
        EXPECT_EQ(std::memcmp(&a, &b, sizeof(FrameData)), 0) << "looking " << looking;
    }
}
