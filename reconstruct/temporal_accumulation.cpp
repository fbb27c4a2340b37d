// Compiled once per vector target (Highway's foreach_target) and run on the
// best one the CPU has. A lane does what the plain C++ of one pixel would,
// in the same order: no fused multiply-adds, no approximate reciprocals, and
// std::min / std::max spelled out as their comparisons (so a NaN goes where
// it would), so every target writes the same bytes.
#include "reconstruct/temporal_accumulation.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reconstruct/temporal_accumulation.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"
#include "render/counting-inl.h"
#include "reconstruct/image_plane-inl.h"
#include "reconstruct/plane_reader-inl.h"
#include "render/prefetch.h"
#include "render/record_fields-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tpl_accumulation {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;
using MI = hn::Mask<DI>;
using tpl_plane::HWY_NAMESPACE::countingFrom;
using tpl_plane::HWY_NAMESPACE::mappedLanes;
using PlaneReader = tpl_plane::HWY_NAMESPACE::PlaneReader<DF>;
using tpl_records::HWY_NAMESPACE::field;
using tpl_records::HWY_NAMESPACE::fieldPair;

constexpr size_t maxLanes = HWY_MAX_BYTES / sizeof(float);

// std::max(a, b) and std::min(a, b), lane for lane.
HWY_INLINE VF largerOf(VF a, VF b) {
    return hn::IfThenElse(hn::Lt(a, b), b, a);
}
HWY_INLINE VF smallerOf(VF a, VF b) {
    return hn::IfThenElse(hn::Lt(b, a), b, a);
}

// What the reprojection compares of a pixel's guide.
struct Surface {
    VF nx, ny, nz, depth, hitDepth, object, specular;
};

// Whether the history's pixels show the same surface as the current ones.
HWY_INLINE MF sameSurface(DF d, const ReconstructionSettings& s, const Surface& g, const Surface& h, VF tolerance) {
    const MF same = hn::And(hn::Eq(h.object, g.object), hn::Eq(h.specular, g.specular));
    const MF sky = hn::Eq(g.object, hn::Set(d, static_cast<float>(missObjectId)));
    const MF near = hn::Not(hn::Gt(hn::Abs(hn::Sub(h.hitDepth, g.hitDepth)), tolerance));
    // A chain that ends in the sky has no normal to compare.
    const VF miss = hn::Set(d, missDistance);
    const MF chainInSky = hn::Or(hn::Ge(g.depth, miss), hn::Ge(h.depth, miss));
    const VF facing = hn::Add(hn::Add(hn::Mul(g.nx, h.nx), hn::Mul(g.ny, h.ny)), hn::Mul(g.nz, h.nz));
    const MF agrees = hn::Or(hn::And(chainInSky, hn::Eq(g.depth, h.depth)),
                             hn::AndNot(chainInSky, hn::Ge(facing, hn::Set(d, s.normalAgreement))));
    return hn::And(same, hn::Or(sky, hn::And(near, agrees)));
}

// How far ahead of the gathers the memory is asked for.
constexpr size_t prefetchVectors = 2;


