// The tracer on small hand-built scene records: per-pixel generator, pixel
// order and output, nearest-hit and occlusion queries, surface responses and
// light transport along one primary ray.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "kernel/render_pixel.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"
#include "kernel/test_records.h"

namespace {

const Vec3 origin{0.0f, 0.0f, 0.0f}, alongZ{0.0f, 0.0f, 1.0f}, alongX{1.0f, 0.0f, 0.0f};
const Vec3 sky{0.00012f, 0.00012f, 0.006f};

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

// A table of scattered stratum numbers, every byte valid for this build.
const unsigned char* samplerTable() {
    static std::vector<unsigned char> table(samplesPerFrame * samplerLevels * samplerChannels);
    for (size_t i = 0; i < table.size(); ++i) table[i] = (uint32_t((i + 1) * 2654435761u) >> 16) % samplesPerFrame;
    return table.data();
}

// How many draws lead from state before to state after (-1 if none within 1000).
int drawsBetween(PixelRng a, const PixelRng& b) {
    for (int n = 0; n <= 1000; ++n, nextRandom(a))
        if (std::memcmp(&a, &b, sizeof a) == 0) return n;
    return -1;
}

// First generator (scanning passes) whose next draw is below or at/above the limit.
PixelRng rngWithDraw(bool below, float limit) {
    for (int pass = 0;; ++pass)
        if (PixelRng rng = seedPixelRng(7, pass), probe = rng; (nextRandom(probe) < limit) == below) return rng;
}

void expectVec(Vec3 v, Vec3 e, float tol = 1e-5f) {
    EXPECT_NEAR(v.x, e.x, tol);
    EXPECT_NEAR(v.y, e.y, tol);
    EXPECT_NEAR(v.z, e.z, tol);
}

void expectHit(const HitRecord& hit, int objectId, float t, Vec3 normal) {
    EXPECT_EQ(hit.objectId, objectId);
    EXPECT_FLOAT_EQ(hit.t, t);
    expectVec(hit.normal, normal);
}

// After its one primary ray the path is done.
struct OneSample {
    SampleBlock block{0, 0};  // the sub-path rows of a full frame
    void nextSample(PathState<float>& st, bool m) const {
        if (m) st.phase = phaseDone;
    }
};

// Traces primary ray s (origin o, unit direction d) alone and adds its light into acc.
void traceSample(const FrameData& fd, const unsigned char* sdata, int s, Vec3 o, Vec3 d, PixelRng& rng, Vec3& acc) {
    PathState<float> st{};
    st.sample = s;
    st.acc = acc;
    st.rng = rng;
    startChain(st, true, o, d);
    const OneSample next;
    while (st.phase != phaseDone) advancePaths(fd, sdata, next, st);
    acc = st.acc;
    rng = st.rng;
}

// What primary ray s adds for the generator of (pixel, pass); when takesNoDraws
// the ray must leave that generator untouched.
Vec3 trace(const FrameData& fd, int s, Vec3 o, Vec3 d, bool takesNoDraws = true, int pixel = 17, int pass = 2) {
    PixelRng rng = seedPixelRng(pixel, pass);
    Vec3 acc{0.0f, 0.0f, 0.0f};
    traceSample(fd, samplerTable(), s, o, d, rng, acc);
    if (takesNoDraws) {
        EXPECT_EQ(drawsBetween(seedPixelRng(pixel, pass), rng), 0);
    }
    return acc;
}

}  // namespace

TEST(PixelRng, FirstOutputsOfPixelZeroPassZero) {
    PixelRng rng = seedPixelRng(0, 0), copy = rng;
    for (uint32_t expected : {188758181u, 4194649926u, 1221550371u}) EXPECT_EQ(nextRandomBits(rng), expected);
    EXPECT_NEAR(nextRandom(copy), 0.04394868f, 1e-8f);
    // The largest output rounds to 2^32 as a float and must still land below 1.
    EXPECT_LT(static_cast<float>(0xFFFFFFFFu) * rngOutputScale, 1.0f);
}

