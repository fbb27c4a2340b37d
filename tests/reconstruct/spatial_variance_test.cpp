// A short history's variance from its neighbourhood: only its own surface counts.
#include <gtest/gtest.h>

#include <vector>

#include "kernel/pixel_guide.h"
#include "reconstruct/spatial_variance.h"

// Two flat objects side by side, each with moments of its own: a young
// pixel's variance is its own object's, right up to the edge between them.
TEST(SpatialVariance, AYoungPixelTakesTheNoiseOfItsOwnSurfaceOnly) {
    constexpr int w = 50, h = 9, edge = 23;
    const ReconstructionSettings settings;
    std::vector<float> guide(static_cast<size_t>(w) * h * guideFloats, 0.0f), moments(2 * w * h), length(w * h, 2.0f),
        variance(w * h, -1.0f);
    for (int p = 0; p < w * h; ++p) {
        const bool left = p % w < edge;
        float* g = &guide[static_cast<size_t>(p) * guideFloats];
        g[guideNormal + 2] = 1.0f;
        g[guideDepth] = g[guideHitDepth] = 3.0f;
        g[guideObject] = left ? 1.0f : 4.0f;
        moments[2 * p] = left ? 1.0f : 4.0f;
        moments[2 * p + 1] = left ? 1.5f : 18.0f;  // variances 0.5 and 2
    }
    length[4 * w + 10] = 4.0f;  // a settled pixel keeps its own
    spatialVarianceRows(settings, w, h, guide.data(), moments.data(), length.data(), variance.data(), 0, h);
    for (int p = 0; p < w * h; ++p) {
        if (p == 4 * w + 10) {
            EXPECT_EQ(variance[p], -1.0f) << "the settled pixel's variance was replaced";
            continue;
        }
        const float expected = (p % w < edge ? 0.5f : 2.0f) / 2.0f;  // the noise left after two frames
        ASSERT_NEAR(variance[p], expected, 1e-5f) << "pixel " << p % w << ", " << p / w;
    }
}