// Three rows' first-hit objects and distances (the row of the pixels and the
// rows above and below, each in a slot of its own), with a border whose
// object is NaN (equal to none) around the frame: the depth slope reads a
// pixel's four neighbours without bounds checks.
class DepthRows {
public:
    DepthRows(const AccumulationInput& in, size_t lanes)
        : in_(in), stride_(static_cast<size_t>(in.width) + lanes + 1),
          rows_(2 * slots * stride_, std::numeric_limits<float>::quiet_NaN()) {}
    // Reads row y into its slot (all NaN where it lies outside the frame).
    void fill(int y) {
        float* const object = rows_.data() + objectAt(y);
        float* const hitDepth = rows_.data() + hitDepthAt(y);
        if (y < 0 || y >= in_.height) {
            std::fill(object - 1, object - 1 + stride_, std::numeric_limits<float>::quiet_NaN());
            return;
        }
        const DF d;
        const DI di;
        const int w = in_.width;
        const size_t lanes = hn::Lanes(d);
        const float* const guide = in_.guide + static_cast<size_t>(y) * w * guideFloats;
        const VF none = hn::Set(d, std::numeric_limits<float>::quiet_NaN());
        for (int x = 0; x < w; x += static_cast<int>(lanes)) {
            // The gathers leave the reading ahead to us.
            const size_t ahead = x + prefetchVectors * lanes;
            if (ahead < static_cast<size_t>(w))
                prefetchFloats(guide + ahead * guideFloats, std::min(lanes, static_cast<size_t>(w) - ahead) * guideFloats);
            const VI column = countingFrom(di, x);
            const MF inside = hn::RebindMask(d, hn::Lt(column, hn::Set(di, w)));
            const VI at = hn::Mul(hn::Add(hn::Set(di, y * w), hn::Min(column, hn::Set(di, w - 1))), hn::Set(di, guideFloats));
            VF depth, id;
            fieldPair(d, in_.guide, at, guideHitDepth, depth, id);
            hn::StoreU(hn::IfThenElse(inside, id, none), d, object + x);
            hn::StoreU(hn::IfThenElse(inside, depth, none), d, hitDepth + x);
        }
    }
    // Row y's pixel 0; its pixels -1 and w (and what lies beyond) are NaN.
    const float* object(int y) const { return rows_.data() + objectAt(y); }
    const float* hitDepth(int y) const { return rows_.data() + hitDepthAt(y); }

private:
    static constexpr size_t slots = 3;
    size_t slot(int y) const { return static_cast<size_t>((y % 3 + 3) % 3); }  // y may be -1
    size_t objectAt(int y) const { return slot(y) * stride_ + 1; }
    size_t hitDepthAt(int y) const { return (slots + slot(y)) * stride_ + 1; }

    const AccumulationInput& in_;
    size_t stride_;
    std::vector<float> rows_;
};

// How much the first-hit distance may change per pixel here: the largest step
// to a neighbour on the same object (the taps lie within a pixel of the point).
HWY_INLINE VF depthSlope(DF d, const DepthRows& rows, int x, int y, VF object, VF hitDepth) {
    // Left, right, above, below.
    const float* const objects[4] = {rows.object(y) + x - 1, rows.object(y) + x + 1, rows.object(y - 1) + x,
                                     rows.object(y + 1) + x};
    const float* const depths[4] = {rows.hitDepth(y) + x - 1, rows.hitDepth(y) + x + 1, rows.hitDepth(y - 1) + x,
                                    rows.hitDepth(y + 1) + x};
    VF slope = hn::Zero(d);
    for (int k = 0; k < 4; ++k) {
        const MF counts = hn::Eq(hn::LoadU(d, objects[k]), object);
        const VF step = hn::Abs(hn::Sub(hn::LoadU(d, depths[k]), hitDepth));
        slope = hn::IfThenElse(counts, largerOf(slope, step), slope);
    }
    return slope;
}

// The four bilinear taps around the previous positions that show the same
// surface, their weights renormalised; `fresh` where none counts.
struct Reprojected {
    MF fresh;
    VF colour[3], moments[2], length;
    // The range of the light seen at the taps.
    VF leastSeen, mostSeen;
};

