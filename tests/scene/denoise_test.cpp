// The live show's filter and scaler on small known pictures: what must be
// kept (flat areas, edges between surfaces, the exact pixels at full size) and
// what must go (noise).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "kernel/pixel_guide.h"
#include "kernel/render_pixel.h"
#include "render/denoise.h"
#include "render/upscale.h"

namespace {

constexpr int W = 48, H = 36;

// A picture of two walls meeting at column W / 2 (normals +x and +z), each
// with its own colour, lit by light with the given noise.
struct Picture {
    std::vector<float> light = std::vector<float>(W * H * 3);
    std::vector<float> guide = std::vector<float>(W * H * guideFloats);
};

Picture twoWalls(float noise, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> jitter(1.0f - noise, 1.0f + noise);
    Picture pic;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const int p = y * W + x;
            const bool left = x < W / 2;
            float* g = &pic.guide[p * guideFloats];
            g[guideNormal] = left ? 1.0f : 0.0f, g[guideNormal + 1] = 0.0f, g[guideNormal + 2] = left ? 0.0f : 1.0f;
            g[guideAlbedo] = left ? 0.8f : 0.2f, g[guideAlbedo + 1] = 0.5f, g[guideAlbedo + 2] = left ? 0.2f : 0.8f;
            g[guideDepth] = g[guideHitDepth] = 5.0f;
            g[guideObject] = left ? 1.0f : 2.0f, g[guideSpecular] = 0.0f;
            const float level = left ? 0.6f : 0.3f;
            for (int c = 0; c < 3; ++c) pic.light[3 * p + c] = level * g[guideAlbedo + c] * jitter(gen);
        }
    }
    return pic;
}

// Mean squared difference from the noise-free picture, over one wall's columns.
double error(const std::vector<float>& got, const Picture& clean, int x0, int x1) {
    double sum = 0.0;
    int count = 0;
    for (int y = 0; y < H; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c, ++count) {
                const double d = got[3 * (y * W + x) + c] - clean.light[3 * (y * W + x) + c];
                sum += d * d;
            }
    return sum / count;
}

}  // namespace

TEST(Denoise, RemovesNoiseAndKeepsFlatAreasAndEdges) {
    const Picture clean = twoWalls(0.0f, 1);
    std::vector<float> out(W * H * 3);
    denoiseFrame(W, H, clean.light.data(), clean.guide.data(), 4, out.data());
    // A noise-free picture comes back as it was (up to rounding), edge included.
    EXPECT_LT(error(out, clean, 0, W), 1e-10);

    const Picture noisy = twoWalls(0.8f, 2);
    denoiseFrame(W, H, noisy.light.data(), noisy.guide.data(), 4, out.data());
    for (const auto& [x0, x1] : {std::pair{0, W / 2}, std::pair{W / 2, W}}) {
        SCOPED_TRACE("columns " + std::to_string(x0) + " to " + std::to_string(x1));
        EXPECT_LT(error(out, clean, x0, x1), error(noisy.light, clean, x0, x1) / 10);
    }
    // No light crosses the edge: the columns beside it keep their wall's level.
    for (int y = 0; y < H; ++y) {
        const int p = y * W + W / 2;
        EXPECT_NEAR(out[3 * (p - 1)], 0.6f * 0.8f, 0.1f) << "row " << y;
        EXPECT_NEAR(out[3 * p], 0.3f * 0.2f, 0.03f) << "row " << y;
    }
}

TEST(Denoise, SkyAndSurfacesStayApart) {
    Picture pic = twoWalls(0.0f, 3);
    // The right half is a mirror that shows the sky: bright, no normal, the
    // miss depth along its chain, though its own surface is near.
    for (int y = 0; y < H; ++y)
        for (int x = W / 2; x < W; ++x) {
            float* g = &pic.guide[(y * W + x) * guideFloats];
            g[guideNormal] = g[guideNormal + 1] = g[guideNormal + 2] = 0.0f;
            g[guideAlbedo] = g[guideAlbedo + 1] = g[guideAlbedo + 2] = 1.0f;
            g[guideDepth] = missDistance;
            g[guideSpecular] = 1.0f;
            for (int c = 0; c < 3; ++c) pic.light[3 * (y * W + x) + c] = 5.0f;
        }
    std::vector<float> out(W * H * 3);
    denoiseFrame(W, H, pic.light.data(), pic.guide.data(), 5, out.data());
    for (int y = 0; y < H; ++y) {
        EXPECT_NEAR(out[3 * (y * W + W / 2 - 1)], 0.6f * 0.8f, 1e-4f);
        EXPECT_NEAR(out[3 * (y * W + W / 2)], 5.0f, 1e-4f);
    }
}

TEST(Upscale, FullSizeIsThePackedFrameAndScalingKeepsLevels) {
    const Picture pic = twoWalls(0.5f, 4);
    std::vector<uint32_t> same(W * H);
    toneAndScale(W, H, pic.light.data(), W, H, same.data());
    for (int p = 0; p < W * H; ++p)
        ASSERT_EQ(same[p], packLight({pic.light[3 * p], pic.light[3 * p + 1], pic.light[3 * p + 2]})) << p;

    // Four times the size: flat areas keep their bytes, corners land where they were.
    std::vector<uint32_t> flat(W * H, 0x00336699u), big(W * 4 * H * 4);
    scalePixels(W, H, flat.data(), W * 4, H * 4, big.data());
    for (uint32_t v : big) ASSERT_EQ(v, 0x00336699u);
    std::vector<uint32_t> halves(W * H);
    for (int p = 0; p < W * H; ++p) halves[p] = p % W < W / 2 ? 0x00FF0000u : 0x000000FFu;
    scalePixels(W, H, halves.data(), W * 4, H * 4, big.data());
    EXPECT_EQ(big[0], 0x00FF0000u);
    EXPECT_EQ(big[W * 4 - 1], 0x000000FFu);
    // The blend happens only between the two source columns at the edge.
    const uint32_t middle = big[W * 2];
    EXPECT_GT((middle >> 16) & 0xFFu, 0u);
    EXPECT_GT(middle & 0xFFu, 0u);
}
