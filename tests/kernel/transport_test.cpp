// Light transport along one primary ray: budget, specular chain, sub-paths,
// accumulation sites and the order of random draws.
#include <gtest/gtest.h>

#include "kernel/transport.h"
#include "kernel_scene.h"

namespace {

const Vec3 sky{0.00012f, 0.00012f, 0.006f};
const Vec3 xAxis{1.0f, 0.0f, 0.0f};

struct SampleResult {
    Vec3 acc;
    int draws;
};

SampleResult trace(const FrameData& fd, int s, Vec3 o, Vec3 d, int pixel = 17, int pass = 2) {
    PixelRng rng = seedPixelRng(pixel, pass);
    const PixelRng before = rng;
    Vec3 acc{0.0f, 0.0f, 0.0f};
    traceSample(fd, samplerTable(), s, o, d, rng, acc);
    return {acc, drawsBetween(before, rng)};
}

}  // namespace

TEST(Transport, BudgetGrowsWithThePrimaryRayIndex) {
    const int expected[] = {3, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7};
    for (int s = 0; s < 16; ++s) EXPECT_EQ(bounceBudget(s), expected[s]) << "s = " << s;
    EXPECT_EQ(bounceBudget(1000), 7);
}

TEST(Transport, SkyAndEmitterAddFourTimes) {
    FrameData fd = emptyRecord();
    SampleResult r = trace(fd, 0, origin, alongZ);
    expectVec(r.acc, 4.0f * sky, 1e-9f);
    EXPECT_EQ(r.draws, 0);

    addSphere(fd, {0.0f, 0.0f, 5.0f}, 1.0f, 0);
    fd.materials[0] = {40.0f, 30.0f, 20.0f, 0.0f};
    r = trace(fd, 3, origin, alongZ);
    expectVec(r.acc, {160.0f, 120.0f, 80.0f}, 1e-3f);
    EXPECT_EQ(r.draws, 0);

    // Anything beyond 5000 counts as sky, diffuse or not.
    addSphere(fd, {0.0f, 0.0f, 6000.0f}, 10.0f, 2);
    r = trace(fd, 3, {0.0f, 0.0f, 10.0f}, alongZ);
    expectVec(r.acc, 4.0f * sky, 1e-9f);
    EXPECT_EQ(r.draws, 0);
}

TEST(Transport, SpecularChainCarriesItsThroughputUntilTheBudgetIsGone) {
    // A white mirror wall facing the camera at x = 5, the light behind the camera.
    FrameData fd = emptyRecord();
    addSphere(fd, {-5.0f, 0.0f, 0.0f}, 1.0f, 0);
    fd.materials[0] = {40.0f, 30.0f, 20.0f, 0.0f};
    fd.materials[1] = {1.0f, 1.0f, 1.0f, 1.0f};
    addBox(fd, {5.0f, -10.0f, -10.0f}, {6.0f, 10.0f, 10.0f}, 1);
    // Four times chain throughput (2 x white) x emitter colour.
    expectVec(trace(fd, 0, origin, xAxis).acc, {320.0f, 240.0f, 160.0f}, 1e-3f);

    setSphere(fd, 0, {0.0f, -1000.0f, 0.0f}, 1.0f, 0);  // light out of the way
    expectVec(trace(fd, 0, origin, xAxis).acc, 4.0f * 2.0f * sky, 1e-9f);

    // A second wall behind the camera: the chain bounces until the budget is gone.
    addBox(fd, {-6.0f, -10.0f, -10.0f}, {-5.0f, 10.0f, 10.0f}, 1);
    for (int s : {0, 4}) {
        const SampleResult r = trace(fd, s, origin, xAxis);
        expectVec(r.acc, origin, 0.0f);
        EXPECT_EQ(r.draws, 0);
    }
}

// A red light inside a glass ball above a diffuse floor: shadow rays never reach
// the light, but bounces through the glass do.
TEST(Transport, NoEmissionAfterADiffuseSurface) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 4.0f, 0.0f}, 1.5f, 0);
    addSphere(fd, {0.0f, 4.0f, 0.0f}, 2.0f, 1);
    addBox(fd, {-50.0f, -1.0f, -50.0f}, {50.0f, 0.0f, 50.0f}, 2);
    fd.materials[0] = {100.0f, 0.0f, 0.0f, 0.0f};
    fd.materials[1] = {0.5f, 0.5f, 0.5f, 0.5f};
    fd.materials[2] = {0.5f, 0.5f, 0.5f, 0.0f};
    // Looking into the ball the light's emission arrives; looking at the floor
    // under it, only the grey sky may.
    float seen = 0.0f;
    for (int pass = 0; pass < 16; ++pass) seen += trace(fd, 2, {0.0f, 4.0f, -6.0f}, alongZ, 3, pass).acc.x;
    EXPECT_GT(seen, 100.0f);
    for (int pass = 0; pass < 64; ++pass) {
        const Vec3 acc = trace(fd, pass % 8, {0.0f, 1.0f, -1.0f}, {0.0f, -0.7071f, 0.7071f}, 5, pass).acc;
        EXPECT_EQ(acc.x, acc.y) << "pass " << pass;
    }
}
