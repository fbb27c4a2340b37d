// Light transport along one primary ray: budget, specular chain, sub-paths,
// accumulation sites and the order of random draws.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernel/transport.h"
#include "kernel_scene.h"

namespace {

const Vec3 origin{0.0f, 0.0f, 0.0f};
const Vec3 black{0.0f, 0.0f, 0.0f};

struct SampleResult {
    Vec3 acc;
    int draws;
};

SampleResult trace(const FrameData& fd, int s, Vec3 o, Vec3 d, int pixel = 17, int pass = 2) {
    static const std::vector<unsigned char> table = simpleSamplerTable();
    PixelRng rng = seedPixelRng(pixel, pass);
    const PixelRng before = rng;
    Vec3 acc{0.0f, 0.0f, 0.0f};
    traceSample(fd, table.data(), s, o, d, rng, acc);
    return {acc, drawsBetween(before, rng)};
}

void expectVec(Vec3 v, Vec3 e, float rel = 1e-5f) {
    EXPECT_NEAR(v.x, e.x, rel * std::fabs(e.x) + 1e-9f);
    EXPECT_NEAR(v.y, e.y, rel * std::fabs(e.y) + 1e-9f);
    EXPECT_NEAR(v.z, e.z, rel * std::fabs(e.z) + 1e-9f);
}

bool finite(Vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

const Vec3 sky{0.00012f, 0.00012f, 0.006f};

}  // namespace

TEST(Transport, BudgetGrowsWithThePrimaryRayIndex) {
    const int expected[] = {3, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7};
    for (int s = 0; s < 16; ++s) EXPECT_EQ(bounceBudget(s), expected[s]) << "s = " << s;
    EXPECT_EQ(bounceBudget(1000), 7);
}

TEST(Transport, SkyAndEmitterAddFourTimes) {
    FrameData fd = emptyRecord();
    SampleResult r = trace(fd, 0, origin, {0.0f, 0.0f, 1.0f});
    expectVec(r.acc, 4.0f * sky);
    EXPECT_EQ(r.draws, 0);

    addSphere(fd, {0.0f, 0.0f, 5.0f}, 1.0f, 0);
    setMaterial(fd, 0, 40.0f, 30.0f, 20.0f, 0.0f);
    r = trace(fd, 3, origin, {0.0f, 0.0f, 1.0f});
    expectVec(r.acc, {160.0f, 120.0f, 80.0f});
    EXPECT_EQ(r.draws, 0);

    // Anything beyond 5000 counts as sky, diffuse or not.
    addSphere(fd, {0.0f, 0.0f, 6000.0f}, 10.0f, 2);
    setMaterial(fd, 2, 0.5f, 0.5f, 0.5f, 0.0f);
    r = trace(fd, 3, {0.0f, 0.0f, 10.0f}, {0.0f, 0.0f, 1.0f});
    expectVec(r.acc, 4.0f * sky);
    EXPECT_EQ(r.draws, 0);
}

namespace {

// A white mirror wall facing the camera at x = 5 (the camera looks along +x).
FrameData mirrorRecord() {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, -1000.0f, 0.0f}, 1.0f, 0);  // light out of the way
    setMaterial(fd, 0, 40.0f, 30.0f, 20.0f, 0.0f);
    setMaterial(fd, 1, 1.0f, 1.0f, 1.0f, 1.0f);
    addBox(fd, {5.0f, -10.0f, -10.0f}, {6.0f, 10.0f, 10.0f}, 1);
    return fd;
}

}  // namespace

TEST(Transport, SpecularChainCarriesItsThroughput) {
    FrameData fd = mirrorRecord();
    const Vec3 d{1.0f, 0.0f, 0.0f};
    SampleResult r = trace(fd, 0, origin, d);  // mirror, then sky behind the camera
    expectVec(r.acc, 4.0f * 2.0f * sky);
    EXPECT_EQ(r.draws, 0);

    // The mirror shows the light: four times chain throughput x emitter colour.
    setSphere(fd, 0, {-5.0f, 0.0f, 0.0f}, 1.0f, 0);
    r = trace(fd, 0, origin, d);
    expectVec(r.acc, {320.0f, 240.0f, 160.0f});

    // A second wall behind the camera: the chain bounces until the budget is gone.
    setSphere(fd, 0, {0.0f, -1000.0f, 0.0f}, 1.0f, 0);
    addBox(fd, {-6.0f, -10.0f, -10.0f}, {-5.0f, 10.0f, 10.0f}, 1);
    for (int s : {0, 4}) {
        r = trace(fd, s, origin, d);
        expectVec(r.acc, black, 0.0f);
        EXPECT_EQ(r.draws, 0);
    }
}

TEST(Transport, KindCloseToHalfIsAMirror) {
    FrameData fd = mirrorRecord();
    setMaterial(fd, 1, 1.0f, 1.0f, 1.0f, 0.5f);
    const int glassDraws = trace(fd, 0, origin, {1.0f, 0.0f, 0.0f}).draws;
    EXPECT_GE(glassDraws, 1);  // one per glass surface of the chain
    setMaterial(fd, 1, 1.0f, 1.0f, 1.0f, 0.50001f);
    EXPECT_EQ(trace(fd, 0, origin, {1.0f, 0.0f, 0.0f}).draws, 0);
}