HWY_INLINE Reprojected reproject(DF d, const ReconstructionSettings& s, const AccumulationInput& in,
                                 const HistoryView& hist, VF atX, VF atY, const Surface& g, VF slope) {
    const DI di;
    Reprojected r;
    VF weight = hn::Zero(d);
    for (VF& c : r.colour) c = hn::Zero(d);
    for (VF& m : r.moments) m = hn::Zero(d);
    r.length = hn::Zero(d);
    r.leastSeen = hn::Set(d, 1.0f);
    r.mostSeen = hn::Zero(d);
    const VF fx = hn::Floor(atX), fy = hn::Floor(atY);
    const VF minusOne = hn::Set(d, -1.0f);
    const MF valid = hn::AndNot(
        hn::Or(hn::Or(hn::Lt(fx, minusOne), hn::Lt(fy, minusOne)),
               hn::Or(hn::Ge(fx, hn::Set(d, static_cast<float>(hist.width))), hn::Ge(fy, hn::Set(d, static_cast<float>(hist.height))))),
        hn::And(hn::IsFinite(atX), hn::IsFinite(atY)));
    if (hn::AllFalse(d, valid)) {
        r.fresh = hn::FirstN(d, maxLanes);
        return r;
    }
    const VI x0 = hn::ConvertTo(di, hn::IfThenElseZero(valid, fx)), y0 = hn::ConvertTo(di, hn::IfThenElseZero(valid, fy));
    const VF ax = hn::Sub(atX, fx), ay = hn::Sub(atY, fy);
    const VF one = hn::Set(d, 1.0f);
    const VF wx[2] = {hn::Sub(one, ax), ax}, wy[2] = {hn::Sub(one, ay), ay};
    const VF tolerance = hn::Add(hn::Add(hn::Mul(hn::Set(d, s.depthAgreement), g.hitDepth), slope), hn::Set(d, in.cameraStep));
    const VI width = hn::Set(di, hist.width), height = hn::Set(di, hist.height), minusOneI = hn::Set(di, -1);
    const MI validI = hn::RebindMask(di, valid);
    const size_t planeSize = static_cast<size_t>(hist.width) * hist.height;
    for (int k = 0; k < 4; ++k) {
        const VI tx = hn::Add(x0, hn::Set(di, k & 1)), ty = hn::Add(y0, hn::Set(di, k >> 1));
        const MI insideI =
            hn::And(hn::And(hn::Gt(tx, minusOneI), hn::Gt(ty, minusOneI)), hn::And(hn::Lt(tx, width), hn::Lt(ty, height)));
        const VF w = hn::Mul(wx[k & 1], wy[k >> 1]);
        MF tap = hn::And(hn::RebindMask(d, hn::And(validI, insideI)), hn::Gt(w, hn::Zero(d)));
        if (hn::AllFalse(d, tap)) continue;
        // Taps left out are read at the history's first pixel.
        const VI at = hn::Add(hn::Mul(ty, width), tx);
        const VI q = hn::IfThenElseZero(hn::RebindMask(di, tap), at);
        // Most often (the view moving little) the lanes' taps are pixels one
        // after another: then the history's light is read with plain loads.
        const int32_t first = hn::GetLane(at);
        const bool contiguous = hn::AllTrue(di, hn::And(validI, insideI)) &&
                                hn::AllTrue(di, hn::Eq(at, countingFrom(di, first)));
        const PlaneReader reader = contiguous ? PlaneReader{} : tpl_plane::HWY_NAMESPACE::planeReader(d, q, planeSize);
        const auto surfaceAt = [&](int plane) {
            const float* const values = hist.surface + static_cast<size_t>(plane) * planeSize;
            return contiguous ? hn::LoadU(d, values + first) : tpl_plane::HWY_NAMESPACE::read(d, reader, values);
        };
        const Surface h{surfaceAt(surfaceNormal),   surfaceAt(surfaceNormal + 1), surfaceAt(surfaceNormal + 2),
                        surfaceAt(surfaceDepth),    surfaceAt(surfaceHitDepth),   surfaceAt(surfaceObject),
                        surfaceAt(surfaceSpecular)};
        tap = hn::And(tap, sameSurface(d, s, g, h, tolerance));
        if (hn::AllFalse(d, tap)) continue;
        const VF seen = surfaceAt(surfaceLightSeen);
        VF colour[3], moments[2], length;
        if (contiguous) {
            const size_t from = static_cast<size_t>(first);
            hn::LoadInterleaved3(d, hist.colour + 3 * from, colour[0], colour[1], colour[2]);
            hn::LoadInterleaved2(d, hist.moments + 2 * from, moments[0], moments[1]);
            length = hn::LoadU(d, hist.length + from);
        } else {
            const VI q3 = hn::Mul(q, hn::Set(di, 3)), q2 = hn::Add(q, q);
            fieldPair(d, hist.colour, q3, 0, colour[0], colour[1]);
            colour[2] = field(d, hist.colour, q3, 2);
            fieldPair(d, hist.moments, q2, 0, moments[0], moments[1]);
            length = hn::GatherIndex(d, hist.length, q);
        }
        weight = hn::IfThenElse(tap, hn::Add(weight, w), weight);
        for (int c = 0; c < 3; ++c)
            r.colour[c] = hn::IfThenElse(tap, hn::Add(r.colour[c], hn::Mul(w, colour[c])), r.colour[c]);
        for (int m = 0; m < 2; ++m)
            r.moments[m] = hn::IfThenElse(tap, hn::Add(r.moments[m], hn::Mul(w, moments[m])), r.moments[m]);
        r.length = hn::IfThenElse(tap, hn::Add(r.length, hn::Mul(w, length)), r.length);
        r.leastSeen = hn::IfThenElse(tap, smallerOf(r.leastSeen, seen), r.leastSeen);
        r.mostSeen = hn::IfThenElse(tap, largerOf(r.mostSeen, seen), r.mostSeen);
    }
    // Taps that barely count are rounding, not history.
    r.fresh = hn::Lt(weight, hn::Set(d, 1e-3f));
    const VF inv = hn::Div(one, weight);
    for (VF& c : r.colour) c = hn::Mul(c, inv);
    for (VF& m : r.moments) m = hn::Mul(m, inv);
    r.length = hn::Mul(r.length, inv);
    return r;
}

