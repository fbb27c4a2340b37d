// A short history's variance from its neighbourhood: only its own surface counts.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <vector>

#include "reconstruct/spatial_variance.h"
#include "reconstruct/temporal_accumulation.h"

// Two flat objects side by side, each with moments of its own: a young
// pixel's variance is its own object's, right up to the edge between them,
// on every vector target (the rows' middles run a vector at a time, their
// ends a pixel at a time).
TEST(SpatialVariance, AYoungPixelTakesTheNoiseOfItsOwnSurfaceOnly) {
    constexpr int w = 50, h = 9, edge = 23;
    constexpr size_t n = static_cast<size_t>(w) * h;
    const ReconstructionSettings settings;
    std::vector<float> surface(surfacePlanes * n, 0.0f), moments(2 * n), length(n, 2.0f);
    for (size_t p = 0; p < n; ++p) {
        const bool left = p % w < edge;
        surface[surfaceNormal + 2 * n + p] = 1.0f;
        surface[surfaceDepth * n + p] = surface[surfaceHitDepth * n + p] = 3.0f;
        surface[surfaceObject * n + p] = left ? 1.0f : 4.0f;
        moments[2 * p] = left ? 1.0f : 4.0f;
        moments[2 * p + 1] = left ? 1.5f : 18.0f;  // variances 0.5 and 2
    }
    const size_t settled = 4 * w + 10;
    length[settled] = 4.0f;  // a settled pixel keeps its own
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        std::vector<float> variance(n, -1.0f);
        spatialVarianceRows(settings, w, h, surface.data(), moments.data(), length.data(), variance.data(), 0, h);
        for (size_t p = 0; p < n; ++p) {
            if (p == settled) {
                EXPECT_EQ(variance[p], -1.0f) << "the settled pixel's variance was replaced on " << hwy::TargetName(target);
                continue;
            }
            const float expected = (p % w < edge ? 0.5f : 2.0f) / 2.0f;  // the noise left after two frames
            ASSERT_NEAR(variance[p], expected, 1e-5f)
                << "pixel " << p % w << ", " << p / w << " on " << hwy::TargetName(target);
        }
    }
    hwy::SetSupportedTargetsForTest(0);
}