TEST(Transport, ChainEndingOnDiffuseWithOneLevelLeft) {
    // Two mirror walls and a diffuse floor: camera -> wall A -> wall B -> floor.
    FrameData fd = emptyRecord();
    addSphere(fd, {2.0f, 10.0f, 0.0f}, 0.5f, 0);
    setMaterial(fd, 0, 100.0f, 0.0f, 0.0f, 0.0f);  // red light, so any blue came from the sky
    setMaterial(fd, 1, 1.0f, 1.0f, 1.0f, 1.0f);
    setMaterial(fd, 2, 0.5f, 0.5f, 0.5f, 0.0f);
    addBox(fd, {5.0f, -1.0f, -5.0f}, {6.0f, 1.0f, 5.0f}, 1);
    addBox(fd, {-6.0f, -2.0f, -5.0f}, {-5.0f, 1.0f, 5.0f}, 1);
    addBox(fd, {-4.0f, -3.0f, -5.0f}, {4.9f, -2.2f, 5.0f}, 2);
    const Vec3 d = unit({1.0f, -0.1f, 0.0f});

    // s = 0: budget 3, two spent on the walls; each sub-path adds direct light only.
    SampleResult r = trace(fd, 0, origin, d);
    EXPECT_GT(r.acc.x, 0.0f);
    EXPECT_EQ(r.acc.y, 0.0f);
    EXPECT_EQ(r.acc.z, 0.0f);
    EXPECT_EQ(r.draws, 16);

    // With levels to spare the bounces go on (into the sky, mostly).
    bool sawSky = false;
    for (int pass = 0; pass < 8; ++pass) sawSky = sawSky || trace(fd, 1, origin, d, 17, pass).acc.z > 0.0f;
    EXPECT_TRUE(sawSky);
}

namespace {

// A red light inside a glass ball above a diffuse floor: shadow rays never reach
// the light, but bounces through the glass do.
FrameData enclosedLightRecord() {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 4.0f, 0.0f}, 1.5f, 0);
    setMaterial(fd, 0, 100.0f, 0.0f, 0.0f, 0.0f);
    setMaterial(fd, 1, 0.5f, 0.5f, 0.5f, 0.5f);
    setMaterial(fd, 2, 0.5f, 0.5f, 0.5f, 0.0f);
    addSphere(fd, {0.0f, 4.0f, 0.0f}, 2.0f, 1);
    addBox(fd, {-50.0f, -1.0f, -50.0f}, {50.0f, 0.0f, 50.0f}, 2);
    return fd;
}

}  // namespace

TEST(Transport, NoEmissionAfterADiffuseSurface) {
    const FrameData fd = enclosedLightRecord();
    // Looking into the glass ball, the light's emission arrives.
    float seen = 0.0f;
    for (int pass = 0; pass < 16; ++pass) seen += trace(fd, 2, {0.0f, 4.0f, -6.0f}, {0.0f, 0.0f, 1.0f}, 3, pass).acc.x;
    EXPECT_GT(seen, 100.0f);

    // Looking at the floor under the ball: every bounce that reaches the light
    // comes after a diffuse surface, and the shadow rays are blocked by the glass.
    const Vec3 d = unit({0.0f, -1.0f, 1.0f});
    for (int pass = 0; pass < 64; ++pass) {
        const SampleResult r = trace(fd, pass % 8, {0.0f, 1.0f, -1.0f}, d, 5, pass);
        EXPECT_EQ(r.acc.x, r.acc.y) << "pass " << pass;  // only the grey sky
    }
}

TEST(Transport, TotalInternalReflectionNeverPoisonsTheAccumulator) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 30.0f, 0.0f}, 3.0f, 0);
    setMaterial(fd, 0, 40.0f, 40.0f, 40.0f, 0.0f);
    setMaterial(fd, 1, 0.5f, 0.5f, 0.5f, 0.5f);
    setMaterial(fd, 2, 0.6f, 0.5f, 0.4f, 0.0f);
    addSphere(fd, {0.0f, -10000.0f, 0.0f}, 10000.0f, 2);
    addSphere(fd, {0.0f, 5.0f, 0.0f}, 2.0f, 1);
    addSphere(fd, {1.2f, 5.0f, 0.6f}, 0.5f, 2);  // diffuse ball inside the glass, near its wall

    // Along a great circle inside the glass: every surface totally reflects, so
    // the chain runs out of budget with one draw per surface and adds nothing.
    for (int s : {0, 4}) {
        const SampleResult r = trace(fd, s, {0.0f, 6.8f, 0.0f}, {1.0f, 0.0f, 0.0f});
        expectVec(r.acc, black, 0.0f);
        EXPECT_EQ(r.draws, bounceBudget(s));
    }
    // Rays in all directions from inside the glass, many of them reflected totally.
    for (int i = 0; i < 400; ++i) {
        const float a = 0.37f * static_cast<float>(i);
        const float b = 0.11f * static_cast<float>(i);
        const Vec3 d = unit({std::cos(a) * std::cos(b), std::sin(b), std::sin(a) * std::cos(b)});
        const SampleResult r = trace(fd, i % 8, {-0.8f, 6.4f, 0.8f}, d, i, i / 8);
        ASSERT_TRUE(finite(r.acc)) << "ray " << i;
    }
}
