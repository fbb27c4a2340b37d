// Nearest-hit and occlusion queries in both layouts.
#include <gtest/gtest.h>

#include "kernel/intersect.h"
#include "kernel_scene.h"

namespace {

const Vec3 origin{0.0f, 0.0f, 0.0f};
const Vec3 alongZ{0.0f, 0.0f, 1.0f};

void expectVec(Vec3 v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

// A grouped-layout record with every group's objects parked far away and both
// volumes empty, so tests can place just the objects they need.
FrameData groupedRecord() {
    FrameData fd = emptyRecord();
    fd.sceneId = 1;
    for (int i = 0; i < maxSpheres; ++i) setSphere(fd, i, {0.0f, -1.0e6f, 0.0f}, 1.0f, 1);
    for (int j = 0; j < maxBoxes; ++j) setBox(fd, j, {0.0f, -1.0e6f, 0.0f}, {1.0f, -1.0e6f + 1.0f, 1.0f}, 1);
    setSphere(fd, 0, {0.0f, -1.0e6f, 0.0f}, 1.0f, 0);
    setBounds(fd, 0, {0.0f, -1.0e6f, 0.0f}, {1.0f, -1.0e6f + 1.0f, 1.0f});
    setBounds(fd, 1, {0.0f, -1.0e6f, 0.0f}, {1.0f, -1.0e6f + 1.0f, 1.0f});
    return fd;
}

}  // namespace

TEST(Intersect, EmptySceneReportsTheMissSentinels) {
    for (FrameData fd : {emptyRecord(), groupedRecord()}) {
        const HitRecord hit = traceNearest(fd, origin, alongZ);
        EXPECT_EQ(hit.t, 10000.0f);
        EXPECT_EQ(hit.objectId, 999);
        EXPECT_EQ(hit.material, 0);
        EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 10000.0f);
    }
}

TEST(Intersect, InsideASphereDependsOnTheTestUsed) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 0.0f, 1.0f}, 3.0f, 0);  // emitter material: one-sided
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 999);

    fd.sphereMaterial[0] = 2;  // any other material: two-sided, far side
    const HitRecord hit = traceNearest(fd, origin, alongZ);
    EXPECT_EQ(hit.objectId, 0);
    EXPECT_EQ(hit.material, 2);
    EXPECT_FLOAT_EQ(hit.t, 4.0f);
    expectVec(hit.normal, 0.0f, 0.0f, 1.0f);  // outward, with the ray

    // The shadow query is always two-sided but never sees sphere 0.
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 10000.0f);
    addSphere(fd, {0.0f, 0.0f, 1.0f}, 3.0f, 0);
    EXPECT_FLOAT_EQ(occlusionDistance(fd, origin, alongZ), 4.0f);
}

TEST(Intersect, GrazingRayHitsOnlyTheOneSidedTest) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 1.0f, 5.0f}, 1.0f, 0);
    const HitRecord hit = traceNearest(fd, origin, alongZ);
    EXPECT_EQ(hit.objectId, 0);
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
    expectVec(hit.normal, 0.0f, -1.0f, 0.0f);

    fd.sphereMaterial[0] = 3;
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 999);
    addSphere(fd, {0.0f, 1.0f, 5.0f}, 1.0f, 0);
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 10000.0f);
}

TEST(Intersect, BoxesReportIdFourteenAndFaceTheRay) {
    FrameData fd = emptyRecord();
    addBox(fd, {-1.0f, -1.0f, 5.0f}, {1.0f, 1.0f, 7.0f}, 4);
    HitRecord hit = traceNearest(fd, origin, alongZ);
    EXPECT_EQ(hit.objectId, 14);
    EXPECT_EQ(hit.material, 4);
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
    expectVec(hit.normal, 0.0f, 0.0f, -1.0f);

    // Corners swapped on every axis describe the same box.
    setBox(fd, 0, {1.0f, 1.0f, 7.0f}, {-1.0f, -1.0f, 5.0f}, 4);
    hit = traceNearest(fd, origin, alongZ);
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
    expectVec(hit.normal, 0.0f, 0.0f, -1.0f);

    // From the far side the y face is entered with the normal up.
    hit = traceNearest(fd, {0.0f, 5.0f, 6.0f}, {0.0f, -1.0f, 0.0f});
    EXPECT_FLOAT_EQ(hit.t, 4.0f);
    expectVec(hit.normal, 0.0f, 1.0f, 0.0f);

    // A box of zero thickness is still there.
    setBox(fd, 0, {-1.0f, -1.0f, 5.0f}, {1.0f, 1.0f, 5.0f}, 4);
    EXPECT_FLOAT_EQ(traceNearest(fd, origin, alongZ).t, 5.0f);

    // Zero direction components: inside the slab passes, outside it fails.
    EXPECT_EQ(traceNearest(fd, {0.5f, 0.5f, 0.0f}, alongZ).objectId, 14);
    EXPECT_EQ(traceNearest(fd, {1.5f, 0.5f, 0.0f}, alongZ).objectId, 999);
}

TEST(Intersect, StartingInsideABoxHitsAtZeroOnTheXAxis) {
    FrameData fd = emptyRecord();
    addBox(fd, {-2.0f, -2.0f, -2.0f}, {2.0f, 2.0f, 2.0f}, 1);
    HitRecord hit = traceNearest(fd, origin, unit({0.0f, 0.6f, 0.8f}));
    EXPECT_EQ(hit.t, 0.0f);
    expectVec(hit.normal, 1.0f, 0.0f, 0.0f);  // D.x is not positive
    hit = traceNearest(fd, origin, unit({0.3f, -0.6f, 0.8f}));
    EXPECT_EQ(hit.t, 0.0f);
    expectVec(hit.normal, -1.0f, 0.0f, 0.0f);
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 0.0f);
}

