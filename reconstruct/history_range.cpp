// The range test runs a vector of pixels at a time on the best target the CPU
// has (Highway's foreach_target) inside the frame, and pixel by pixel on its
// border, where the neighbourhood is cut. A lane does what the plain C++ of
// one pixel does, in the same order and with std::min / std::max spelled out
// as their comparisons, so every target sets the same caps.
#include "reconstruct/history_range.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reconstruct/history_range.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernel/pixel_guide.h"
#include "render/prefetch.h"

#ifndef TPL_HISTORY_RANGE_ONCE
#define TPL_HISTORY_RANGE_ONCE
namespace {

// Tiny values stay apart from zero.
constexpr float rangeFloor = 1e-4f;

float luminanceOf(const float* c) {
    return 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2];
}

// The test for one pixel, with its neighbourhood cut at the frame's edge.
void rangeCapPixel(const ReconstructionSettings& s, int width, int height, const float* object,
                   const float* luminance, const PixelPos* previous, const RangeHistory& history, float* cap, int x,
                   int y) {
    const float upper = 1.0f + s.outOfRangeMargin, lower = 1.0f - s.outOfRangeMargin;
    const size_t p = static_cast<size_t>(y) * width + x;
    const PixelPos at = previous[p];
    if (!std::isfinite(at.x) || !std::isfinite(at.y)) return;
    const float fx = std::floor(at.x + 0.5f), fy = std::floor(at.y + 0.5f);
    if (!(fx >= 0.0f && fy >= 0.0f && fx < static_cast<float>(history.width) &&
          fy < static_cast<float>(history.height)))
        return;
    const size_t q = static_cast<size_t>(fy) * history.width + static_cast<size_t>(fx);
    if (history.length[q] < s.outOfRangeFrames) return;
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
    if (was > most * upper + rangeFloor || was < least * lower - rangeFloor) cap[p] = std::min(cap[p], s.outOfRangeFrames);
}

}  // namespace
#endif  // TPL_HISTORY_RANGE_ONCE

HWY_BEFORE_NAMESPACE();
namespace tpl_range {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;

// Lanes x .. x + lanes - 1 of row y, all inside the frame's border.
HWY_INLINE void rangeCapLanes(DF d, const ReconstructionSettings& s, int width, const float* object,
                              const float* luminance, const PixelPos* previous, const RangeHistory& history,
                              float* cap, int x, int y) {
    const DI di;
    const size_t p = static_cast<size_t>(y) * width + x;
    VF atX, atY;
    hn::LoadInterleaved2(d, reinterpret_cast<const float*>(previous + p), atX, atY);
    const VF fx = hn::Floor(hn::Add(atX, hn::Set(d, 0.5f))), fy = hn::Floor(hn::Add(atY, hn::Set(d, 0.5f)));
    // A NaN or an infinity fails these comparisons too.
    MF inside = hn::And(hn::And(hn::Ge(fx, hn::Zero(d)), hn::Ge(fy, hn::Zero(d))),
                        hn::And(hn::Lt(fx, hn::Set(d, static_cast<float>(history.width))),
                                hn::Lt(fy, hn::Set(d, static_cast<float>(history.height)))));
    if (hn::AllFalse(d, inside)) return;
    const VF qf = hn::IfThenElseZero(inside, hn::Add(hn::Mul(fy, hn::Set(d, static_cast<float>(history.width))), fx));
    const VI q = hn::ConvertTo(di, qf);
    const MF longEnough =
        hn::And(inside, hn::Ge(hn::GatherIndex(d, history.length, q), hn::Set(d, s.outOfRangeFrames)));
    if (hn::AllFalse(d, longEnough)) return;

    const VF own = hn::LoadU(d, object + p);
    VF least = hn::LoadU(d, luminance + p), most = least;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            const size_t o = static_cast<size_t>(y + j) * width + (x + i);
            const VF l = hn::LoadU(d, luminance + o);
            const MF same = hn::Eq(hn::LoadU(d, object + o), own);
            least = hn::IfThenElse(hn::And(same, hn::Lt(l, least)), l, least);
            most = hn::IfThenElse(hn::And(same, hn::Lt(most, l)), l, most);
        }
    const VI q3 = hn::Mul(q, hn::Set(di, 3));
    const VF was = hn::Add(hn::Add(hn::Mul(hn::Set(d, 0.2126f), hn::GatherIndex(d, history.colour, q3)),
                                   hn::Mul(hn::Set(d, 0.7152f), hn::GatherIndex(d, history.colour + 1, q3))),
                           hn::Mul(hn::Set(d, 0.0722f), hn::GatherIndex(d, history.colour + 2, q3)));
    const VF upper = hn::Set(d, 1.0f + s.outOfRangeMargin), lower = hn::Set(d, 1.0f - s.outOfRangeMargin);
    const VF floor = hn::Set(d, rangeFloor);
    const MF outside = hn::Or(hn::Gt(was, hn::Add(hn::Mul(most, upper), floor)),
                              hn::Lt(was, hn::Sub(hn::Mul(least, lower), floor)));
    const VF frames = hn::Set(d, s.outOfRangeFrames), old = hn::LoadU(d, cap + p);
    const VF capped = hn::IfThenElse(hn::Lt(frames, old), frames, old);
    hn::StoreU(hn::IfThenElse(hn::And(longEnough, outside), capped, old), d, cap + p);
}

