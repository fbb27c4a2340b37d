#include "reconstruct/spatial_variance.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"

namespace {

constexpr int radius = 2;
// Relative depth difference at which a neighbour counts half.
constexpr float depthTolerance = 0.05f;

float neighbourWeight(const float* g, const float* n) {
    if (n[guideObject] != g[guideObject] || n[guideSpecular] != g[guideSpecular]) return 0.0f;
    if (g[guideDepth] >= missDistance || n[guideDepth] >= missDistance) return g[guideDepth] == n[guideDepth] ? 1.0f : 0.0f;
    float facing = std::max(g[guideNormal] * n[guideNormal] + g[guideNormal + 1] * n[guideNormal + 1] +
                                g[guideNormal + 2] * n[guideNormal + 2],
                            0.0f);
    facing *= facing;
    facing *= facing;
    facing *= facing;
    const float d = (g[guideDepth] - n[guideDepth]) / (depthTolerance * g[guideDepth] + 1e-6f);
    return facing / (1.0f + d * d);
}

}  // namespace

void spatialVarianceRows(const ReconstructionSettings& settings, int width, int height, const float* guide,
                         const float* moments, const float* length, float* variance, int y0, int y1) {
    const float below = static_cast<float>(settings.spatialVarianceBelow);
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t p = static_cast<size_t>(y) * width + x;
            if (!(length[p] < below)) continue;
            const float* g = guide + p * guideFloats;
            float sumW = 0.0f, sum1 = 0.0f, sum2 = 0.0f;
            for (int j = std::max(0, y - radius); j <= std::min(height - 1, y + radius); ++j)
                for (int i = std::max(0, x - radius); i <= std::min(width - 1, x + radius); ++i) {
                    const size_t q = static_cast<size_t>(j) * width + i;
                    const float w = q == p ? 1.0f : neighbourWeight(g, guide + q * guideFloats);
                    sumW += w;
                    sum1 += w * moments[2 * q];
                    sum2 += w * moments[2 * q + 1];
                }
            const float m1 = sum1 / sumW, m2 = sum2 / sumW;
            // As for a longer history: the noise left after `length` frames.
            variance[p] = std::max(0.0f, m2 - m1 * m1) / length[p];
        }
}
