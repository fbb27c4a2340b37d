// Compiled once per vector target (Highway's foreach_target). std::min and
// std::max are spelled out as their comparisons, so a NaN is handled as the
// plain C++ would.
#include "render/filter_taps.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/filter_taps.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace tpl_filter {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;

// Pixels are found settled (see FilterKernel) a block of this many at a
// time, whole vectors on every target.
constexpr size_t settledBlock = 16;
static_assert(HWY_MAX_BYTES / sizeof(float) <= settledBlock, "a vector lies within one settled block");

// Keeps the brightness weight defined where a pixel has no noise left.
constexpr float tinyDeviation = 1e-4f;
// A tap whose brightness differs by more than this many deviations counts
// nothing rather than e^-that: its weight and the square summed for the
// variance would be subnormal, which costs the processor a hundredfold.
constexpr float negligibleBeyond = 20.0f;

// std::max(a, b) and std::min(a, b), lane for lane.
HWY_INLINE VF largerOf(VF a, VF b) {
    return hn::IfThenElse(hn::Lt(a, b), b, a);
}
HWY_INLINE VF smallerOf(VF a, VF b) {
    return hn::IfThenElse(hn::Lt(b, a), b, a);
}

// e^-x for x >= 0, to a relative 2e-4 (the Taylor series of e^-y to the
// fifth power, y below ln 2): a weight needs no more.
HWY_INLINE VF expNegative(DF d, VF x) {
    const DI di;
    const VF t = hn::Mul(smallerOf(x, hn::Set(d, 80.0f)), hn::Set(d, 1.44269504f));  // e^-x = 2^-t
    const auto whole = hn::ConvertTo(di, t);
    const VF y = hn::Mul(hn::Sub(t, hn::ConvertTo(d, whole)), hn::Set(d, 0.693147182f));
    const VF minusY = hn::Neg(y);
    VF p = hn::Set(d, 1.0f / 120.0f);
    p = hn::Add(hn::Mul(p, minusY), hn::Set(d, 1.0f / 24.0f));
    p = hn::Add(hn::Mul(p, minusY), hn::Set(d, 1.0f / 6.0f));
    p = hn::Add(hn::Mul(p, minusY), hn::Set(d, 0.5f));
    p = hn::Add(hn::Mul(p, minusY), hn::Set(d, 1.0f));
    p = hn::Add(hn::Mul(p, minusY), hn::Set(d, 1.0f));
    const VF scale = hn::BitCast(d, hn::ShiftLeft<23>(hn::Sub(hn::Set(di, 127), whole)));
    return hn::Mul(p, scale);
}

// A row's planes moved by a tap's offset.
HWY_INLINE FilterRow movedBy(const FilterRow& c, ptrdiff_t o) {
    return {c.nx + o, c.ny + o, c.nz + o, c.depth + o, c.kind + o, c.luminance + o, c.r + o, c.g + o, c.b + o,
            c.variance ? c.variance + o : nullptr, c.seen ? c.seen + o : nullptr};
}

// The centre pixels' planes, loaded once for all taps.
struct Centre {
    VF nx, ny, nz, depth, kind, luminance, depthTolerance2, seen;
};

HWY_INLINE Centre loadCentre(DF d, const FilterRow& c, size_t x) {
    const VF depth = hn::LoadU(d, c.depth + x);
    return {hn::LoadU(d, c.nx + x),   hn::LoadU(d, c.ny + x),        hn::LoadU(d, c.nz + x), depth,
            hn::LoadU(d, c.kind + x), hn::LoadU(d, c.luminance + x), hn::Mul(depth, depth),
            c.seen ? hn::LoadU(d, c.seen + x) : hn::Zero(d)};
}

