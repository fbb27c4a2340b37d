// The filter guided by a history's variance: without it the filter is what it
// was; with it, the noise a pixel is known to have is removed, and objects
// (the light above all) keep their light to themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/denoise.h"
#include "rendered_frames.h"

namespace {

constexpr int W = 64, H = 48;

uint64_t bytesHash(const std::vector<float>& v) {
    uint64_t h = 1469598103934665603ull;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(v.data());
    for (size_t i = 0; i < v.size() * sizeof(float); ++i) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}

// Two walls, the right one's light noisy by a fixed sequence.
void noisyWalls(std::vector<float>& light, std::vector<float>& guide, float noise) {
    light.assign(3 * W * H, 0.0f);
    guide.assign(guideFloats * W * H, 0.0f);
    uint32_t state = 12345u;
    for (int p = 0; p < W * H; ++p) {
        const bool left = p % W < W / 2;
        float* g = &guide[p * guideFloats];
        g[guideNormal] = left ? 1.0f : 0.0f, g[guideNormal + 2] = left ? 0.0f : 1.0f;
        g[guideAlbedo] = left ? 0.8f : 0.2f, g[guideAlbedo + 1] = 0.5f, g[guideAlbedo + 2] = 0.4f;
        g[guideDepth] = g[guideHitDepth] = 5.0f + 0.01f * (p % W);
        g[guideObject] = left ? 1.0f : 2.0f;
        state = state * 1664525u + 1013904223u;
        const float draw = static_cast<float>(state >> 8) * (1.0f / 16777216.0f);
        for (int c = 0; c < 3; ++c) light[3 * p + c] = 0.5f * g[guideAlbedo + c] * (1.0f + noise * (2.0f * draw - 1.0f));
    }
}

}  // namespace

TEST(VarianceFilter, WithoutVarianceTheFilterIsUnchanged) {
    std::vector<float> light, guide, out(3 * W * H);
    noisyWalls(light, guide, 0.8f);
    // The filter's output for this picture before the variance guide was
    // added to it; the stills of the preview rely on it too.
    denoiseFrame(W, H, light.data(), guide.data(), 4, out.data());
    EXPECT_EQ(bytesHash(out), 0x5b656b3d65acf822ull) << std::hex << bytesHash(out);
    // The overload without a variance plane is the same filter.
    std::vector<float> again(3 * W * H);
    denoiseFrame(W, H, light.data(), guide.data(), 4, again.data(), FilterVariance{});
    EXPECT_EQ(std::memcmp(out.data(), again.data(), out.size() * sizeof(float)), 0);
}

TEST(VarianceFilter, RemovesTheNoiseTheVarianceTells) {
    std::vector<float> light, guide, clean;
    noisyWalls(light, guide, 0.6f);
    std::vector<float> cleanGuide;
    noisyWalls(clean, cleanGuide, 0.0f);
    // The noise's luminance variance (light divided by colour is 0.5 * (1 + 0.6 u)).
    const float deviation = 0.5f * 0.6f / std::sqrt(3.0f);
    std::vector<float> variance(W * H, deviation * deviation), out(3 * W * H), firstPass(3 * W * H);
    FilterVariance noise;
    noise.variance = variance.data();
    noise.firstPass = firstPass.data();
    denoiseFrame(W, H, light.data(), guide.data(), 4, out.data(), noise);
    double before = 0.0, after = 0.0, first = 0.0;
    for (int p = 0; p < W * H; ++p)
        for (int c = 0; c < 3; ++c) {
            const double albedo = guide[p * guideFloats + guideAlbedo + c];
            before += std::pow(light[3 * p + c] - clean[3 * p + c], 2);
            after += std::pow(out[3 * p + c] - clean[3 * p + c], 2);
            first += std::pow(firstPass[3 * p + c] * albedo - clean[3 * p + c], 2);
        }
    EXPECT_LT(after, before / 10);
    // The first pass (divided by the colour) is already less noisy, but less so than all passes.
    EXPECT_LT(first, before);
    EXPECT_GT(first, after);

    // A pixel known to be noise-free is not smoothed into its neighbours.
    std::fill(variance.begin(), variance.end(), 0.0f);
    denoiseFrame(W, H, light.data(), guide.data(), 4, out.data(), noise);
    double kept = 0.0;
    for (int i = 0; i < 3 * W * H; ++i) kept += std::pow(out[i] - light[i], 2);
    EXPECT_LT(kept, before / 100);
}

