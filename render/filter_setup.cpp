// Compiled once per vector target (Highway's foreach_target). A lane does
// what the plain C++ of one pixel would, in the same order (no fused
// multiply-adds, std::max spelled out as its comparison).
#include "render/filter_setup.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/filter_setup.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"
#include "render/counting-inl.h"
#include "render/prefetch.h"
#include "render/record_fields-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tpl_filter_setup {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using MF = hn::Mask<DF>;
using tpl_records::HWY_NAMESPACE::field;
using tpl_records::HWY_NAMESPACE::fieldPair;

constexpr size_t maxLanes = HWY_MAX_BYTES / sizeof(float);
// How far ahead of the gathers the guide is asked for.
constexpr size_t prefetchVectors = 2;

// std::max(a, b), lane for lane.
HWY_INLINE VF largerOf(VF a, VF b) {
    return hn::IfThenElse(hn::Lt(a, b), b, a);
}

// Stores the first count lanes of v (a whole vector when count is the lanes').
HWY_INLINE void storeFirst(DF d, VF v, size_t count, float* to) {
    if (count == hn::Lanes(d)) {
        hn::StoreU(v, d, to);
        return;
    }
    HWY_ALIGN float tail[maxLanes];
    hn::Store(v, d, tail);
    std::memcpy(to, tail, count * sizeof(float));
}

void FilterPlanesRow(size_t w, const float* radiance, const float* guide, const float* variance, float smallestAlbedo,
                     const FilterPlaneRow& out) {
    const DF d;
    const DI di;
    const size_t lanes = hn::Lanes(d);
    const VF zero = hn::Zero(d), one = hn::Set(d, 1.0f), floor = hn::Set(d, smallestAlbedo);
    const VF miss = hn::Set(d, missDistance);
    HWY_ALIGN float tailRadiance[3 * maxLanes] = {}, tailVariance[maxLanes] = {};
    for (size_t x = 0; x < w; x += lanes) {
        const size_t count = std::min(lanes, w - x);
        // The gathers leave the reading ahead to us.
        const size_t ahead = x + prefetchVectors * lanes;
        if (ahead < w) prefetchFloats(guide + ahead * guideFloats, std::min(lanes, w - ahead) * guideFloats);
        // Lanes past the row's end repeat its last pixel and are not stored.
        const auto column = hn::Min(tpl_plane::HWY_NAMESPACE::countingFrom(di, static_cast<int32_t>(x)),
                                    hn::Set(di, static_cast<int32_t>(w - 1)));
        const auto at = hn::Mul(column, hn::Set(di, guideFloats));
        VF nx, ny, nz, albedo[3], depth, hitDepth, object, specular;
        fieldPair(d, guide, at, guideNormal, nx, ny);
        fieldPair(d, guide, at, guideNormal + 2, nz, albedo[0]);
        fieldPair(d, guide, at, guideAlbedo + 1, albedo[1], albedo[2]);
        fieldPair(d, guide, at, guideDepth, depth, hitDepth);
        fieldPair(d, guide, at, guideObject, object, specular);
        const MF sky = hn::Ge(depth, miss);
        const VF kind = variance ? hn::Add(hn::Mul(hn::Set(d, 2.0f), object), specular) : hn::IfThenElseZero(sky, one);
        storeFirst(d, kind, count, out.kind + x);
        if (variance) {
            if (count < lanes) std::memcpy(tailVariance, variance + x, count * sizeof(float));
            storeFirst(d, largerOf(count == lanes ? hn::LoadU(d, variance + x) : hn::Load(d, tailVariance), zero), count,
                       out.variance + x);
        }
        if (out.seen) storeFirst(d, field(d, guide, at, guideLightSeen), count, out.seen + x);
        storeFirst(d, hn::IfThenElse(sky, one, nx), count, out.nx + x);
        storeFirst(d, hn::IfThenElse(sky, zero, ny), count, out.ny + x);
        storeFirst(d, hn::IfThenElse(sky, zero, nz), count, out.nz + x);
        storeFirst(d, depth, count, out.depth + x);
        if (count < lanes) std::memcpy(tailRadiance, radiance + 3 * x, 3 * count * sizeof(float));
        VF light[3];
        hn::LoadInterleaved3(d, count == lanes ? radiance + 3 * x : tailRadiance, light[0], light[1], light[2]);
        float* const albedoOut[3] = {out.albedoR, out.albedoG, out.albedoB};
        float* const lightOut[3] = {out.lightR, out.lightG, out.lightB};
        for (int c = 0; c < 3; ++c) {
            const VF surface = largerOf(albedo[c], floor);
            light[c] = hn::Div(light[c], surface);
            storeFirst(d, surface, count, albedoOut[c] + x);
            storeFirst(d, light[c], count, lightOut[c] + x);
        }
        const VF luminance = hn::Add(hn::Add(hn::Mul(hn::Set(d, 0.2126f), light[0]), hn::Mul(hn::Set(d, 0.7152f), light[1])),
                                     hn::Mul(hn::Set(d, 0.0722f), light[2]));
        storeFirst(d, luminance, count, out.luminance + x);
    }
}

void FilterResultRow(size_t w, const float* lightR, const float* lightG, const float* lightB, const float* albedoR,
                     const float* albedoG, const float* albedoB, float* out) {
    const DF d;
    const size_t lanes = hn::Lanes(d);
    HWY_ALIGN float tail[3 * maxLanes];
    // Whole vectors are read: past a row lie its border and the next rows
    // (the planes' bottom border past the last).
    for (size_t x = 0; x < w; x += lanes) {
        const VF r = hn::Mul(hn::LoadU(d, lightR + x), hn::LoadU(d, albedoR + x));
        const VF g = hn::Mul(hn::LoadU(d, lightG + x), hn::LoadU(d, albedoG + x));
        const VF b = hn::Mul(hn::LoadU(d, lightB + x), hn::LoadU(d, albedoB + x));
        const size_t count = std::min(lanes, w - x);
        if (count == lanes) {
            hn::StoreInterleaved3(r, g, b, d, out + 3 * x);
            continue;
        }
        hn::StoreInterleaved3(r, g, b, d, tail);
        std::memcpy(out + 3 * x, tail, 3 * count * sizeof(float));
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_filter_setup
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tpl_filter_setup {
HWY_EXPORT(FilterPlanesRow);
HWY_EXPORT(FilterResultRow);
}  // namespace tpl_filter_setup

void filterPlanesRow(size_t w, const float* radiance, const float* guide, const float* variance, float smallestAlbedo,
                     const FilterPlaneRow& out) {
    HWY_DYNAMIC_DISPATCH(tpl_filter_setup::FilterPlanesRow)(w, radiance, guide, variance, smallestAlbedo, out);
}

void filterResultRow(size_t w, const float* lightR, const float* lightG, const float* lightB, const float* albedoR,
                     const float* albedoG, const float* albedoB, float* out) {
    HWY_DYNAMIC_DISPATCH(tpl_filter_setup::FilterResultRow)(w, lightR, lightG, lightB, albedoR, albedoG, albedoB, out);
}

#endif  // HWY_ONCE