// How much two first surfaces are alike: their normals' cosine to the eighth
// power where the pixels are of one kind, 0 where not.
HWY_INLINE VF surfacesAlike(DF d, const Centre& c, const FilterRow& t, size_t x) {
    const VF cosine = hn::Add(hn::Add(hn::Mul(c.nx, hn::LoadU(d, t.nx + x)), hn::Mul(c.ny, hn::LoadU(d, t.ny + x))),
                              hn::Mul(c.nz, hn::LoadU(d, t.nz + x)));
    VF facing = largerOf(cosine, hn::Zero(d));
    facing = hn::Mul(facing, facing);
    facing = hn::Mul(facing, facing);
    facing = hn::Mul(facing, facing);
    return hn::IfThenElseZero(hn::Eq(c.kind, hn::LoadU(d, t.kind + x)), facing);
}

// Sums kept in registers over a vector's taps.
struct Sums {
    VF w, r, g, b, v;
};

HWY_INLINE void addWeighted(DF d, VF weight, const FilterRow& t, size_t x, Sums& s) {
    s.w = hn::Add(s.w, weight);
    s.r = hn::Add(s.r, hn::Mul(weight, hn::LoadU(d, t.r + x)));
    s.g = hn::Add(s.g, hn::Mul(weight, hn::LoadU(d, t.g + x)));
    s.b = hn::Add(s.b, hn::Mul(weight, hn::LoadU(d, t.b + x)));
}

// Stores the lanes of v that fall within the row's w pixels, from pixel x on.
HWY_INLINE void storeWithinRow(DF d, VF v, float* row, size_t x, size_t w) {
    if (x + hn::Lanes(d) <= w) {
        hn::StoreU(v, d, row + x);
        return;
    }
    HWY_ALIGN float tail[HWY_MAX_BYTES / sizeof(float)];
    hn::Store(v, d, tail);
    for (size_t i = 0; x + i < w; ++i) row[x + i] = tail[i];
}

// The pixels' new light (the weighted mean where any tap counted), its
// luminance and the mean's variance, into the next planes.
HWY_INLINE void storeMeans(DF d, const Sums& s, const FilterRow& row, const FilterNext& next, size_t x, size_t w) {
    const auto any = hn::Lt(hn::Zero(d), s.w);
    const VF r = hn::IfThenElse(any, hn::Div(s.r, s.w), hn::LoadU(d, row.r + x));
    const VF g = hn::IfThenElse(any, hn::Div(s.g, s.w), hn::LoadU(d, row.g + x));
    const VF b = hn::IfThenElse(any, hn::Div(s.b, s.w), hn::LoadU(d, row.b + x));
    storeWithinRow(d, r, next.r, x, w);
    storeWithinRow(d, g, next.g, x, w);
    storeWithinRow(d, b, next.b, x, w);
    if (next.luminance) {
        const VF luminance = hn::Add(hn::Add(hn::Mul(hn::Set(d, 0.2126f), r), hn::Mul(hn::Set(d, 0.7152f), g)),
                                     hn::Mul(hn::Set(d, 0.0722f), b));
        storeWithinRow(d, luminance, next.luminance, x, w);
    }
    if (next.variance)
        storeWithinRow(d, hn::IfThenElse(any, hn::Div(s.v, hn::Mul(s.w, s.w)), hn::LoadU(d, row.variance + x)),
                       next.variance, x, w);
}