// Each 32 threads shade an 8 x 4 tile of a 512-wide run; runs of 2048 map onto
// themselves, and threads past the last whole run keep their own pixel.
TEST(PixelPermutation, EightByFourTilesAndEveryPixelOnce) {
    const int frame = frameWidth * frameHeight;
    const std::array<int, 3> cases[] = {{7, frame, 7},   {8, frame, 512},     {24, frame, 1536},   {31, frame, 1543},
                                        {32, frame, 8},  {2047, frame, 2047}, {2048, frame, 2048}, {7000, 7500, 7000},
                                        {-1, frame, -1}, {frame, frame, -1},  {7599, 7500, -1}};
    for (const auto& [g, count, p] : cases) EXPECT_EQ(pixelForThread(g, count), p) << "thread " << g;
    // The full frame, and one whose size is not a multiple of the run.
    for (int count : {frame, 100 * 75}) {
        std::vector<int> seen(count);
        for (int g = 0; g < count; ++g) seen[g] = pixelForThread(g, count);
        std::sort(seen.begin(), seen.end());
        for (int p = 0; p < count; ++p) ASSERT_EQ(seen[p], p) << "pixel " << p << " of " << count;
    }
}

TEST(PixelOutput, ToneCurveSaturationAndPacking) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    // Interior values worked by hand from 255 (1.13 sqrt(q) - 0.13 q), truncated:
    // e.g. 0.81 gives 255 (1.017 - 0.1053) = 232.48.
    const std::pair<float, unsigned> cases[] = {
        {0.0001f, 2u}, {0.01f, 28u}, {0.04f, 56u}, {0.25f, 135u}, {0.5f, 187u}, {0.81f, 232u}, {0.0f, 0u},
        {1.0f, 255u},  {7.5f, 255u}, {-3.0f, 0u},  {inf, 255u},   {-inf, 0u},   {nan, 0u}};
    for (const auto& [value, byte] : cases) EXPECT_EQ(toneByte(value), byte) << "value " << value;
    const float full = 32.0f / 22.5f;  // scaled to exactly 1 with S = 32
    EXPECT_EQ(packPixel({full, 0.25f * full, nan}, 32), 0x00FF8700u);
    EXPECT_EQ(packPixel({nan, -1.0f, 4.0f * full}, 64), 0x000000FFu);
}

// Every sub-path of a pixel that sees only sky adds the sky, so the pixel
// shows how many were traced and how the sum was scaled: S = 6 traces one ray
// of four sub-paths, scaled by 22.5 / 6; S = 1 to 3 trace one ray of S
// sub-paths, as bright as the full frame.
TEST(PixelOutput, PrimaryRayAndSubPathCountsAndScale) {
    // The sky (0.00012, 0.00012, 0.006) scaled by 22.5 and by 15, through the
    // tone curve by hand: 14.88 and 101.4, 12.17 and 83.46.
    const unsigned fullSky = 0x0E0E65u, oneRaySky = 0x0C0C53u;
    const int tableRays = samplesPerFrame / 4;
    const std::tuple<int, int, int, unsigned> cases[] = {
        {samplesPerFrame, tableRays, 4, fullSky}, {6, 1, 4, oneRaySky},
        {4, 1, 4, fullSky}, {3, 1, 3, fullSky}, {2, 1, 2, fullSky}, {1, 1, 1, fullSky}, {0, 0, 0, 0u},
        {-4, 0, 0, 0u}};
    FrameData fd = emptyRecord();
    for (const auto& [s, rays, subPaths, pixel] : cases) {
        SCOPED_TRACE("S = " + std::to_string(s));
        fd.samplesPerFrame = s;
        EXPECT_EQ(primaryRayCount(fd), rays);
        EXPECT_EQ(subPathCount(fd), subPaths);
        EXPECT_EQ(shadePixel(fd, 1234, 3, samplerTable()), pixel);
    }
    // More samples than the sampler table has rows for: held to the table.
    fd.samplesPerFrame = 1000;
    EXPECT_EQ(primaryRayCount(fd), tableRays);
    EXPECT_EQ(subPathCount(fd), 4);
}