TEST(VarianceFilter, TheLightDoesNotSpreadOverWhatSurroundsIt) {
    const FrameData fd = lightScene(W, H);
    LayerRenderer renderer(fd);
    const FrameLayersCopy layers = renderer.render(fd);
    std::vector<float> variance(W * H, 0.05f), bright = layers.radiance;
    int lightPixels = 0, besideLight = 0;
    for (int p = 0; p < W * H; ++p) {
        if (guideValue(layers.guide, p, guideObject) != 0.0f) continue;
        ++lightPixels;
        for (int c = 0; c < 3; ++c) bright[3 * p + c] *= 100.0f;
        variance[p] = 50.0f;  // the light's noise must not count elsewhere either
    }
    ASSERT_GT(lightPixels, 20);
    std::vector<float> a(3 * W * H), b(3 * W * H), plainVariance(W * H, 0.05f);
    FilterVariance noise;
    noise.variance = plainVariance.data();
    denoiseFrame(W, H, layers.radiance.data(), layers.guide.data(), 5, a.data(), noise);
    noise.variance = variance.data();
    denoiseFrame(W, H, bright.data(), layers.guide.data(), 5, b.data(), noise);
    for (int p = 0; p < W * H; ++p) {
        if (guideValue(layers.guide, p, guideObject) == 0.0f) continue;
        const int x = p % W, y = p / W;
        const bool touches = (x > 0 && guideValue(layers.guide, p - 1, guideObject) == 0.0f) ||
                             (x + 1 < W && guideValue(layers.guide, p + 1, guideObject) == 0.0f) ||
                             (y > 0 && guideValue(layers.guide, p - W, guideObject) == 0.0f) ||
                             (y + 1 < H && guideValue(layers.guide, p + W, guideObject) == 0.0f);
        besideLight += touches;
        for (int c = 0; c < 3; ++c) ASSERT_EQ(a[3 * p + c], b[3 * p + c]) << "pixel " << x << ", " << y;
    }
    EXPECT_GT(besideLight, 10);
}

// One wall, its right half in a shadow (the guide's share of the light 0
// there), both halves noisy enough that brightness alone lets the lit light
// in: with the shadow's edge as a stop, the shadow keeps its own light.
TEST(VarianceFilter, AShadowsEdgeStopsTheLitLight) {
    std::vector<float> light, guide;
    noisyWalls(light, guide, 0.9f);
    for (int p = 0; p < W * H; ++p) {
        float* g = &guide[p * guideFloats];
        g[guideNormal] = 1.0f, g[guideNormal + 2] = 0.0f;
        g[guideAlbedo] = 0.8f;
        g[guideDepth] = g[guideHitDepth] = 5.0f;
        g[guideObject] = 1.0f;
        const bool shadow = p % W >= W / 2;
        g[guideLightSeen] = shadow ? 0.0f : 1.0f;
        for (int c = 0; c < 3; ++c) light[3 * p + c] = shadow ? 0.3f * light[3 * p + c] : light[3 * p + c];
    }
    std::vector<float> variance(W * H, 1.0f);
    FilterVariance noise;
    noise.variance = variance.data();
    const auto shadowMean = [&](float stop) {
        noise.shadowStop = stop;
        std::vector<float> out(3 * W * H);
        denoiseFrame(W, H, light.data(), guide.data(), 2, out.data(), noise);
        double sum = 0.0, truth = 0.0;
        // The two columns inside the shadow's edge.
        for (int y = 0; y < H; ++y)
            for (int x = W / 2; x < W / 2 + 2; ++x) sum += out[3 * (y * W + x) + 1], truth += light[3 * (y * W + x) + 1];
        return sum / truth;
    };
    EXPECT_GT(shadowMean(0.0f), 1.3);  // without the stop the lit light pours in
    EXPECT_NEAR(shadowMean(5.0f), 1.0, 0.1);
}
