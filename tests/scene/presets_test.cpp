#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "scene/presets.h"

namespace {

bool sameBytes(const void* a, const void* b, size_t n) {
    return std::memcmp(a, b, n) == 0;
}

void expectVolume(const FrameData& fd, int slot, const float (&want)[6]) {
    const float got[6] = {fd.boundsMinX[slot], fd.boundsMinY[slot], fd.boundsMinZ[slot],
                          fd.boundsMaxX[slot], fd.boundsMaxY[slot], fd.boundsMaxZ[slot]};
    for (int a = 0; a < 6; ++a) EXPECT_FLOAT_EQ(got[a], want[a]) << "slot " << slot << " " << a;
}

// What every scene promises about the objects it counts.
void expectSceneInvariants(const FrameData& fd) {
    EXPECT_EQ(fd.sphereMaterial[0], 0);
    EXPECT_EQ(fd.sphereY[1], -10000.0f);
    EXPECT_EQ(fd.sphereRadius[1], 10000.0f);
    for (int i = 0; i < fd.sphereCount; ++i)
        EXPECT_FLOAT_EQ(fd.sphereRadius2[i], fd.sphereRadius[i] * fd.sphereRadius[i]) << i;
}

}  // namespace

TEST(Presets, GroupedSceneFillsTheFixedIndexGroupsAndItsVolumes) {
    World w;
    buildSceneY(w);
    const FrameData& fd = w.frame;
    EXPECT_EQ(fd.sphereCount, 17);
    EXPECT_EQ(fd.boxCount, 4);
    const SceneSlots& s = w.slots;
    EXPECT_EQ((std::array<int, 5>{s.pedestalBoxStart, s.pedestalSphereStart, s.figureSphereStart, s.figureBoxStart,
                                  s.companionSphereStart}),
              (std::array<int, 5>{0, 2, 7, 2, 11}));
    expectSceneInvariants(fd);
    EXPECT_EQ(fd.sphereY[2], 9.7f);
    EXPECT_EQ(fd.sphereRadius2[12], 2.89f);
    EXPECT_EQ(fd.sceneId, 0) << "the caller stores the scene id";
    expectVolume(fd, 0, {7, 0, 7, 13.5f, 7, 13});
    expectVolume(fd, 1, {-7.5f, -1, -7.5f, 7.5f, 15.7f, 7.5f});
}

TEST(Presets, GroupedSceneIsTheSameWhateverCameBefore) {
    World fresh;
    buildSceneY(fresh);
    World again = fresh;
    buildSceneY(again);
    EXPECT_TRUE(sameBytes(&fresh.frame, &again.frame, sizeof(FrameData)));

    World mixed;
    buildSceneZ(mixed);
    buildSceneX(mixed);
    buildSceneY(mixed);
    EXPECT_TRUE(sameBytes(&fresh.frame, &mixed.frame, sizeof(FrameData)));
    EXPECT_TRUE(sameBytes(&fresh.slots, &mixed.slots, sizeof(SceneSlots)));
}

TEST(Presets, LightSceneOverwritesOnlyItsOwnFields) {
    World w;
    buildSceneY(w);
    w.frame.sceneId = 1;
    const World before = w;
    buildSceneX(w);
    const FrameData& fd = w.frame;
    const FrameData& old = before.frame;
    EXPECT_EQ(fd.sphereCount, 4);
    EXPECT_EQ(fd.boxCount, 1);
    expectSceneInvariants(fd);
    EXPECT_EQ(fd.boxMinZ[0], -20.0f);

    EXPECT_TRUE(sameBytes(&fd.materials[5], &old.materials[5], 7 * sizeof(MaterialEntry)));
    for (int i = 4; i < maxSpheres; ++i) {
        EXPECT_EQ(fd.sphereX[i], old.sphereX[i]) << i;
        EXPECT_EQ(fd.sphereRadius2[i], old.sphereRadius2[i]) << i;
    }
    for (int b = 1; b < maxBoxes; ++b) EXPECT_EQ(fd.boxMaxX[b], old.boxMaxX[b]) << b;
    EXPECT_TRUE(sameBytes(fd.boundsMinX, old.boundsMinX, 6 * sizeof(fd.boundsMinX)));
    EXPECT_EQ(fd.sceneId, 1);
    EXPECT_TRUE(sameBytes(&w.slots, &before.slots, sizeof(SceneSlots)));
}

TEST(Presets, RoomSceneKeepsPedestalSlotsAndUnusedEntries) {
    World w;
    buildSceneY(w);
    const World before = w;
    buildSceneZ(w);
    const FrameData& fd = w.frame;
    EXPECT_EQ(fd.sphereCount, 14);
    EXPECT_EQ(fd.boxCount, 2);
    expectSceneInvariants(fd);
    EXPECT_EQ(w.slots.figureBoxStart, 0);
    EXPECT_EQ(w.slots.pedestalSphereStart, 2);
    EXPECT_EQ(w.slots.pedestalBoxStart, 0);
    EXPECT_EQ(fd.sphereMaterial[11], 7) << "the companion body in this room";
    for (int m : {5, 6, 10, 11})
        EXPECT_TRUE(sameBytes(&fd.materials[m], &before.frame.materials[m], sizeof(MaterialEntry))) << m;
    for (int i = 14; i < maxSpheres; ++i) EXPECT_EQ(fd.sphereX[i], before.frame.sphereX[i]) << i;
    EXPECT_TRUE(sameBytes(fd.boundsMinX, before.frame.boundsMinX, 6 * sizeof(fd.boundsMinX)));
}