// The history around where the pixel at (x, y) was, some vectors ahead: the
// gathers there would otherwise wait on memory.
HWY_INLINE void prefetchHistory(const HistoryView& hist, const float* previous, int y, int x, int w, size_t lanes) {
    if (x >= w) return;
    const float px = previous[2 * (static_cast<size_t>(y) * w + x)], py = previous[2 * (static_cast<size_t>(y) * w + x) + 1];
    if (!(px >= 0.0f && py >= 0.0f && px < static_cast<float>(hist.width - 1) && py < static_cast<float>(hist.height - 1))) return;
    const size_t first = static_cast<size_t>(py) * hist.width + static_cast<size_t>(px);
    const size_t span = std::min(lanes + 1, static_cast<size_t>(hist.width) - static_cast<size_t>(px));
    for (size_t row = 0; row < 2; ++row) {
        const size_t q = first + row * hist.width;
        prefetchFloats(hist.colour + 3 * q, span * 3);
        prefetchFloats(hist.moments + 2 * q, span * 2);
        prefetchFloats(hist.length + q, span);
    }
}

// Reads count (at most a vector's) pixels of n floats each, the rest zero.
HWY_INLINE const float* padded(const float* from, size_t n, size_t count, size_t lanes, float* buffer) {
    if (count == lanes) return from;
    std::memset(buffer, 0, n * lanes * sizeof(float));
    std::memcpy(buffer, from, n * count * sizeof(float));
    return buffer;
}

