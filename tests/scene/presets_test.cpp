#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "scene/presets.h"

namespace {

std::array<float, 6> volume(const FrameData& fd, int slot) {
    return {fd.boundsMinX[slot], fd.boundsMinY[slot], fd.boundsMinZ[slot],
            fd.boundsMaxX[slot], fd.boundsMaxY[slot], fd.boundsMaxZ[slot]};
}

}  // namespace

TEST(Presets, GroupedSceneFillsItsSlotsAndVolumesWhateverCameBefore) {
    World w;
    buildPedestalScene(w);
    const FrameData& fd = w.frame;
    EXPECT_EQ(fd.sphereCount, 17);
    EXPECT_EQ(fd.boxCount, 4);
    const SceneSlots& s = w.slots;
    EXPECT_EQ((std::array<int, 5>{s.pedestalBoxStart, s.pedestalSphereStart, s.figureSphereStart, s.figureBoxStart,
                                  s.companionSphereStart}),
              (std::array<int, 5>{0, 2, 7, 2, 11}));
    EXPECT_EQ(volume(fd, 0), (std::array<float, 6>{7, 0, 7, 13.5f, 7, 13}));
    EXPECT_EQ(volume(fd, 1), (std::array<float, 6>{-7.5f, -1, -7.5f, 7.5f, 15.7f, 7.5f}));

    World mixed;
    buildRoomScene(mixed);
    buildSpheresScene(mixed);
    buildPedestalScene(mixed);
    EXPECT_EQ(std::memcmp(&w.frame, &mixed.frame, sizeof(FrameData)), 0);
    EXPECT_EQ(std::memcmp(&w.slots, &mixed.slots, sizeof(SceneSlots)), 0);
}

// The light scene and the room are built over the grouped one and must leave
// every entry they do not own as it was (the show switches scenes in place).
TEST(Presets, LaterScenesOverwriteOnlyTheirOwnEntries) {
    struct Case {
        void (*build)(World&);
        int spheres, boxes, figureBoxStart;
        std::vector<int> keptMaterials;
    };
    const Case cases[] = {{buildSpheresScene, 4, 1, 2, {5, 6, 7, 8, 9, 10, 11}}, {buildRoomScene, 14, 2, 0, {5, 6, 10, 11}}};
    for (const Case& c : cases) {
        World w;
        buildPedestalScene(w);
        w.frame.sceneId = 1;
        const World before = w;
        c.build(w);
        const FrameData &fd = w.frame, &old = before.frame;
        EXPECT_EQ(fd.sphereCount, c.spheres);
        EXPECT_EQ(fd.boxCount, c.boxes);
        EXPECT_EQ(fd.sceneId, 1) << "the caller stores the scene id";
        EXPECT_EQ(fd.sphereY[1], -10000.0f);
        for (int i = 0; i < c.spheres; ++i)
            EXPECT_FLOAT_EQ(fd.sphereRadius2[i], fd.sphereRadius[i] * fd.sphereRadius[i]) << i;
        for (int i = c.spheres; i < maxSpheres; ++i) EXPECT_EQ(fd.sphereX[i], old.sphereX[i]) << i;
        for (int b = c.boxes; b < maxBoxes; ++b) EXPECT_EQ(fd.boxMaxX[b], old.boxMaxX[b]) << b;
        for (int m : c.keptMaterials)
            EXPECT_EQ(std::memcmp(&fd.materials[m], &old.materials[m], sizeof(MaterialEntry)), 0) << m;
        EXPECT_EQ(std::memcmp(fd.boundsMinX, old.boundsMinX, 6 * sizeof(fd.boundsMinX)), 0);
        EXPECT_EQ(w.slots.pedestalSphereStart, 2);
        EXPECT_EQ(w.slots.figureBoxStart, c.figureBoxStart);
    }
}