// A reduced record traces a block of the full frame's primary rays and
// sub-paths that moves on with the pass: over as many passes as there are
// blocks, every ray and every sub-path of the full frame exactly once. A full
// record's block is always the whole frame.
TEST(SampleBlocks, MoveWithThePassThroughEveryRayAndSubPathOfTheFullFrame) {
    constexpr int allRays = samplesPerFrame >> 2;
    FrameData fd = emptyRecord();
    for (const int samples : {1, 2, 3, 4, 8, 12, 16, 24, samplesPerFrame, 1000}) {
        SCOPED_TRACE("S = " + std::to_string(samples));
        fd.samplesPerFrame = samples;
        const int rays = primaryRayCount(fd), subPaths = subPathCount(fd);
        const int blocks = (allRays / rays) * (subPathsPerRay / subPaths);
        std::vector<int> taken(allRays * subPathsPerRay, 0);
        for (int pass = 5000; pass < 5000 + blocks; ++pass) {
            const SampleBlock b = sampleBlock(fd, pass);
            ASSERT_GE(b.firstRay, 0);
            ASSERT_LE(b.firstRay + rays, allRays) << "pass " << pass;
            ASSERT_LE(b.firstSubPath + subPaths, subPathsPerRay) << "pass " << pass;
            for (int s = b.firstRay; s < b.firstRay + rays; ++s)
                for (int k = b.firstSubPath; k < b.firstSubPath + subPaths; ++k) ++taken[s * subPathsPerRay + k];
        }
        // Rays that do not fill the frame evenly (24 samples: 6 of 8) leave some out.
        const bool even = allRays % rays == 0 && subPathsPerRay % subPaths == 0;
        for (int row = 0; row < allRays * subPathsPerRay && even; ++row) {
            EXPECT_EQ(taken[row], 1) << "row " << row;
        }
        if (samples >= samplesPerFrame) {
            for (const int pass : {0, 1, 77, -3}) {
                EXPECT_EQ(sampleBlock(fd, pass).firstRay, 0);
                EXPECT_EQ(sampleBlock(fd, pass).firstSubPath, 0);
            }
        }
        for (const int pass : {std::numeric_limits<int>::max(), -1, std::numeric_limits<int>::min()}) {
            const SampleBlock b = sampleBlock(fd, pass);
            EXPECT_LE(b.firstRay + rays, allRays);
            EXPECT_LE(b.firstSubPath + subPaths, subPathsPerRay);
        }
    }
    fd.samplesPerFrame = 0;
    EXPECT_EQ(sampleBlock(fd, 9).firstRay, 0);
}

TEST(Intersect, InsideASphereOneSidedMissesTwoSidedHitsTheFarSide) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 0.0f, 1.0f}, 3.0f, 0);  // emitter material: one-sided
    EXPECT_EQ(traceNearest(fd, origin, alongZ).objectId, 999);

    fd.sphereMaterial[0] = 2;                                                  // any other material: two-sided
    expectHit(traceNearest(fd, origin, alongZ), 0, 4.0f, {0.0f, 0.0f, 1.0f});  // normal outward, with the ray
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

TEST(Intersect, BoxesReportTheirOwnIdsAndFaceTheRay) {
    FrameData fd = emptyRecord();
    addBox(fd, {1.0f, 1.0f, 7.0f}, {-1.0f, -1.0f, 5.0f}, 4);  // corners in either order
    expectHit(traceNearest(fd, origin, alongZ), firstBoxObjectId, 5.0f, {0.0f, 0.0f, -1.0f});
    // Zero direction components: outside the slab the ray misses.
    EXPECT_EQ(traceNearest(fd, {1.5f, 0.5f, 0.0f}, alongZ).objectId, 999);

    // From inside: distance 0, normal on the x axis against D.x.
    setBox(fd, 0, {-2.0f, -2.0f, -2.0f}, {2.0f, 2.0f, 2.0f}, 1);
    expectHit(traceNearest(fd, origin, {0.0f, 0.6f, 0.8f}), firstBoxObjectId, 0.0f, {1.0f, 0.0f, 0.0f});
    expectVec(traceNearest(fd, origin, {0.6f, 0.0f, 0.8f}).normal, {-1.0f, 0.0f, 0.0f});
    EXPECT_EQ(occlusionDistance(fd, origin, alongZ), 0.0f);
    // A second box has an id of its own, apart from every sphere's.
    addBox(fd, {-1.0f, -1.0f, -9.0f}, {1.0f, 1.0f, -8.0f}, 2);
    EXPECT_EQ(traceNearest(fd, {0.0f, 0.0f, -20.0f}, alongZ).objectId, firstBoxObjectId + 1);
    EXPECT_GE(firstBoxObjectId, maxSpheres);
}

