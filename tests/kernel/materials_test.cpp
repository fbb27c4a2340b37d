// Surface responses: glass and diffuse with direct light.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/materials.h"
#include "kernel_scene.h"

namespace {

// First generator (scanning passes) whose next draw is below or at/above the limit.
PixelRng rngWithDraw(bool below, float limit) {
    for (int pass = 0;; ++pass)
        if (PixelRng rng = seedPixelRng(7, pass), probe = rng; (nextRandom(probe) < limit) == below) return rng;
}

FrameData glassRecord(Vec3 centre, float radius) {
    FrameData fd = emptyRecord();
    setSphere(fd, 3, centre, radius, 2);
    fd.sphereCount = 4;
    fd.materials[2] = {0.5f, 0.5f, 0.5f, 0.5f};
    return fd;
}

}  // namespace

// Head on, Re = 0.1 and the reflect choice is made with probability 0.3.
TEST(Glass, NormalIncidenceWeights) {
    const FrameData fd = glassRecord({0.0f, 0.0f, 10.0f}, 1.0f);
    const Vec3 n{0.0f, 0.0f, -1.0f};
    for (GlassVariant variant : {GlassVariant::Chain, GlassVariant::SubPath}) {
        for (bool reflect : {true, false}) {
            // The chain variant chooses by the draw, the sub-path one by the stratum byte.
            PixelRng rng = variant == GlassVariant::Chain ? rngWithDraw(reflect, 0.3f) : seedPixelRng(5, 9);
            const PixelRng before = rng;
            Vec3 thr{1.0f, 1.0f, 1.0f};
            const Vec3 next = scatterGlass(fd, variant, origin, alongZ, 3, n, thr, rng, reflect ? 0 : samplesPerFrame - 1);
            EXPECT_EQ(drawsBetween(before, rng), 1);
            expectVec(next, reflect ? n : alongZ);
            expectVec(thr, Vec3{1.0f, 1.0f, 1.0f} * (reflect ? 1.0f / 3.0f : 0.9f / 0.7f));
        }
    }
}

// Leaving a radius-2 sphere along a chord at height h: sin i = h / 2. The chain
// bends by 1.5 and the sub-paths by 1.2, so h = 1.5 is total internal reflection
// for the chain only. Reflecting totally keeps the weight, stays finite and
// still takes its draw.
TEST(Glass, LeavingTheSphereAndTotalInternalReflection) {
    const FrameData fd = glassRecord(origin, 2.0f);
    const Vec3 d{1.0f, 0.0f, 0.0f};
    for (float h : {1.5f, 1.8f}) {
        const Vec3 o{0.0f, h, 0.0f};
        const Vec3 n = Vec3{std::sqrt(4.0f - h * h), h, 0.0f} * 0.5f;  // outward, where the ray leaves
        for (GlassVariant variant : {GlassVariant::Chain, GlassVariant::SubPath}) {
            PixelRng rng = seedPixelRng(3, 1);
            const PixelRng before = rng;
            Vec3 thr{0.5f, 0.25f, 2.0f};
            const Vec3 next = scatterGlass(fd, variant, o, d, 3, n, thr, rng, samplesPerFrame - 1);
            ASSERT_TRUE(std::isfinite(next.x) && std::isfinite(next.y) && std::isfinite(next.z));
            EXPECT_EQ(drawsBetween(before, rng), 1);
            if (variant == GlassVariant::Chain || h > 1.7f) {
                expectVec(next, d - 2.0f * dot(d, n) * n);
                expectVec(thr, {0.5f, 0.25f, 2.0f}, 0.0f);
                continue;
            }
            // The sub-path's last stratum always transmits here, bent outwards to sin t = 0.9.
            const float cosT = dot(next, n);
            EXPECT_GT(cosT, 0.0f);
            EXPECT_NEAR(std::sqrt(1.0f - cosT * cosT), 1.2f * h / 2.0f, 1e-4f);
            const float re = 0.1f + 0.9f * std::pow(1.0f - cosT, 5.0f);  // Re from the refracted angle
            EXPECT_NEAR(thr.x, 0.5f * (1.0f - re) / (0.75f - 0.5f * re), 1e-4f);
        }
    }
}

// Light sphere 0 at the origin, radius 1, colour (40, 20, 10), seen from 10 below.
TEST(Diffuse, DirectLightTakesFourDrawsLitOrBlocked) {
    FrameData fd = emptyRecord();
    addSphere(fd, origin, 1.0f, 0);
    fd.materials[0] = {40.0f, 20.0f, 10.0f, 0.0f};
    const Vec3 n{0.0f, 0.0f, 1.0f};
    const auto shade = [&](Vec3 normal, Vec3& acc) {
        PixelRng rng = seedPixelRng(11, 4);
        const PixelRng before = rng;
        Vec3 thr{1.0f, 1.0f, 1.0f};
        const Vec3 next = shadeDiffuse(fd, {0.0f, 0.0f, -10.0f}, normal, thr, rng, 0, 0, acc);
        EXPECT_EQ(drawsBetween(before, rng), 4);
        EXPECT_EQ(thr.x, 0.31831f);
        return next;
    };
    // Byte 0 = 0 puts the light point on the far side (z > 0): still lit.
    Vec3 acc{}, blocked{};
    const Vec3 next = shade(n, acc);
    // Distance between 10.5 and 11, cosine above 0.99.
    EXPECT_GT(acc.x, 0.31831f * 40.0f * 0.98f / 122.0f);
    EXPECT_LT(acc.x, 0.31831f * 40.0f / (10.5f * 10.5f));
    EXPECT_NEAR(acc.y, acc.x / 2.0f, 1e-6f);
    EXPECT_GE(dot(next, n), 0.0f);
    EXPECT_NEAR(dot(next, next), 1.0f, 1e-4f);

    addSphere(fd, {0.0f, 0.0f, -5.0f}, 1.0f, 3);  // any other object in between: same bounce, no light
    expectVec(shade(n, blocked), next, 0.0f);
    expectVec(blocked, origin, 0.0f);
}