// The loop both filters share: for each vector of pixels and each of the
// kernel's taps, the surfaces' likeness, the depth difference and the tap's
// brightness go to weightOf(centre, weightOf.pixel(centre, x), tap index,
// alike, depth difference, tap brightness); pixel() is what it works out once
// per pixel rather than once per tap. Vectors weightOf.settled() keep their light.
template <class WeightOf>
HWY_INLINE void filterPass(size_t w, const FilterRow& row, const FilterKernel& k, const FilterNext& next,
                           const WeightOf& weightOf) {
    const DF d;
    const VF depthScale = hn::Set(d, k.depthScale);
    FilterRow taps[filterTaps];
    for (int i = 0; i < k.taps; ++i) taps[i] = movedBy(row, k.offset[i]);
    bool settled = false;
    for (size_t x = 0; x < w; x += hn::Lanes(d)) {
        if (x % settledBlock == 0) settled = weightOf.settled(row, x, w);
        if (settled) {
            const Sums none{hn::Zero(d), hn::Zero(d), hn::Zero(d), hn::Zero(d), hn::Zero(d)};
            storeMeans(d, none, row, next, x, w);
            continue;
        }
        const Centre c = loadCentre(d, row, x);
        const auto pixel = weightOf.pixel(c, x);
        Sums s{hn::Zero(d), hn::Zero(d), hn::Zero(d), hn::Zero(d), hn::Zero(d)};
        for (int i = 0; i < k.taps; ++i) {
            const FilterRow& t = taps[i];
            const VF alike = surfacesAlike(d, c, t, x);
            const VF depthDifference = hn::Mul(hn::Sub(c.depth, hn::LoadU(d, t.depth + x)), depthScale);
            const VF seenDifference = weightOf.seesShadows() ? hn::Abs(hn::Sub(c.seen, hn::LoadU(d, t.seen + x))) : hn::Zero(d);
            const VF weight = weightOf(c, pixel, i, alike, depthDifference, hn::LoadU(d, t.luminance + x), seenDifference);
            addWeighted(d, weight, t, x, s);
            if (next.variance) s.v = hn::Add(s.v, hn::Mul(hn::Mul(weight, weight), hn::LoadU(d, t.variance + x)));
        }
        storeMeans(d, s, row, next, x, w);
    }
}

// The plain filter's weight: a difference d at tolerance t counts
// 1 / (1 + (d / t)^2), depth and brightness together, with one division.
struct PlainWeight {
    const FilterKernel& k;
    HWY_INLINE bool settled(const FilterRow&, size_t, size_t) const { return false; }
    HWY_INLINE VF pixel(const Centre&, size_t) const { return hn::Zero(DF()); }
    HWY_INLINE bool seesShadows() const { return false; }
    HWY_INLINE VF operator()(const Centre& c, VF, int i, VF alike, VF depthDifference, VF tapLuminance, VF) const {
        const DF d;
        const VF brightness = hn::Sub(c.luminance, tapLuminance);
        const VF tolerance = hn::Mul(hn::Set(d, k.brightnessTolerance),
                                     hn::Add(hn::Mul(hn::Set(d, 0.5f), hn::Add(c.luminance, tapLuminance)), hn::Set(d, 1e-4f)));
        const VF tolerance2 = hn::Mul(tolerance, tolerance);
        return hn::Div(hn::Mul(hn::Mul(hn::Set(d, k.spline[i]), alike), hn::Mul(c.depthTolerance2, tolerance2)),
                       hn::Mul(hn::Add(c.depthTolerance2, hn::Mul(depthDifference, depthDifference)),
                               hn::Add(tolerance2, hn::Mul(brightness, brightness))));
    }
};