TEST(Intersect, CountedLayoutStopsAtTheCountsGroupedGoesByVolume) {
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

    // Volume 0 is only entered within 1000: a far figure casts shadows but is not seen.
    g = groupedRecord();
    for (float z : {500.0f, 1500.0f}) {
        setSphere(g, 8, {0.0f, 0.0f, z}, 10.0f, 2);
        setBounds(g, 0, {-10.0f, -10.0f, z - 10.0f}, {10.0f, 10.0f, z + 10.0f});
        EXPECT_EQ(traceNearest(g, origin, alongZ).objectId, z < 1000.0f ? 8 : 999);
        EXPECT_FLOAT_EQ(occlusionDistance(g, origin, alongZ), z - 10.0f);
    }
}

// Every choice takes one draw. Head on, Re = 0.1 and reflecting has probability
// 0.3: the chain chooses by the draw, the sub-path by the stratum byte. Leaving a
// radius-2 sphere along a chord at height h, sin i = h / 2: the chain bends by 1.5
// and the sub-paths by 1.2, so only the sub-path at h = 1.5 gets out, to
// sin t = 0.9. Total internal reflection keeps the weight and stays finite.
TEST(Glass, WeightsAndTotalInternalReflection) {
    FrameData fd = emptyRecord();
    setSphere(fd, 3, origin, 2.0f, 2);
    const GlassVariant chain = GlassVariant::Chain, sub = GlassVariant::SubPath;
    const int last = samplesPerFrame - 1;
    const Vec3 front{0.0f, 0.0f, -5.0f}, head{0.0f, 0.0f, -1.0f}, low{0.0f, 1.5f, 0.0f}, high{0.0f, 1.8f, 0.0f};
    // Outward normals where the ray leaves, and the ray reflected about them.
    const Vec3 nLow{0.6614378f, 0.75f, 0.0f}, nHigh{0.4358899f, 0.9f, 0.0f};
    const Vec3 rLow{0.125f, -0.9921567f, 0.0f}, rHigh{0.62f, -0.7846018f, 0.0f};
    const PixelRng any = seedPixelRng(3, 1);
    const std::tuple<const char*, GlassVariant, PixelRng, int, Vec3, Vec3, Vec3, Vec3, float> cases[] = {
        {"chain reflects", chain, rngWithDraw(true, 0.3f), 0, front, alongZ, head, head, 1.0f / 3.0f},
        {"chain transmits", chain, rngWithDraw(false, 0.3f), 0, front, alongZ, head, alongZ, 0.9f / 0.7f},
        {"sub-path reflects", sub, seedPixelRng(5, 9), 0, front, alongZ, head, head, 1.0f / 3.0f},
        {"sub-path transmits", sub, seedPixelRng(5, 9), last, front, alongZ, head, alongZ, 0.9f / 0.7f},
        {"chain at 1.5", chain, any, last, low, alongX, nLow, rLow, 1.0f},
        {"sub-path at 1.5", sub, any, last, low, alongX, nLow, {0.9633141f, -0.2683766f, 0.0f}, 1.2584839f},
        {"chain at 1.8", chain, any, last, high, alongX, nHigh, rHigh, 1.0f},
        {"sub-path at 1.8", sub, any, last, high, alongX, nHigh, rHigh, 1.0f}};
    for (const auto& [name, variant, seed, byte, o, d, n, next, weight] : cases) {
        SCOPED_TRACE(name);
        PixelRng rng = seed;
        Vec3 thr{0.5f, 0.25f, 2.0f};
        expectVec(scatterGlass(fd, variant, o, d, true, 3, n, thr, rng, byte), next);
        expectVec(thr, Vec3{0.5f, 0.25f, 2.0f} * weight);
        EXPECT_EQ(drawsBetween(seed, rng), 1);
    }
    // A glass box's normal faces the ray, so it is entered wherever it is hit:
    // never "inside" by a sphere's test, even with the ray starting in sphere 14.
    setSphere(fd, 14, origin, 50.0f, 2);
    for (const GlassVariant variant : {chain, sub}) {
        PixelRng rng = seedPixelRng(5, 9), sphereRng = rng;
        Vec3 thr{1.0f, 1.0f, 1.0f}, sphereThr = thr;
        const Vec3 n{0.0f, 0.0f, -1.0f}, d{0.0f, 0.6f, 0.8f};
        const Vec3 box = scatterGlass(fd, variant, front, d, false, firstBoxObjectId, n, thr, rng, last);
        const Vec3 inSphere = scatterGlass(fd, variant, front, d, true, 14, n, sphereThr, sphereRng, last);
        // Entering bends towards the normal (sine 0.6 shrinks); leaving sphere 14 bends away.
        EXPECT_LT(std::fabs(box.y), 0.6f);
        EXPECT_GT(std::fabs(inSphere.y), 0.6f);
        EXPECT_EQ(drawsBetween(seedPixelRng(5, 9), rng), 1);
    }
}