TEST(Intersect, TiesGoToTheObjectTestedFirst) {
    // A two-sided sphere and a box face both at distance 5.
    FrameData fd = emptyRecord();
    addSphere(fd, {50.0f, 50.0f, 50.0f}, 1.0f, 0);
    addSphere(fd, {0.0f, 0.0f, 6.0f}, 1.0f, 3);
    addBox(fd, {-1.0f, -1.0f, 5.0f}, {1.0f, 1.0f, 7.0f}, 4);
    HitRecord hit = traceNearest(fd, origin, alongZ);
    EXPECT_EQ(hit.objectId, 1);  // counted: spheres before boxes
    EXPECT_EQ(hit.material, 3);

    FrameData g = groupedRecord();
    setBounds(g, 0, {-10.0f, -10.0f, -10.0f}, {10.0f, 10.0f, 10.0f});
    setBox(g, 2, {-1.0f, -1.0f, 5.0f}, {1.0f, 1.0f, 7.0f}, 4);
    setSphere(g, 11, {0.0f, 0.0f, 6.0f}, 1.0f, 3);
    hit = traceNearest(g, origin, alongZ);
    EXPECT_EQ(hit.objectId, 14);  // grouped: the figure's boxes before spheres 11 to 16
    EXPECT_EQ(hit.material, 4);
    expectVec(hit.normal, 0.0f, 0.0f, -1.0f);
}

TEST(Intersect, CountedLayoutStopsAtTheCounts) {
    FrameData fd = emptyRecord();
    fd.sphereCount = 4;
    setSphere(fd, 5, {0.0f, 0.0f, 5.0f}, 1.0f, 1);
    setBox(fd, 0, {5.0f, 5.0f, 5.0f}, {6.0f, 6.0f, 6.0f}, 1);
    setBox(fd, 1, {-1.0f, -1.0f, 8.0f}, {1.0f, 1.0f, 9.0f}, 1);
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 999);
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 10000.0f);
    fd.sphereCount = 6;
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 5);
    fd.sphereCount = 0;
    fd.boxCount = 2;
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 14);
    EXPECT_FLOAT_EQ(occlusionDistance(fd, origin, alongZ), 8.0f);
}

TEST(Intersect, GroupedLayoutUsesFixedGroupsAndIgnoresCounts) {
    FrameData fd = groupedRecord();
    fd.sphereCount = 4;
    fd.boxCount = 0;
    setSphere(fd, 16, {0.0f, 0.0f, 20.0f}, 1.0f, 2);
    setSphere(fd, 17, {0.0f, 0.0f, 10.0f}, 1.0f, 2);  // never tested in this layout
    HitRecord hit = traceNearest(fd, origin, alongZ);
    EXPECT_EQ(hit.objectId, 16);
    EXPECT_FLOAT_EQ(hit.t, 19.0f);
    EXPECT_FLOAT_EQ(occlusionDistance(fd, origin, alongZ), 19.0f);

    // Figure sphere 7 sits on the ray but its volume is elsewhere: invisible.
    setSphere(fd, 7, {0.0f, 0.0f, 5.0f}, 1.0f, 2);
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 16);
    EXPECT_FLOAT_EQ(occlusionDistance(fd, origin, alongZ), 19.0f);
    setBounds(fd, 0, {-1.0f, -1.0f, 4.0f}, {1.0f, 1.0f, 6.0f});
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 7);
    EXPECT_FLOAT_EQ(occlusionDistance(fd, origin, alongZ), 4.0f);

    // Figure spheres are one-sided whatever their material; the rest go by material.
    EXPECT_EQ(traceNearest(fd, {0.0f, 0.0f, 5.0f}, alongZ).objectId, 16);
    setSphere(fd, 12, {0.0f, 0.0f, 5.0f}, 1.5f, 2);
    EXPECT_EQ(traceNearest(fd, {0.0f, 0.0f, 5.0f}, alongZ).objectId, 12);

    // Pedestal group behind volume 1.
    FrameData p = groupedRecord();
    setSphere(p, 3, {0.0f, 0.0f, 5.0f}, 1.0f, 2);
    EXPECT_EQ(traceNearest(p, origin, alongZ).objectId, 999);
    setBounds(p, 1, {-1.0f, -1.0f, 4.0f}, {1.0f, 1.0f, 6.0f});
    EXPECT_EQ(traceNearest(p, origin, alongZ).objectId, 3);
}

TEST(Intersect, FarFigureCastsShadowsButIsNotSeen) {
    FrameData fd = groupedRecord();
    setSphere(fd, 8, {0.0f, 0.0f, 1500.0f}, 10.0f, 2);
    setBounds(fd, 0, {-10.0f, -10.0f, 1490.0f}, {10.0f, 10.0f, 1510.0f});
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 999);
    EXPECT_FLOAT_EQ(occlusionDistance(fd, origin, alongZ), 1490.0f);
    // Within the cap the same figure is seen.
    setSphere(fd, 8, {0.0f, 0.0f, 500.0f}, 10.0f, 2);
    setBounds(fd, 0, {-10.0f, -10.0f, 490.0f}, {10.0f, 10.0f, 510.0f});
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 8);
}

TEST(Intersect, OcclusionSkipsTheLightInBothLayouts) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 0.0f, 5.0f}, 1.0f, 0);
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 0);
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 10000.0f);

    FrameData g = groupedRecord();
    setSphere(g, 0, {0.0f, 0.0f, 5.0f}, 1.0f, 0);
    EXPECT_EQ(traceNearest(g, origin, alongZ).objectId, 0);
    EXPECT_EQ(occlusionDistance(g, origin, alongZ), 10000.0f);
}
