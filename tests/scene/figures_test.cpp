#include <gtest/gtest.h>

#include <cstring>

#include "scene/bounds.h"
#include "scene/figures.h"
#include "scene/presets.h"

TEST(FigureWalking, StandingPoseReproducesTheGroupedScenesFigure) {
    World preset, w;
    buildPedestalScene(preset);
    buildPedestalScene(w);
    placeFigureWalking(w, 10, 0, 10, 0, -1);
    const FrameData &fd = w.frame, &want = preset.frame;
    for (int i = 7; i <= 10; ++i) {
        EXPECT_NEAR(fd.sphereX[i], want.sphereX[i], 0.01f) << i;  // the sway
        EXPECT_NEAR(fd.sphereY[i], want.sphereY[i], 0.01f) << i;
        EXPECT_NEAR(fd.sphereZ[i], want.sphereZ[i], 0.01f) << i;
        EXPECT_EQ(fd.sphereRadius[i], want.sphereRadius[i]);
        EXPECT_EQ(fd.sphereMaterial[i], want.sphereMaterial[i]);
    }
    for (int f = 0; f < 6 * maxBoxes; ++f) EXPECT_NEAR((&fd.boxMinX[0])[f], (&want.boxMinX[0])[f], 1e-5f) << f;
    EXPECT_EQ(std::memcmp(fd.materials, want.materials, sizeof(fd.materials)), 0);
}

TEST(FigureBounds, FollowTheWalkingPoseButNotTurnedFootTips) {
    World w;
    buildPedestalScene(w);
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
