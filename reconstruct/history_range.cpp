#include "reconstruct/history_range.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernel/pixel_guide.h"

namespace {

float luminanceOf(const float* c) {
    return 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2];
}

}  // namespace

void demodulatedLuminance(const ReconstructionSettings& s, int width, const float* radiance, const float* guide,
                          float* luminance, float* object, int y0, int y1) {
    for (size_t p = static_cast<size_t>(y0) * width; p < static_cast<size_t>(y1) * width; ++p) {
        object[p] = guide[p * guideFloats + guideObject];
        float light[3];
        for (int c = 0; c < 3; ++c)
            light[c] = std::min(radiance[3 * p + c], s.brightestLight) /
                       std::max(guide[p * guideFloats + guideAlbedo + c], s.smallestAlbedo);
        luminance[p] = luminanceOf(light);
    }
}

void historyRangeCaps(const ReconstructionSettings& s, int width, int height, const float* object,
                      const float* luminance, const PixelPos* previous, const RangeHistory& history, float* cap,
                      int y0, int y1) {
    // Tiny values stay apart from zero.
    constexpr float floor = 1e-4f;
    const float upper = 1.0f + s.outOfRangeMargin, lower = 1.0f - s.outOfRangeMargin;
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t p = static_cast<size_t>(y) * width + x;
            const PixelPos at = previous[p];
            if (!std::isfinite(at.x) || !std::isfinite(at.y)) continue;
            const float fx = std::floor(at.x + 0.5f), fy = std::floor(at.y + 0.5f);
            if (!(fx >= 0.0f && fy >= 0.0f && fx < static_cast<float>(history.width) &&
                  fy < static_cast<float>(history.height)))
                continue;
            const size_t q = static_cast<size_t>(fy) * history.width + static_cast<size_t>(fx);
            if (history.length[q] < s.outOfRangeFrames) continue;
            const float own = object[p];
            float least = luminance[p], most = luminance[p];
            for (int j = std::max(0, y - 1); j <= std::min(height - 1, y + 1); ++j)
                for (int i = std::max(0, x - 1); i <= std::min(width - 1, x + 1); ++i) {
                    const size_t o = static_cast<size_t>(j) * width + i;
                    if (object[o] != own) continue;
                    least = std::min(least, luminance[o]);
                    most = std::max(most, luminance[o]);
                }
            const float was = luminanceOf(history.colour + 3 * q);
            if (was > most * upper + floor || was < least * lower - floor) cap[p] = std::min(cap[p], s.outOfRangeFrames);
        }
}