void AccumulateRows(const ReconstructionSettings& s, const AccumulationInput& in, const HistoryView& hist,
                    const AccumulatedFrame& out, int y0, int y1) {
    if (y1 <= y0) return;
    const DF d;
    const DI di;
    const size_t lanes = hn::Lanes(d);
    const int w = in.width;
    const VF longest = hn::Set(d, static_cast<float>(std::max(1, s.longestHistory)));
    const VF one = hn::Set(d, 1.0f), zero = hn::Zero(d);
    const VF brightest = hn::Set(d, s.brightestLight), smallest = hn::Set(d, s.smallestAlbedo);
    const VF alpha = hn::Set(d, s.alpha), specularAlpha = hn::Set(d, std::max(s.alpha, s.specularAlpha));
    const bool still = in.toView && in.lastToView && s.stillAlpha < s.alpha;
    const VF stillAlpha = hn::Set(d, s.stillAlpha), alphaRise = hn::Set(d, s.alpha - s.stillAlpha);
    const VF perMovedPixel = hn::Set(d, 1.0f / std::max(s.movingPixels, 1e-6f));
    const VF momentsAlpha = hn::Set(d, s.momentsAlpha);
    const VF penumbraAlpha = hn::Set(d, in.penumbraAlpha);
    const float* const previous = reinterpret_cast<const float*>(in.previous);
    DepthRows depthRows(in, lanes);
    if (previous) {
        depthRows.fill(y0 - 1);
        depthRows.fill(y0);
    }
    HWY_ALIGN float tailRadiance[3 * maxLanes], tailReturned[3 * maxLanes], tailPrevious[2 * maxLanes], tailCap[maxLanes];
    HWY_ALIGN float tailColour[3 * maxLanes], tailMoments[2 * maxLanes], tailLength[maxLanes], tailVariance[maxLanes];
    HWY_ALIGN float tailSurface[maxLanes];
    for (int y = y0; y < y1; ++y) {
        if (previous) depthRows.fill(y + 1);
        for (int x = 0; x < w; x += static_cast<int>(lanes)) {
            const size_t p = static_cast<size_t>(y) * w + x;
            const size_t count = std::min(lanes, static_cast<size_t>(w - x));
            // Lanes past the row's end repeat its last pixel and are not stored.
            const VI column = hn::Min(countingFrom(di, x), hn::Set(di, w - 1));
            const VI at = hn::Mul(hn::Add(hn::Set(di, y * w), column), hn::Set(di, guideFloats));
            Surface g;
            VF albedo[3], seen;
            fieldPair(d, in.guide, at, guideNormal, g.nx, g.ny);
            fieldPair(d, in.guide, at, guideNormal + 2, g.nz, albedo[0]);
            fieldPair(d, in.guide, at, guideAlbedo + 1, albedo[1], albedo[2]);
            fieldPair(d, in.guide, at, guideDepth, g.depth, g.hitDepth);
            fieldPair(d, in.guide, at, guideObject, g.object, g.specular);
            seen = field(d, in.guide, at, guideLightSeen);
            VF radiance[3];
            hn::LoadInterleaved3(d, padded(in.radiance + 3 * p, 3, count, lanes, tailRadiance), radiance[0], radiance[1],
                                 radiance[2]);
            VF light[3], surface[3];
            for (int c = 0; c < 3; ++c) {
                surface[c] = largerOf(albedo[c], smallest);
                light[c] = hn::Div(smallerOf(radiance[c], brightest), surface[c]);
            }
            if (in.returned) {
                VF back[3];
                hn::LoadInterleaved3(d, padded(in.returned + 3 * p, 3, count, lanes, tailReturned), back[0], back[1], back[2]);
                for (int c = 0; c < 3; ++c) light[c] = hn::Add(light[c], back[c]);
            }
            const VF l = hn::Add(hn::Add(hn::Mul(hn::Set(d, 0.2126f), light[0]), hn::Mul(hn::Set(d, 0.7152f), light[1])),
                                 hn::Mul(hn::Set(d, 0.0722f), light[2]));
            const VF l2 = hn::Mul(l, l);
            VF colour[3] = {light[0], light[1], light[2]};
            VF moments[2] = {l, l2};
            VF length = one, variance = zero;
            if (previous) {
                prefetchHistory(hist, previous, y, x + static_cast<int>(prefetchVectors * lanes), w, lanes);
                VF atX, atY;
                hn::LoadInterleaved2(d, padded(previous + 2 * p, 2, count, lanes, tailPrevious), atX, atY);
                const VF slope = depthSlope(d, depthRows, x, y, g.object, g.hitDepth);
                const Reprojected r = reproject(d, s, in, hist, atX, atY, g, slope);
                if (!hn::AllTrue(d, r.fresh)) {
                    VF kept = smallerOf(hn::Add(r.length, one), longest);
                    if (in.lengthCap) kept = smallerOf(kept, hn::LoadU(d, padded(in.lengthCap + p, 1, count, lanes, tailCap)));
                    // A shadow moved over the surface: what it had gathered is the old
                    // light. (Cut short in proportion instead, the trail measured longer.)
                    kept = hn::IfThenElse(hn::Or(hn::Gt(seen, r.mostSeen), hn::Lt(seen, r.leastSeen)), one, kept);
                    kept = largerOf(kept, one);
                    VF plain = alpha;
                    if (still) {
                        // How far the surface moved in the view, in output pixels.
                        VF nowX, nowY, wasX, wasY;
                        mappedLanes(d, *in.toView, countingFrom(d, static_cast<float>(x)), hn::Set(d, static_cast<float>(y)), nowX, nowY);
                        mappedLanes(d, *in.lastToView, atX, atY, wasX, wasY);
                        const VF mx = hn::Sub(wasX, nowX), my = hn::Sub(wasY, nowY);
                        const VF moved = hn::Sqrt(hn::Add(hn::Mul(mx, mx), hn::Mul(my, my)));
                        const VF share = smallerOf(hn::Mul(moved, perMovedPixel), one);
                        plain = hn::Add(stillAlpha, hn::Mul(alphaRise, share));
                    }
                    VF least = hn::IfThenElse(hn::Not(hn::Eq(g.specular, zero)), specularAlpha, plain);
                    // While the light moves, a penumbra's history holds the old shadow.
                    const MF partlySeen = hn::Or(hn::And(hn::Gt(seen, zero), hn::Lt(seen, one)),
                                                 hn::Not(hn::Eq(r.mostSeen, r.leastSeen)));
                    least = hn::IfThenElse(partlySeen, largerOf(least, penumbraAlpha), least);
                    const VF inverse = hn::Div(one, kept);
                    const VF a = largerOf(least, inverse), am = largerOf(momentsAlpha, inverse);
                    const MF blend = hn::Not(r.fresh);
                    for (int c = 0; c < 3; ++c)
                        colour[c] = hn::IfThenElse(blend, hn::Add(r.colour[c], hn::Mul(a, hn::Sub(light[c], r.colour[c]))), colour[c]);
                    const VF m0 = hn::Add(r.moments[0], hn::Mul(am, hn::Sub(l, r.moments[0])));
                    const VF m1 = hn::Add(r.moments[1], hn::Mul(am, hn::Sub(l2, r.moments[1])));
                    moments[0] = hn::IfThenElse(blend, m0, moments[0]);
                    moments[1] = hn::IfThenElse(blend, m1, moments[1]);
                    length = hn::IfThenElse(blend, kept, length);
                    // The moments tell one frame's noise; the history averages about
                    // `length` frames of it, and the filter needs to know what noise is left.
                    variance = hn::IfThenElse(blend, hn::Div(largerOf(zero, hn::Sub(m1, hn::Mul(m0, m0))), kept), variance);
                }
            }
            if (out.surface) {
                const VF planes[surfacePlanes] = {g.nx, g.ny, g.nz, g.depth, g.hitDepth, g.object, g.specular, seen};
                for (int k = 0; k < surfacePlanes; ++k) {
                    float* const to = out.surface + static_cast<size_t>(k) * w * in.height + p;
                    if (count == lanes) {
                        hn::StoreU(planes[k], d, to);
                    } else {
                        hn::Store(planes[k], d, tailSurface);
                        std::memcpy(to, tailSurface, count * sizeof(float));
                    }
                }
            }
            VF modulated[3];
            for (int c = 0; c < 3; ++c) modulated[c] = hn::Mul(colour[c], surface[c]);
            if (count == lanes) {
                hn::StoreInterleaved3(colour[0], colour[1], colour[2], d, out.colour + 3 * p);
                if (out.modulated) hn::StoreInterleaved3(modulated[0], modulated[1], modulated[2], d, out.modulated + 3 * p);
                hn::StoreInterleaved2(moments[0], moments[1], d, out.moments + 2 * p);
                hn::StoreU(length, d, out.length + p);
                hn::StoreU(variance, d, out.variance + p);
                continue;
            }
            hn::StoreInterleaved3(colour[0], colour[1], colour[2], d, tailColour);
            hn::StoreInterleaved2(moments[0], moments[1], d, tailMoments);
            hn::Store(length, d, tailLength);
            hn::Store(variance, d, tailVariance);
            std::memcpy(out.colour + 3 * p, tailColour, 3 * count * sizeof(float));
            if (out.modulated) {
                hn::StoreInterleaved3(modulated[0], modulated[1], modulated[2], d, tailColour);
                std::memcpy(out.modulated + 3 * p, tailColour, 3 * count * sizeof(float));
            }
            std::memcpy(out.moments + 2 * p, tailMoments, 2 * count * sizeof(float));
            std::memcpy(out.length + p, tailLength, count * sizeof(float));
            std::memcpy(out.variance + p, tailVariance, count * sizeof(float));
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_accumulation
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tpl_accumulation {
HWY_EXPORT(AccumulateRows);
}  // namespace tpl_accumulation

float demodulated(float light, float albedo, float smallest) {
    return light / std::max(albedo, smallest);
}

void accumulateRows(const ReconstructionSettings& settings, const AccumulationInput& in, const HistoryView& history,
                    const AccumulatedFrame& out, int y0, int y1) {
    HWY_DYNAMIC_DISPATCH(tpl_accumulation::AccumulateRows)(settings, in, history, out, y0, y1);
}

#endif  // HWY_ONCE