// Light sphere 0 at the origin, radius 1, colour (40, 20, 10), seen from 10 below;
// then any other object in between, which gives the same bounce but no light.
TEST(Diffuse, DirectLightTakesFourDrawsLitOrBlocked) {
    FrameData fd = emptyRecord();
    addSphere(fd, origin, 1.0f, 0);
    fd.materials[0] = {40.0f, 20.0f, 10.0f, materialDiffuse};
    Vec3 acc[2] = {}, next[2];
    for (int blocked : {0, 1}) {
        if (blocked) addSphere(fd, {0.0f, 0.0f, -5.0f}, 1.0f, 3);
        PixelRng rng = seedPixelRng(11, 4);
        const Vec3 p{0.0f, 0.0f, -10.0f};
        const DiffuseResponse<float> r = shadeDiffuse(fd, p, alongZ, Vec3{1.0f, 1.0f, 1.0f}, rng, 0, 0);
        EXPECT_EQ(drawsBetween(seedPixelRng(11, 4), rng), 4);
        EXPECT_EQ(r.throughput.x, 0.31831f);
        EXPECT_TRUE(r.lit);
        expectVec(r.shadow.o, p + surfaceOffset * alongZ, 0.0f);
        if (occlusionDistance(fd, r.shadow) > r.lightDistance) acc[blocked] = r.light;
        next[blocked] = r.next;
    }
    // Byte 0 = 0 puts the light point on the far side (z > 0): still lit, from
    // between 10.5 and 11 away with a cosine above 0.99.
    EXPECT_GT(acc[0].x, 0.31831f * 40.0f * 0.98f / 122.0f);
    EXPECT_LT(acc[0].x, 0.31831f * 40.0f / (10.5f * 10.5f));
    EXPECT_NEAR(acc[0].y, acc[0].x / 2.0f, 1e-6f);
    EXPECT_GE(next[0].z, 0.0f);
    EXPECT_NEAR(dot(next[0], next[0]), 1.0f, 1e-4f);
    expectVec(next[1], next[0], 0.0f);
    expectVec(acc[1], origin, 0.0f);
    // A surface facing away from the light asks for no shadow ray.
    PixelRng rng = seedPixelRng(11, 4);
    EXPECT_FALSE(shadeDiffuse(fd, {0.0f, 0.0f, -10.0f}, -alongZ, Vec3{1.0f, 1.0f, 1.0f}, rng, 0, 0).lit);
}