// How many vectors ahead the history is asked for.
constexpr int prefetchVectors = 4;

// The history's length and light from where a pixel was (at), a vector on.
HWY_INLINE void prefetchHistory(const RangeHistory& history, const PixelPos& at, int lanes) {
    if (!(at.x >= 0.0f && at.y >= 0.0f && at.x < static_cast<float>(history.width) &&
          at.y < static_cast<float>(history.height)))
        return;
    const size_t q = static_cast<size_t>(at.y) * history.width + static_cast<size_t>(at.x);
    const size_t span = std::min(static_cast<size_t>(lanes) + 1, static_cast<size_t>(history.width) - static_cast<size_t>(at.x));
    prefetchFloats(history.length + q, span);
    prefetchFloats(history.colour + 3 * q, 3 * span);
}

void HistoryRangeCaps(const ReconstructionSettings& s, int width, int height, const float* object,
                      const float* luminance, const PixelPos* previous, const RangeHistory& history, float* cap,
                      int y0, int y1) {
    const DF d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    for (int y = y0; y < y1; ++y) {
        int x = 0;
        if (y > 0 && y < height - 1) {
            for (; x < 1 && x < width; ++x) rangeCapPixel(s, width, height, object, luminance, previous, history, cap, x, y);
            for (; x + lanes <= width - 1; x += lanes) {
                const int ahead = x + prefetchVectors * lanes;
                if (ahead < width) prefetchHistory(history, previous[static_cast<size_t>(y) * width + ahead], lanes);
                rangeCapLanes(d, s, width, object, luminance, previous, history, cap, x, y);
            }
        }
        for (; x < width; ++x) rangeCapPixel(s, width, height, object, luminance, previous, history, cap, x, y);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_range
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tpl_range {
HWY_EXPORT(HistoryRangeCaps);
}  // namespace tpl_range

float demodulatedLuminanceAt(const ReconstructionSettings& s, const float* radiance, const float* g) {
    float light[3];
    for (int c = 0; c < 3; ++c) light[c] = std::min(radiance[c], s.brightestLight) / std::max(g[guideAlbedo + c], s.smallestAlbedo);
    return luminanceOf(light);
}

void demodulatedLuminance(const ReconstructionSettings& s, int width, const float* radiance, const float* guide,
                          float* luminance, float* object, int y0, int y1) {
    for (size_t p = static_cast<size_t>(y0) * width; p < static_cast<size_t>(y1) * width; ++p) {
        object[p] = guide[p * guideFloats + guideObject];
        luminance[p] = demodulatedLuminanceAt(s, radiance + 3 * p, guide + p * guideFloats);
    }
}

void historyRangeCaps(const ReconstructionSettings& settings, int width, int height, const float* object,
                      const float* luminance, const PixelPos* previous, const RangeHistory& history, float* cap,
                      int y0, int y1) {
    HWY_DYNAMIC_DISPATCH(tpl_range::HistoryRangeCaps)(settings, width, height, object, luminance, previous, history,
                                                     cap, y0, y1);
}

#endif  // HWY_ONCE
