// Per-pixel generator, thread-to-pixel permutation and pixel output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "kernel/render_pixel.h"
#include "kernel/rng.h"
#include "kernel_scene.h"

TEST(PixelRng, FirstOutputsOfPixelZeroPassZero) {
    PixelRng rng = seedPixelRng(0, 0);
    PixelRng copy = rng;
    EXPECT_EQ(nextRandomBits(rng), 188758181u);
    EXPECT_EQ(nextRandomBits(rng), 4194649926u);
    EXPECT_EQ(nextRandomBits(rng), 1221550371u);
    EXPECT_NEAR(nextRandom(copy), 0.04394868f, 1e-8f);
}

TEST(PixelRng, StoredWordsSettleAfterTheFirstDraws) {
    PixelRng rng = seedPixelRng(12345, 77);
    nextRandom(rng);
    const uint32_t high = rng.mwcHigh;
    EXPECT_EQ(rng.mwcLow, 17374u);
    const uint32_t lows[] = {59744u, 11776u, 24576u, 0u, 0u, 0u};
    for (uint32_t expected : lows) {
        nextRandom(rng);
        EXPECT_EQ(rng.mwcLow, expected);
        EXPECT_EQ(rng.mwcHigh, high);
    }
}

TEST(PixelRng, DrawsStayBelowOne) {
    uint32_t bits;
    std::memcpy(&bits, &rngOutputScale, sizeof bits);
    EXPECT_EQ(bits, 0x2F7FFFFDu);
    EXPECT_LT(static_cast<float>(0xFFFFFFFFu) * rngOutputScale, 1.0f);
    // Wrapping seed arithmetic: large pass values are fine.
    PixelRng rng = seedPixelRng(307199, 2000000000);
    for (int i = 0; i < 1000; ++i) {
        const float r = nextRandom(rng);
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
    }
}

TEST(PixelPermutation, TilesAndFullCoverage) {
    std::set<int> tile;
    for (int g = 0; g < 32; ++g) tile.insert(permutePixelIndex(g));
    std::set<int> expected;
    for (int base : {0, 512, 1024, 1536})
        for (int i = 0; i < 8; ++i) expected.insert(base + i);
    EXPECT_EQ(tile, expected);
    EXPECT_EQ(permutePixelIndex(32), 8);
    EXPECT_EQ(permutePixelIndex(2047), 2047);
    EXPECT_EQ(permutePixelIndex(2048), 2048);

    const int count = frameWidth * frameHeight;
    std::vector<int> hits(count, 0);
    for (int g = 0; g < count + 100; ++g) {
        const int p = pixelForThread(g, count);
        if (g >= count) {
            EXPECT_EQ(p, -1);
            continue;
        }
        EXPECT_EQ(p, permutePixelIndex(g));
        ASSERT_GE(p, 0);
        ASSERT_LT(p, count);
        ++hits[p];
    }
    for (int p = 0; p < count; ++p) ASSERT_EQ(hits[p], 1) << "pixel " << p;
}

TEST(PixelPermutation, FramesWithAPartialRunStayInside) {
    const int count = 100 * 75;  // not a multiple of 2048
    std::vector<int> hits(count, 0);
    for (int g = 0; g < 8192; ++g) {
        const int p = pixelForThread(g, count);
        if (p < 0) continue;
        ASSERT_LT(p, count);
        ++hits[p];
    }
    for (int p = 0; p < count; ++p) ASSERT_EQ(hits[p], 1) << "pixel " << p;
}

TEST(PixelOutput, ToneCurveAndSaturation) {
    EXPECT_EQ(toneByte(0.25f), 135u);
    EXPECT_EQ(toneByte(0.0f), 0u);
    EXPECT_EQ(toneByte(1.0f), 255u);
    EXPECT_EQ(toneByte(7.5f), 255u);
    EXPECT_EQ(toneByte(-3.0f), 0u);
    EXPECT_EQ(toneByte(std::numeric_limits<float>::quiet_NaN()), 0u);
    EXPECT_EQ(toneByte(std::numeric_limits<float>::infinity()), 255u);
    EXPECT_EQ(toneByte(-std::numeric_limits<float>::infinity()), 0u);

    const float full = 32.0f / 22.5f;  // scaled to exactly 1 with S = 32
    EXPECT_EQ(packPixel({full, 0.0f, 0.0f}, 32), 0x00FF0000u);
    EXPECT_EQ(packPixel({0.0f, full, 0.0f}, 32), 0x0000FF00u);
    EXPECT_EQ(packPixel({0.0f, 0.0f, full}, 32), 0x000000FFu);
    EXPECT_EQ(packPixel({std::nanf(""), 0.25f * 64.0f / 22.5f, -1.0f}, 64), 135u << 8);
}

// Every primary ray of a pixel that sees only sky adds 4 x sky, so the pixel
// shows how many rays were traced and how the sum was scaled.
TEST(PixelOutput, PrimaryRayCountAndScale) {
    FrameData fd = emptyRecord();
    const std::vector<unsigned char> table = simpleSamplerTable();
    const uint32_t full = shadePixel(fd, 1234, 3, table.data());
    const uint32_t expectedFull =
        (toneByte(22.5f * skyRed) << 16) + (toneByte(22.5f * skyGreen) << 8) + toneByte(22.5f * skyBlue);
    EXPECT_EQ(full, expectedFull);

    fd.samplesPerFrame = 6;  // one primary ray, scaled by 22.5 / 6
    const float k = 22.5f / 6.0f;
    EXPECT_EQ(
        shadePixel(fd, 1234, 3, table.data()),
        (toneByte(k * 4.0f * skyRed) << 16) + (toneByte(k * 4.0f * skyGreen) << 8) + toneByte(k * 4.0f * skyBlue));
    EXPECT_NE(toneByte(k * 4.0f * skyBlue), toneByte(22.5f * skyBlue));
}

TEST(PixelOutput, FewerThanFourSamplesGiveBlack) {
    FrameData fd = emptyRecord();
    addSphere(fd, {0.0f, 0.0f, 5.0f}, 2.0f, 0);
    setMaterial(fd, 0, 100.0f, 100.0f, 100.0f, 0.0f);
    const std::vector<unsigned char> table = simpleSamplerTable();
    const int centre = 240 * 640 + 320;
    EXPECT_EQ(shadePixel(fd, centre, 0, table.data()), 0x00FFFFFFu);
    for (int s : {3, 1, 0, -4}) {
        fd.samplesPerFrame = s;
        EXPECT_EQ(shadePixel(fd, centre, 0, table.data()), 0u) << "S = " << s;
    }
}