// The variance-guided weight: brightness against the centre's deviation and
// depth against the centre's depth, in one exponential, so a tap costs no
// division (the reciprocals are worked out once per pixel, not once per tap).
struct VarianceWeight {
    const FilterKernel& k;
    const float* deviation;
    struct PerPixel {
        VF perTolerance, perDepthTolerance2;
    };
    // Whether the block of pixels from x (up to settledBlock of them, within
    // the row's w) is settled: decided for the block, not for a vector, so
    // that every target keeps the same pixels.
    HWY_INLINE bool settled(const FilterRow& row, size_t x, size_t w) const {
        if (!(k.settledDeviation > 0.0f)) return false;
        const DF d;
        const VF share = hn::Set(d, k.settledDeviation);
        const size_t end = x + settledBlock < w ? x + settledBlock : w;
        for (size_t v = x; v < end; v += hn::Lanes(d)) {
            const auto below = hn::Lt(hn::LoadU(d, deviation + v), hn::Mul(share, hn::LoadU(d, row.luminance + v)));
            if (!hn::AllTrue(d, hn::Or(below, hn::Not(hn::FirstN(d, end - v))))) return false;
        }
        return true;
    }
    HWY_INLINE PerPixel pixel(const Centre& c, size_t x) const {
        const DF d;
        const VF one = hn::Set(d, 1.0f);
        return {hn::Div(one, hn::Add(hn::LoadU(d, deviation + x), hn::Set(d, tinyDeviation))),
                hn::Div(one, largerOf(c.depthTolerance2, hn::Set(d, 1e-12f)))};
    }
    HWY_INLINE bool seesShadows() const { return k.shadowStop > 0.0f; }
    HWY_INLINE VF operator()(const Centre& c, const PerPixel& pixel, int i, VF alike, VF depthDifference,
                             VF tapLuminance, VF seenDifference) const {
        const DF d;
        VF difference = hn::Add(hn::Mul(hn::Abs(hn::Sub(c.luminance, tapLuminance)), pixel.perTolerance),
                                hn::Mul(hn::Mul(depthDifference, depthDifference), pixel.perDepthTolerance2));
        if (seesShadows()) difference = hn::Add(difference, hn::Mul(seenDifference, hn::Set(d, k.shadowStop)));
        const VF weight =
            hn::IfThenElseZero(hn::Lt(difference, hn::Set(d, negligibleBeyond)), expNegative(d, difference));
        return hn::Mul(hn::Mul(hn::Set(d, k.spline[i]), alike), weight);
    }
};

void FilterPassRow(size_t w, const FilterRow& row, const FilterKernel& k, const FilterNext& next) {
    filterPass(w, row, k, next, PlainWeight{k});
}

void VarianceFilterPassRow(size_t w, const FilterRow& row, const float* deviation, const FilterKernel& k,
                           const FilterNext& next) {
    filterPass(w, row, k, next, VarianceWeight{k, deviation});
}

void DeviationRow(size_t w, size_t pw, const float* kind, const float* variance, float phi, float* out) {
    const DF d;
    constexpr float gaussian3[3] = {0.25f, 0.5f, 0.25f};
    for (size_t x = 0; x < w; x += hn::Lanes(d)) {
        const VF centreKind = hn::LoadU(d, kind + x);
        VF sum = hn::Zero(d), sumW = hn::Zero(d);
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                const size_t q = x + (static_cast<size_t>(j) - 1) * pw + static_cast<size_t>(i) - 1;
                const VF sameKind =
                    largerOf(hn::Sub(hn::Set(d, 1.0f), hn::Abs(hn::Sub(centreKind, hn::LoadU(d, kind + q)))), hn::Zero(d));
                const VF g = hn::Mul(hn::Set(d, gaussian3[i] * gaussian3[j]), sameKind);
                sumW = hn::Add(sumW, g);
                sum = hn::Add(sum, hn::Mul(g, hn::LoadU(d, variance + q)));
            }
        storeWithinRow(d, hn::Mul(hn::Set(d, phi), hn::Sqrt(hn::Div(sum, sumW))), out, x, w);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_filter
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tpl_filter {
HWY_EXPORT(FilterPassRow);
HWY_EXPORT(VarianceFilterPassRow);
HWY_EXPORT(DeviationRow);
}  // namespace tpl_filter

void filterPassRow(size_t w, const FilterRow& centre, const FilterKernel& kernel, const FilterNext& next) {
    HWY_DYNAMIC_DISPATCH(tpl_filter::FilterPassRow)(w, centre, kernel, next);
}

void varianceFilterPassRow(size_t w, const FilterRow& centre, const float* deviation, const FilterKernel& kernel,
                           const FilterNext& next) {
    HWY_DYNAMIC_DISPATCH(tpl_filter::VarianceFilterPassRow)(w, centre, deviation, kernel, next);
}

void deviationRow(size_t w, size_t pw, const float* kind, const float* variance, float phi, float* out) {
    HWY_DYNAMIC_DISPATCH(tpl_filter::DeviationRow)(w, pw, kind, variance, phi, out);
}

#endif  // HWY_ONCE
