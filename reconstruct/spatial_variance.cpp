// The neighbourhood's variance runs a vector of pixels at a time on the best
// target the CPU has (Highway's foreach_target). A lane does what the plain
// C++ of one pixel would, in the same order (no fused multiply-adds, std::max
// spelled out as its comparison), so every target writes the same bytes.
#include "reconstruct/spatial_variance.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reconstruct/spatial_variance.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "kernel/intersect.h"
#include "reconstruct/temporal_accumulation.h"

HWY_BEFORE_NAMESPACE();
namespace tpl_spatial {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;
using MF = hn::Mask<DF>;

constexpr int radius = 2;
constexpr int taps = 2 * radius + 1;
// Relative depth difference at which a neighbour counts half.
constexpr float depthTolerance = 0.05f;
constexpr size_t maxLanes = HWY_MAX_BYTES / sizeof(float);

// What a tap reads of a pixel: its surface, and its luminance's moments.
enum Value { normalX, normalY, normalZ, depth, object, specular, moment1, moment2, values };
constexpr int surfacePlaneOf[moment1] = {surfaceNormal,  surfaceNormal + 1, surfaceNormal + 2,
                                         surfaceDepth,   surfaceObject,     surfaceSpecular};

// std::max(a, b), lane for lane.
HWY_INLINE VF largerOf(VF a, VF b) {
    return hn::IfThenElse(hn::Lt(a, b), b, a);
}

// The values of a row's pixels from column x - radius on, a vector's and
// 2 radius more, copied where some lie outside the row: there a pixel is of
// no object (NaN equals none), so it weighs nothing.
struct Window {
    HWY_ALIGN float v[values][taps][maxLanes + 2 * radius];
};

void fillWindow(Window& window, const float* surface, size_t size, const float* moments, int width, int height,
                int x, int y, size_t lanes) {
    for (int j = 0; j < taps; ++j) {
        const int row = y - radius + j;
        for (size_t c = 0; c < lanes + 2 * radius; ++c) {
            const int column = x - radius + static_cast<int>(c);
            const bool inside = row >= 0 && row < height && column >= 0 && column < width;
            const size_t q = inside ? static_cast<size_t>(row) * width + column : 0;
            for (int k = 0; k < moment1; ++k)
                window.v[k][j][c] = inside ? surface[static_cast<size_t>(surfacePlaneOf[k]) * size + q] : 0.0f;
            if (!inside) window.v[object][j][c] = std::numeric_limits<float>::quiet_NaN();
            window.v[moment1][j][c] = inside ? moments[2 * q] : 0.0f;
            window.v[moment2][j][c] = inside ? moments[2 * q + 1] : 0.0f;
        }
    }
}

// The variance of lanes x .. x + lanes - 1 of row y over their 5 x 5 pixels,
// each weighted by how alike its surface is; at(value, j, i) reads the
// pixels j - radius rows and i - radius columns from the lanes'. A tap
// outside the frame weighs nothing: adding its zeros leaves the sums as a
// pixel's loop over the taps inside would.
template <class At>
HWY_INLINE VF neighbourhoodVariance(DF d, int height, int y, VF length, const At& at) {
    const VF zero = hn::Zero(d), one = hn::Set(d, 1.0f), miss = hn::Set(d, missDistance);
    const VF gx = at(normalX, radius, radius), gy = at(normalY, radius, radius), gz = at(normalZ, radius, radius);
    const VF gDepth = at(depth, radius, radius), gObject = at(object, radius, radius);
    const VF gSpecular = at(specular, radius, radius);
    const MF gMiss = hn::Ge(gDepth, miss);
    const VF scale = hn::Add(hn::Mul(hn::Set(d, depthTolerance), gDepth), hn::Set(d, 1e-6f));
    VF sumW = zero, sum1 = zero, sum2 = zero;
    for (int j = std::max(0, radius - y); j < taps && y - radius + j < height; ++j)
        for (int i = 0; i < taps; ++i) {
            VF w = one;
            if (i != radius || j != radius) {
                const VF nDepth = at(depth, j, i);
                const MF same = hn::And(hn::Eq(at(object, j, i), gObject), hn::Eq(at(specular, j, i), gSpecular));
                const MF sky = hn::Or(gMiss, hn::Ge(nDepth, miss));
                const VF dot = hn::Add(hn::Add(hn::Mul(gx, at(normalX, j, i)), hn::Mul(gy, at(normalY, j, i))),
                                       hn::Mul(gz, at(normalZ, j, i)));
                VF facing = largerOf(dot, zero);
                facing = hn::Mul(facing, facing);
                facing = hn::Mul(facing, facing);
                facing = hn::Mul(facing, facing);
                const VF gap = hn::Div(hn::Sub(gDepth, nDepth), scale);
                const VF surfaceWeight = hn::Div(facing, hn::Add(one, hn::Mul(gap, gap)));
                const VF skyWeight = hn::IfThenElseZero(hn::Eq(gDepth, nDepth), one);
                w = hn::IfThenElseZero(same, hn::IfThenElse(sky, skyWeight, surfaceWeight));
            }
            sumW = hn::Add(sumW, w);
            sum1 = hn::Add(sum1, hn::Mul(w, at(moment1, j, i)));
            sum2 = hn::Add(sum2, hn::Mul(w, at(moment2, j, i)));
        }
    const VF m1 = hn::Div(sum1, sumW), m2 = hn::Div(sum2, sumW);
    // As for a longer history: the noise left after `length` frames.
    return hn::Div(largerOf(zero, hn::Sub(m2, hn::Mul(m1, m1))), length);
}

void SpatialVarianceRows(const ReconstructionSettings& settings, int width, int height, const float* surface,
                         const float* moments, const float* length, float* variance, int y0, int y1) {
    const DF d;
    const size_t lanes = hn::Lanes(d);
    const VF below = hn::Set(d, static_cast<float>(settings.spatialVarianceBelow));
    const size_t size = static_cast<size_t>(width) * height;
    Window window;
    HWY_ALIGN float tail[2][maxLanes] = {};
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < width; x += static_cast<int>(lanes)) {
            const size_t p = static_cast<size_t>(y) * width + x;
            const size_t count = std::min(lanes, static_cast<size_t>(width - x));
            if (count < lanes) {
                std::memcpy(tail[0], length + p, count * sizeof(float));
                std::memcpy(tail[1], variance + p, count * sizeof(float));
            }
            const VF ownLength = count == lanes ? hn::LoadU(d, length + p) : hn::Load(d, tail[0]);
            const MF young = hn::And(hn::FirstN(d, count), hn::Lt(ownLength, below));
            if (hn::AllFalse(d, young)) continue;
            VF spatial;
            if (x >= radius && x + lanes + radius <= static_cast<size_t>(width)) {
                spatial = neighbourhoodVariance(d, height, y, ownLength, [&](int value, int j, int i) {
                    const size_t q = static_cast<size_t>(y - radius + j) * width + (x - radius + i);
                    if (value == moment1 || value == moment2) {
                        VF m1, m2;
                        hn::LoadInterleaved2(d, moments + 2 * q, m1, m2);
                        return value == moment1 ? m1 : m2;
                    }
                    return hn::LoadU(d, surface + static_cast<size_t>(surfacePlaneOf[value]) * size + q);
                });
            } else {
                fillWindow(window, surface, size, moments, width, height, x, y, lanes);
                spatial = neighbourhoodVariance(d, height, y, ownLength, [&](int value, int j, int i) {
                    return hn::LoadU(d, &window.v[value][j][i]);
                });
            }
            if (count == lanes) {
                hn::StoreU(hn::IfThenElse(young, spatial, hn::LoadU(d, variance + p)), d, variance + p);
            } else {
                hn::Store(hn::IfThenElse(young, spatial, hn::Load(d, tail[1])), d, tail[1]);
                std::memcpy(variance + p, tail[1], count * sizeof(float));
            }
        }
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_spatial
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tpl_spatial {
HWY_EXPORT(SpatialVarianceRows);
}  // namespace tpl_spatial

void spatialVarianceRows(const ReconstructionSettings& settings, int width, int height, const float* surface,
                         const float* moments, const float* length, float* variance, int y0, int y1) {
    HWY_DYNAMIC_DISPATCH(tpl_spatial::SpatialVarianceRows)(settings, width, height, surface, moments, length, variance,
                                                          y0, y1);
}

#endif  // HWY_ONCE
