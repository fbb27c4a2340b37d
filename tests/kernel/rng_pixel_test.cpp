// Per-pixel generator, thread-to-pixel permutation and pixel output.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "kernel/render_pixel.h"
#include "kernel_scene.h"

TEST(PixelRng, FirstOutputsOfPixelZeroPassZero) {
    PixelRng rng = seedPixelRng(0, 0);
    PixelRng copy = rng;
    EXPECT_EQ(nextRandomBits(rng), 188758181u);
    EXPECT_EQ(nextRandomBits(rng), 4194649926u);
    EXPECT_EQ(nextRandomBits(rng), 1221550371u);
    EXPECT_NEAR(nextRandom(copy), 0.04394868f, 1e-8f);
    // The largest output rounds to 2^32 as a float and must still land below 1.
    EXPECT_LT(static_cast<float>(0xFFFFFFFFu) * rngOutputScale, 1.0f);
}

TEST(PixelPermutation, EightByFourTilesAndEveryPixelOnce) {
    // Each 32 threads shade an 8 x 4 tile of a 512-wide run; runs of 2048 map onto themselves.
    const std::pair<int, int> cases[] = {{7, 7}, {8, 512}, {24, 1536}, {31, 1543}, {32, 8}, {2047, 2047}, {2048, 2048}};
    for (const auto& [g, p] : cases) EXPECT_EQ(permutePixelIndex(g), p) << "thread " << g;

    // The full frame, and one whose size is not a multiple of the 2048 run.
    for (int count : {frameWidth * frameHeight, 100 * 75}) {
        std::vector<int> hits(count, 0);
        for (int g = -1; g < count + 100; ++g) {
            const int p = pixelForThread(g, count);
            if (g < 0 || g >= count) {
                EXPECT_EQ(p, -1);
                continue;
            }
            ASSERT_GE(p, 0);
            ASSERT_LT(p, count);
            ++hits[p];
        }
        for (int p = 0; p < count; ++p) ASSERT_EQ(hits[p], 1) << "pixel " << p << " of " << count;
    }
    EXPECT_EQ(pixelForThread(100, frameWidth * frameHeight), permutePixelIndex(100));
}

TEST(PixelOutput, ToneCurveSaturationAndPacking) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, unsigned> cases[] = {{0.25f, 135u}, {0.0f, 0u},  {1.0f, 255u},  {7.5f, 255u},
                                                {-3.0f, 0u},   {inf, 255u}, {-inf, 0u},    {std::nanf(""), 0u}};
    for (const auto& [value, byte] : cases) EXPECT_EQ(toneByte(value), byte) << "value " << value;

    const float full = 32.0f / 22.5f;  // scaled to exactly 1 with S = 32
    EXPECT_EQ(packPixel({full, 0.25f * 32.0f / 22.5f, std::nanf("")}, 32), 0x00FF8700u);
    EXPECT_EQ(packPixel({std::nanf(""), -1.0f, 4.0f * full}, 64), 0x000000FFu);
}

// Every primary ray of a pixel that sees only sky adds 4 x sky, so the pixel
// shows how many rays were traced (S / 4, none below 4) and how the sum was scaled.
TEST(PixelOutput, PrimaryRayCountAndScale) {
    FrameData fd = emptyRecord();
    const auto skyPixel = [](float k) {
        return (toneByte(k * skyRed) << 16) + (toneByte(k * skyGreen) << 8) + toneByte(k * skyBlue);
    };
    EXPECT_EQ(shadePixel(fd, 1234, 3, samplerTable()), skyPixel(22.5f));
    EXPECT_NE(skyPixel(22.5f), 0u);
    fd.samplesPerFrame = 6;  // one primary ray, scaled by 22.5 / 6
    EXPECT_EQ(shadePixel(fd, 1234, 3, samplerTable()), skyPixel(22.5f / 6.0f * 4.0f));
    EXPECT_NE(skyPixel(22.5f / 6.0f * 4.0f), skyPixel(22.5f));
    for (int s : {3, 1, 0, -4}) {
        fd.samplesPerFrame = s;
        EXPECT_EQ(shadePixel(fd, 1234, 3, samplerTable()), 0u) << "S = " << s;
    }
}
