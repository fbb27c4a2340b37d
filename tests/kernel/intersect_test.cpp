// Nearest-hit and occlusion queries in both layouts.
#include <gtest/gtest.h>

#include "kernel/intersect.h"
#include "kernel_scene.h"

namespace {

// A grouped-layout record with every object and both volumes parked far away,
// so tests can place just the objects they need.
FrameData groupedRecord() {
    FrameData fd = emptyRecord();
    fd.sceneId = 1;
    const Vec3 far{0.0f, -1.0e6f, 0.0f}, farCorner{1.0f, -1.0e6f + 1.0f, 1.0f};
    for (int i = 0; i < maxSpheres; ++i) setSphere(fd, i, far, 1.0f, i == 0 ? 0 : 1);
    for (int j = 0; j < maxBoxes; ++j) setBox(fd, j, far, farCorner, 1);
    for (int v : {0, 1}) setBounds(fd, v, far, farCorner);
    return fd;
}

}  // namespace

TEST(Intersect, InsideASphereOneSidedMissesTwoSidedHitsTheFarSide) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 0.0f, 1.0f}, 3.0f, 0);  // emitter material: one-sided
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 999);

    fd.sphereMaterial[0] = 2;  // any other material: two-sided
    const HitRecord hit = traceNearest(fd, origin, alongZ);
    EXPECT_EQ(hit.objectId, 0);
    EXPECT_FLOAT_EQ(hit.t, 4.0f);
    expectVec(hit.normal, {0.0f, 0.0f, 1.0f});  // outward, with the ray
    // The shadow query is always two-sided but never sees sphere 0.
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 10000.0f);
    addSphere(fd, {0.0f, 0.0f, 1.0f}, 3.0f, 0);
    EXPECT_FLOAT_EQ(occlusionDistance(fd, origin, alongZ), 4.0f);

    // Grazing: the one-sided test takes the tangent point, the two-sided ones do not.
    setSphere(fd, 0, {0.0f, 1.0f, 5.0f}, 1.0f, 0);
    EXPECT_FLOAT_EQ(traceNearest(fd, origin, alongZ).t, 5.0f);
    fd.sphereMaterial[0] = 3;
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 999);
    setSphere(fd, 1, {0.0f, 1.0f, 5.0f}, 1.0f, 0);
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 10000.0f);
}

TEST(Intersect, BoxesReportIdFourteenAndFaceTheRay) {
    FrameData fd = emptyRecord();
    setBox(fd, 0, {1.0f, 1.0f, 7.0f}, {-1.0f, -1.0f, 5.0f}, 4);  // corners in either order
    fd.boxCount = 1;
    HitRecord hit = traceNearest(fd, origin, alongZ);
    EXPECT_EQ(hit.objectId, 14);
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
    expectVec(hit.normal, {0.0f, 0.0f, -1.0f});
    // Zero direction components: outside the slab the ray misses.
    EXPECT_EQ(traceNearest(fd, {1.5f, 0.5f, 0.0f}, alongZ).objectId, 999);

    // From inside: distance 0, normal on the x axis against D.x.
    setBox(fd, 0, {-2.0f, -2.0f, -2.0f}, {2.0f, 2.0f, 2.0f}, 1);
    hit = traceNearest(fd, origin, {0.0f, 0.6f, 0.8f});
    EXPECT_EQ(hit.t, 0.0f);
    expectVec(hit.normal, {1.0f, 0.0f, 0.0f});
    expectVec(traceNearest(fd, origin, {0.6f, 0.0f, 0.8f}).normal, {-1.0f, 0.0f, 0.0f});
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 0.0f);
}

TEST(Intersect, CountedLayoutStopsAtTheCountsGroupedIgnoresThem) {
    FrameData fd = emptyRecord();
    fd.sphereCount = 4;
    setSphere(fd, 5, {0.0f, 0.0f, 5.0f}, 1.0f, 1);
    setBox(fd, 0, {-1.0f, -1.0f, 8.0f}, {1.0f, 1.0f, 9.0f}, 1);
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 999);
    fd.sphereCount = 6;
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 5);

    FrameData g = groupedRecord();
    g.sphereCount = 4;
    setSphere(g, 16, {0.0f, 0.0f, 20.0f}, 1.0f, 2);
    setSphere(g, 17, {0.0f, 0.0f, 10.0f}, 1.0f, 2);  // never tested in this layout
    EXPECT_EQ(traceNearest(g, origin, alongZ).objectId, 16);

    // Figure sphere 7 is seen only once the ray enters volume 0.
    setSphere(g, 7, {0.0f, 0.0f, 5.0f}, 1.0f, 2);
    EXPECT_EQ(traceNearest(g, origin, alongZ).objectId, 16);
    EXPECT_FLOAT_EQ(occlusionDistance(g, origin, alongZ), 19.0f);
    setBounds(g, 0, {-1.0f, -1.0f, 4.0f}, {1.0f, 1.0f, 6.0f});
    EXPECT_EQ(traceNearest(g, origin, alongZ).objectId, 7);
    // The shadow query skips the light, sphere 0, in this layout too.
    setSphere(g, 0, {0.0f, 0.0f, 2.0f}, 0.5f, 0);
    EXPECT_EQ(traceNearest(g, origin, alongZ).objectId, 0);
    EXPECT_FLOAT_EQ(occlusionDistance(g, origin, alongZ), 4.0f);
    // Figure spheres are one-sided whatever their material; the rest go by material.
    EXPECT_EQ(traceNearest(g, {0.0f, 0.0f, 5.0f}, alongZ).objectId, 16);
    setSphere(g, 12, {0.0f, 0.0f, 5.0f}, 1.5f, 2);
    EXPECT_EQ(traceNearest(g, {0.0f, 0.0f, 5.0f}, alongZ).objectId, 12);
}

TEST(Intersect, FarFigureCastsShadowsButIsNotSeen) {
    FrameData fd = groupedRecord();
    for (float z : {500.0f, 1500.0f}) {
        setSphere(fd, 8, {0.0f, 0.0f, z}, 10.0f, 2);
        setBounds(fd, 0, {-10.0f, -10.0f, z - 10.0f}, {10.0f, 10.0f, z + 10.0f});
        EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, z < 1000.0f ? 8 : 999);
        EXPECT_FLOAT_EQ(occlusionDistance(fd, origin, alongZ), z - 10.0f);
    }
}
