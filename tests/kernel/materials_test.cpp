// Surface responses: glass, mirror, diffuse with direct light.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/materials.h"
#include "kernel_scene.h"

namespace {

const Vec3 origin{0.0f, 0.0f, 0.0f};

bool finite(Vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

void expectVec(Vec3 v, Vec3 e, float tol = 1e-5f) {
    EXPECT_NEAR(v.x, e.x, tol);
    EXPECT_NEAR(v.y, e.y, tol);
    EXPECT_NEAR(v.z, e.z, tol);
}

// First generator (scanning passes) whose next draw is below or at/above the limit.
PixelRng rngWithDraw(bool below, float limit) {
    for (int pass = 0;; ++pass) {
        PixelRng rng = seedPixelRng(7, pass);
        PixelRng probe = rng;
        if ((nextRandom(probe) < limit) == below) return rng;
    }
}

// A glass sphere 3 centred on the z axis at distance 10, radius 1.
FrameData glassRecord() {
    FrameData fd = emptyRecord();
    setSphere(fd, 3, {0.0f, 0.0f, 10.0f}, 1.0f, 2);
    fd.sphereCount = 4;
    setMaterial(fd, 2, 0.5f, 0.5f, 0.5f, 0.5f);
    return fd;
}

}  // namespace

TEST(Glass, NormalIncidenceFromOutside) {
    const FrameData fd = glassRecord();
    const Vec3 d{0.0f, 0.0f, 1.0f};
    const Vec3 n{0.0f, 0.0f, -1.0f};
    for (bool reflect : {true, false}) {
        PixelRng rng = rngWithDraw(reflect, 0.3f);
        const PixelRng before = rng;
        Vec3 thr{1.0f, 1.0f, 1.0f};
        const Vec3 next = scatterGlass(fd, GlassVariant::Chain, origin, d, 3, n, thr, rng, 0);
        EXPECT_EQ(drawsBetween(before, rng), 1);
        if (reflect) {
            expectVec(next, {0.0f, 0.0f, -1.0f});
            EXPECT_NEAR(thr.x, 1.0f / 3.0f, 1e-5f);
        } else {
            expectVec(next, d);
            EXPECT_NEAR(thr.y, 0.9f / 0.7f, 1e-5f);
        }
    }
    // Sub-path variant: the stratum byte decides (stratum 0 lies below 0.3, the last above).
    for (int byte2 : {0, samplesPerFrame - 1}) {
        PixelRng rng = seedPixelRng(5, 9);
        const PixelRng before = rng;
        Vec3 thr{1.0f, 1.0f, 1.0f};
        const Vec3 next = scatterGlass(fd, GlassVariant::SubPath, origin, d, 3, n, thr, rng, byte2);
        EXPECT_EQ(drawsBetween(before, rng), 1);
        EXPECT_NEAR(next.z, byte2 == 0 ? -1.0f : 1.0f, 1e-5f);
        EXPECT_NEAR(thr.z, byte2 == 0 ? 1.0f / 3.0f : 0.9f / 0.7f, 1e-5f);
    }
}

TEST(Glass, GrazingIncidenceReflectsAlmostFully) {
    const FrameData fd = glassRecord();
    const Vec3 d = unit({1.0f, 0.0f, 0.001f});
    const Vec3 n{0.0f, 0.0f, -1.0f};
    PixelRng rng = seedPixelRng(1, 1);
    Vec3 thr{1.0f, 1.0f, 1.0f};
    const Vec3 next = scatterGlass(fd, GlassVariant::SubPath, origin, d, 3, n, thr, rng, 0);
    const float re = 0.1f + 0.9f * std::pow(1.0f - d.z, 5.0f);
    EXPECT_GT(re, 0.99f);
    EXPECT_NEAR(thr.x, re / (0.25f + 0.5f * re), 1e-4f);
    expectVec(next, {d.x, 0.0f, -d.z});
}

TEST(Glass, LeavingASphereBendsAwayFromTheNormal) {
    FrameData fd = emptyRecord();
    setSphere(fd, 5, origin, 2.0f, 2);
    fd.sphereCount = 6;
    setMaterial(fd, 2, 0.5f, 0.5f, 0.5f, 0.5f);
    // A chord 1.3 from the centre: sin of incidence 0.65, close to the critical angle.
    const Vec3 o{0.0f, 1.3f, 0.0f};
    const Vec3 d{1.0f, 0.0f, 0.0f};
    const HitRecord hit = traceNearest(fd, o, d);
    ASSERT_EQ(hit.objectId, 5);
    const Vec3 n = hit.normal;  // outward
    const float sinI = std::sqrt(1.0f - dot(d, n) * dot(d, n));
    for (GlassVariant variant : {GlassVariant::Chain, GlassVariant::SubPath}) {
        const float ratio = variant == GlassVariant::Chain ? 1.5f : 1.2f;
        ASSERT_LT(sinI * ratio, 1.0f);
        // The last stratum / a high draw always transmits: leaving, Re stays below 1.
        PixelRng rng = rngWithDraw(false, 0.75f);
        Vec3 thr{1.0f, 1.0f, 1.0f};
        const Vec3 t = scatterGlass(fd, variant, o, d, 5, n, thr, rng, samplesPerFrame - 1);
        EXPECT_NEAR(dot(t, t), 1.0f, 1e-5f);
        const float cosT = dot(t, n);
        EXPECT_GT(cosT, 0.0f);
        EXPECT_NEAR(std::sqrt(1.0f - cosT * cosT), ratio * sinI, 1e-4f);
        const float re = 0.1f + 0.9f * std::pow(1.0f - cosT, 5.0f);
        EXPECT_NEAR(thr.x, (1.0f - re) / (1.0f - (0.25f + 0.5f * re)), 1e-4f);
    }
}

TEST(Glass, TotalInternalReflectionMirrorsAndKeepsTheDrawAligned) {
    FrameData fd = emptyRecord();
    setSphere(fd, 5, origin, 2.0f, 2);
    fd.sphereCount = 6;
    setMaterial(fd, 2, 0.5f, 0.5f, 0.5f, 0.5f);
    const Vec3 o{0.0f, 1.8f, 0.0f};
    const Vec3 d{1.0f, 0.0f, 0.0f};
    const HitRecord hit = traceNearest(fd, o, d);
    ASSERT_EQ(hit.objectId, 5);
    const Vec3 n = hit.normal;
    const Vec3 mirrored = d - 2.0f * dot(d, n) * n;
    for (GlassVariant variant : {GlassVariant::Chain, GlassVariant::SubPath}) {
        for (int pass = 0; pass < 20; ++pass) {
            PixelRng rng = seedPixelRng(3, pass);
            const PixelRng before = rng;
            Vec3 thr{0.5f, 0.25f, 2.0f};
            const Vec3 next = scatterGlass(fd, variant, o, d, 5, n, thr, rng, pass % samplesPerFrame);
            ASSERT_TRUE(finite(next));
            expectVec(next, mirrored);
            expectVec(thr, {0.5f, 0.25f, 2.0f}, 0.0f);
            EXPECT_EQ(drawsBetween(before, rng), 1);
        }
    }
}

TEST(Mirror, WhiteMirrorHeadOnDoubles) {
    FrameData fd = emptyRecord();
    setMaterial(fd, 4, 1.0f, 1.0f, 1.0f, 1.0f);
    Vec3 thr{1.0f, 0.5f, 0.25f};
    tintThroughput(fd, thr, 4);
    const Vec3 next = reflectMirror({0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.0f}, thr);
    expectVec(next, {0.0f, 0.0f, -1.0f});
    expectVec(thr, {2.0f, 1.0f, 0.5f});
    // Oblique: weighted by the cosine of the reflected ray.
    Vec3 thr2{1.0f, 1.0f, 1.0f};
    const Vec3 d = unit({1.0f, 0.0f, 1.0f});
    reflectMirror(d, {0.0f, 0.0f, -1.0f}, thr2);
    EXPECT_NEAR(thr2.x, d.z, 1e-6f);
}

namespace {

// Light sphere 0 at the origin, radius 1, colour (40, 20, 10).
FrameData lightRecord() {
    FrameData fd = emptyRecord();
    addSphere(fd, origin, 1.0f, 0);
    setMaterial(fd, 0, 40.0f, 20.0f, 10.0f, 0.0f);
    return fd;
}

}  // namespace

TEST(Diffuse, DirectLightFromTheLightSphere) {
    FrameData fd = lightRecord();
    const Vec3 p{0.0f, 0.0f, -10.0f};
    const Vec3 n{0.0f, 0.0f, 1.0f};
    // Byte 0 = 0 puts the light point on the far side (z > 0): still lit.
    PixelRng rng = seedPixelRng(11, 4);
    const PixelRng before = rng;
    Vec3 thr{1.0f, 1.0f, 1.0f};
    Vec3 acc{0.0f, 0.0f, 0.0f};
    const Vec3 next = shadeDiffuse(fd, p, n, thr, rng, 0, 0, acc);
    EXPECT_EQ(drawsBetween(before, rng), 4);
    expectVec(thr, {0.31831f, 0.31831f, 0.31831f}, 0.0f);
    // Distance between 10.5 and 11, cosine above 0.99.
    EXPECT_GT(acc.x, 0.31831f * 40.0f * 0.98f / 122.0f);
    EXPECT_LT(acc.x, 0.31831f * 40.0f / (10.5f * 10.5f));
    EXPECT_NEAR(acc.y, acc.x / 2.0f, 1e-6f);
    EXPECT_NEAR(acc.z, acc.x / 4.0f, 1e-6f);
    EXPECT_GE(dot(next, n), 0.0f);
    EXPECT_NEAR(dot(next, next), 1.0f, 1e-4f);

    // Any other object in between blocks it; the draws stay the same.
    addSphere(fd, {0.0f, 0.0f, -5.0f}, 1.0f, 3);
    PixelRng rng2 = before;
    Vec3 thr2{1.0f, 1.0f, 1.0f};
    Vec3 acc2{0.0f, 0.0f, 0.0f};
    const Vec3 next2 = shadeDiffuse(fd, p, n, thr2, rng2, 0, 0, acc2);
    expectVec(acc2, origin, 0.0f);
    EXPECT_TRUE(sameState(rng, rng2));
    expectVec(next2, next, 0.0f);
}

TEST(Diffuse, FacingAwayAddsNothingButTakesFourDraws) {
    const FrameData fd = lightRecord();
    for (int pass = 0; pass < 10; ++pass) {
        PixelRng rng = seedPixelRng(2, pass);
        const PixelRng before = rng;
        Vec3 thr{1.0f, 1.0f, 1.0f};
        Vec3 acc{0.0f, 0.0f, 0.0f};
        shadeDiffuse(fd, {0.0f, 0.0f, -10.0f}, {0.0f, 0.0f, -1.0f}, thr, rng, pass, pass * 3, acc);
        expectVec(acc, origin, 0.0f);
        EXPECT_EQ(drawsBetween(before, rng), 4);
    }
}

namespace {

// The bounce direction for given draws and an explicit auxiliary axis.
Vec3 bounceWith(Vec3 axis, Vec3 n, float u3, float u4) {
    const Vec3 u = unit(cross(axis, n));
    const Vec3 v = cross(u, n);
    const float phi = 6.2831f * u3;
    return u * (std::cos(phi) * std::sqrt(u4)) + v * (std::sin(phi) * std::sqrt(u4)) + n * std::sqrt(1.0f - u4);
}

}  // namespace

TEST(Diffuse, AuxiliaryAxisSwitchesAtATenth) {
    const FrameData fd = lightRecord();
    const int byte1 = samplesPerFrame - 3;
    for (float nx : {0.1f, 0.0999f}) {
        const Vec3 n{nx, std::sqrt(1.0f - nx * nx), 0.0f};
        PixelRng rng = seedPixelRng(100, 1);
        PixelRng probe = rng;
        nextRandom(probe);
        nextRandom(probe);
        const float u3 = (static_cast<float>(byte1 % 8) + nextRandom(probe)) * 0.125f;
        const float u4 = (static_cast<float>(byte1 / 8) + nextRandom(probe)) * secondStratumWidth;
        Vec3 thr{1.0f, 1.0f, 1.0f};
        Vec3 acc{0.0f, 0.0f, 0.0f};
        const Vec3 next = shadeDiffuse(fd, {0.0f, -20.0f, 0.0f}, n, thr, rng, 0, byte1, acc);
        const Vec3 axis = nx == 0.1f ? Vec3{0.0f, 1.0f, 0.0f} : Vec3{1.0f, 0.0f, 0.0f};
        expectVec(next, bounceWith(axis, n, u3, u4), 1e-5f);
    }
}