TEST(Transport, BudgetGrowsWithThePrimaryRayIndex) {
    const std::pair<int, int> cases[] = {{0, 3}, {1, 4}, {2, 5}, {3, 5}, {4, 6}, {7, 6}, {8, 7}, {15, 7}, {1000, 7}};
    for (const auto& [s, budget] : cases) EXPECT_EQ(bounceBudget(s), budget) << "s = " << s;
}

TEST(Transport, SkyAndEmitterAddFourTimes) {
    FrameData fd = emptyRecord();
    expectVec(trace(fd, 0, origin, alongZ), 4.0f * sky, 1e-9f);
    addSphere(fd, {0.0f, 0.0f, 5.0f}, 1.0f, 0);
    fd.materials[0] = {40.0f, 30.0f, 20.0f, materialDiffuse};
    expectVec(trace(fd, 3, origin, alongZ), {160.0f, 120.0f, 80.0f}, 1e-3f);
    // Anything beyond 5000 counts as sky, diffuse or not.
    addSphere(fd, {0.0f, 0.0f, 6000.0f}, 10.0f, 2);
    expectVec(trace(fd, 3, {0.0f, 0.0f, 10.0f}, alongZ), 4.0f * sky, 1e-9f);
}

TEST(Transport, SpecularChainCarriesItsThroughputUntilTheBudgetIsGone) {
    // A white mirror wall facing the camera at x = 5, the light behind the camera.
    FrameData fd = emptyRecord();
    addSphere(fd, {-5.0f, 0.0f, 0.0f}, 1.0f, 0);
    fd.materials[0] = {40.0f, 30.0f, 20.0f, materialDiffuse};
    fd.materials[1] = {1.0f, 1.0f, 1.0f, materialMirror};
    addBox(fd, {5.0f, -10.0f, -10.0f}, {6.0f, 10.0f, 10.0f}, 1);
    // Four times chain throughput (2 x white) x emitter colour.
    expectVec(trace(fd, 0, origin, alongX), {320.0f, 240.0f, 160.0f}, 1e-3f);

    setSphere(fd, 0, {0.0f, -1000.0f, 0.0f}, 1.0f, 0);  // light out of the way
    expectVec(trace(fd, 0, origin, alongX), 4.0f * 2.0f * sky, 1e-9f);

    // A second wall behind the camera: the chain bounces until the budget is gone.
    addBox(fd, {-6.0f, -10.0f, -10.0f}, {-5.0f, 10.0f, 10.0f}, 1);
    for (int s : {0, 4}) expectVec(trace(fd, s, origin, alongX), origin, 0.0f);
}

// A red light inside a glass ball above a diffuse floor: shadow rays never reach
// the light, but bounces through the glass do.
TEST(Transport, NoEmissionAfterADiffuseSurface) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 4.0f, 0.0f}, 1.5f, 0);
    addSphere(fd, {0.0f, 4.0f, 0.0f}, 2.0f, 1);
    addBox(fd, {-50.0f, -1.0f, -50.0f}, {50.0f, 0.0f, 50.0f}, 2);
    fd.materials[0] = {100.0f, 0.0f, 0.0f, materialDiffuse};
    fd.materials[1] = {0.5f, 0.5f, 0.5f, materialGlass};
    fd.materials[2] = {0.5f, 0.5f, 0.5f, materialDiffuse};
    // Looking into the ball the light's emission arrives; looking at the floor
    // under it, only the grey sky may.
    float seen = 0.0f;
    for (int pass = 0; pass < 16; ++pass) seen += trace(fd, 2, {0.0f, 4.0f, -6.0f}, alongZ, false, 3, pass).x;
    EXPECT_GT(seen, 100.0f);
    for (int pass = 0; pass < 64; ++pass) {
        const Vec3 acc = trace(fd, pass % 8, {0.0f, 1.0f, -1.0f}, {0.0f, -0.7071f, 0.7071f}, false, 5, pass);
        EXPECT_EQ(acc.x, acc.y) << "pass " << pass;
    }
}
