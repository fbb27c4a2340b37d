// The rows' positions are computed on the best vector target the CPU has
// (Highway's foreach_target), each lane exactly as one pixel alone would be:
// the same double-precision operations in the same order, no fused
// multiply-adds, so every target writes the same positions.
#include "reconstruct/motion.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reconstruct/motion.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"
#include "render/counting-inl.h"
#include "render/prefetch.h"

#ifndef TPL_MOTION_ONCE
#define TPL_MOTION_ONCE
namespace tpl_motion {

constexpr int objectIds = firstBoxObjectId + maxBoxes;

// What every pixel of one pair of records shares, worked out once.
struct PairMotion {
    const FrameData* now;
    PlaneInverse nowPlane;  // for where its forward axis meets the plane
    double forward[3], right[3], vertical[3];  // now's camera axes
    PlaneInverse before;
    // Per object id: whether both records hold it (1 or 0), and how far it
    // moved from before to now, plus the step from before's camera to now's.
    double held[objectIds];
    double back[objectIds][3];  // now's camera - object's move - before's camera
};

}  // namespace tpl_motion
#endif

HWY_BEFORE_NAMESPACE();
namespace tpl_motion {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DD = hn::ScalableTag<double>;
using VD = hn::Vec<DD>;
using DF = hn::Rebind<float, DD>;  // a float per double lane
using DI = hn::Rebind<int32_t, DD>;
using DL = hn::Rebind<int64_t, DD>;

// positionOn (image_plane.h), lane for lane; NaN where it gives NaN.
HWY_INLINE void positionsOn(DD d, const PlaneInverse& plane, const VD dir[3], VD& x, VD& y) {
    VD part[3];
    for (int r = 0; r < 3; ++r)
        part[r] = hn::Add(hn::Add(hn::Mul(hn::Set(d, plane.rows[r][0]), dir[0]), hn::Mul(hn::Set(d, plane.rows[r][1]), dir[1])),
                          hn::Mul(hn::Set(d, plane.rows[r][2]), dir[2]));
    const auto valid = hn::And(hn::Gt(part[0], hn::Zero(d)), hn::And(hn::IsFinite(part[1]), hn::IsFinite(part[2])));
    const VD toPixels = hn::Div(hn::Set(d, 1.0), hn::Mul(part[0], hn::Set(d, plane.invWidth)));
    const VD nan = hn::Set(d, std::numeric_limits<double>::quiet_NaN());
    x = hn::IfThenElse(valid, hn::Add(hn::Mul(part[1], toPixels), hn::Set(d, plane.centreX)), nan);
    y = hn::IfThenElse(valid, hn::Add(hn::Mul(part[2], toPixels), hn::Set(d, plane.centreY)), nan);
}

// A pixel's first-hit distance and object id (neighbours in its guide), read
// as one 64-bit value per lane.
HWY_INLINE void depthAndObject(DD d, const float* guide, hn::Vec<DI> at, VD& depth, VD& id) {
    static_assert(guideObject == guideHitDepth + 1, "the distance and the id are read as a pair");
    const DL dl;
    const hn::Rebind<uint32_t, DD> du;
    const hn::Vec<DL> bytes = hn::ShiftLeft<2>(hn::PromoteTo(dl, at));
    const auto pairs = hn::BitCast(hn::RebindToUnsigned<DD>(), hn::GatherOffset(dl, reinterpret_cast<const int64_t*>(guide + guideHitDepth), bytes));
    depth = hn::PromoteTo(d, hn::BitCast(DF(), hn::TruncateTo(du, pairs)));
    id = hn::PromoteTo(d, hn::BitCast(DF(), hn::TruncateTo(du, hn::ShiftRight<32>(pairs))));
}

// The objects' table entries for the lanes: whether both records hold the
// object, and its step back. Most vectors lie on one object, whose entries
// are then read once for all lanes.
HWY_INLINE hn::Mask<DD> objectEntries(DD d, const PairMotion& m, hn::Vec<DL> k, VD back[3]) {
    const DL dl;
    const int64_t first = hn::GetLane(k);
    VD held;
    if (hn::AllTrue(dl, hn::Eq(k, hn::Set(dl, first)))) {
        held = hn::Set(d, m.held[first]);
        for (int c = 0; c < 3; ++c) back[c] = hn::Set(d, m.back[first][c]);
    } else {
        held = hn::GatherIndex(d, m.held, k);
        const auto k3 = hn::Mul(k, hn::Set(dl, 3));
        for (int c = 0; c < 3; ++c) back[c] = hn::GatherIndex(d, &m.back[0][0] + c, k3);
    }
    return hn::Eq(held, hn::Set(d, 1.0));
}

// How far ahead of the gathers the guide is asked for.
constexpr size_t prefetchVectors = 4;

void PreviousRows(const PairMotion& m, const float* guide, PixelPos* out, int y0, int y1) {
    const DD d;
    const DF df;
    const DI di;
    const DL dl;
    const size_t lanes = hn::Lanes(d);
    const int width = m.now->width;
    const double invW = m.nowPlane.invWidth;
    constexpr float maxDepth = std::numeric_limits<float>::max();
    HWY_ALIGN float xs[HWY_MAX_BYTES / sizeof(double)], ys[HWY_MAX_BYTES / sizeof(double)];
    for (int y = y0; y < y1; ++y) {
        // The guide ray's direction in double precision (directionThrough
        // rounds the same sum to floats): forward + u right + v vertical.
        const double v = (y - m.nowPlane.centreY) * invW;
        const double row[3] = {m.forward[0] + v * m.vertical[0], m.forward[1] + v * m.vertical[1],
                               m.forward[2] + v * m.vertical[2]};
        for (int x = 0; x < width; x += static_cast<int>(lanes)) {
            const VD u = hn::Mul(hn::Sub(tpl_plane::HWY_NAMESPACE::countingFrom(d, static_cast<double>(x)), hn::Set(d, m.nowPlane.centreX)), hn::Set(d, invW));
            VD dir[3];
            for (int c = 0; c < 3; ++c) dir[c] = hn::Add(hn::Set(d, row[c]), hn::Mul(u, hn::Set(d, m.right[c])));
            const int ahead = x + static_cast<int>(prefetchVectors * lanes);
            if (ahead < width)
                prefetchFloats(guide + (static_cast<size_t>(y) * width + ahead) * guideFloats,
                               std::min(lanes, static_cast<size_t>(width - ahead)) * guideFloats);
            // Lanes past the row's end read its last pixel and are not stored.
            const auto column = hn::Min(tpl_plane::HWY_NAMESPACE::countingFrom(di, x), hn::Set(di, width - 1));
            const auto at = hn::Mul(hn::Add(hn::Set(di, y * width), column), hn::Set(di, guideFloats));
            VD depth, id;
            depthAndObject(d, guide, at, depth, id);
            // The sky is at infinity: only the turn of the camera moves it.
            const auto sky = hn::Eq(id, hn::Set(d, static_cast<double>(missObjectId)));
            // An id the tracer does not write, or an object one of the records
            // lacks, has no earlier place.
            auto known = hn::And(hn::And(hn::Ge(id, hn::Zero(d)), hn::Lt(id, hn::Set(d, static_cast<double>(objectIds)))),
                                 hn::And(hn::Ge(depth, hn::Zero(d)), hn::Le(depth, hn::Set(d, static_cast<double>(maxDepth)))));
            const VD whole = hn::Floor(hn::IfThenElseZero(known, id));
            known = hn::And(known, hn::Eq(whole, id));
            const auto k = hn::ConvertTo(dl, hn::IfThenElseZero(known, whole));
            VD back[3];
            known = hn::And(known, objectEntries(d, m, k, back));
            // The hit point along the unit ray, moved back with its object,
            // as seen from before's camera.
            const VD t = hn::Div(depth, hn::Sqrt(hn::Add(hn::Add(hn::Mul(dir[0], dir[0]), hn::Mul(dir[1], dir[1])),
                                                         hn::Mul(dir[2], dir[2]))));
            VD seen[3];
            for (int c = 0; c < 3; ++c) seen[c] = hn::IfThenElse(sky, dir[c], hn::Add(hn::Mul(t, dir[c]), back[c]));
            VD px, py;
            positionsOn(d, m.before, seen, px, py);
            const auto placed = hn::Or(sky, known);
            const VD nan = hn::Set(d, std::numeric_limits<double>::quiet_NaN());
            hn::Store(hn::DemoteTo(df, hn::IfThenElse(placed, px, nan)), df, xs);
            hn::Store(hn::DemoteTo(df, hn::IfThenElse(placed, py, nan)), df, ys);
            const int count = std::min(static_cast<int>(lanes), width - x);
            PixelPos* o = out + static_cast<long long>(y) * width + x;
            for (int lane = 0; lane < count; ++lane) o[lane] = {xs[lane], ys[lane]};
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_motion
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tpl_motion {
HWY_EXPORT(PreviousRows);
}  // namespace tpl_motion

namespace {

using tpl_motion::objectIds;
using tpl_motion::PairMotion;

// Below this many pixels a frame is done on the calling thread: starting a
// thread costs about as much as a few thousand pixels.
constexpr long long pixelsPerThread = 32768;

Vec3 boxCentre(const FrameData& fd, int j) {
    return {(fd.boxMinX[j] + fd.boxMaxX[j]) * 0.5f, (fd.boxMinY[j] + fd.boxMaxY[j]) * 0.5f,
            (fd.boxMinZ[j] + fd.boxMaxZ[j]) * 0.5f};
}

PairMotion pairMotion(const FrameData& now, const FrameData& before) {
    PairMotion m;
    m.now = &now;
    m.nowPlane = planeInverse(now);
    for (int c = 0; c < 3; ++c) {
        m.forward[c] = now.camForward[c];
        m.right[c] = now.camRight[c];
        m.vertical[c] = now.camVertical[c];
    }
    m.before = planeInverse(before);
    for (int k = 0; k < objectIds; ++k) {
        const bool sphere = k < firstBoxObjectId;
        const int j = sphere ? k : k - firstBoxObjectId;
        const bool held = sphere ? j < std::min(now.sphereCount, before.sphereCount)
                                 : j < std::min(now.boxCount, before.boxCount);
        m.held[k] = held ? 1.0 : 0.0;
        const Vec3 a = sphere ? sphereCentre(now, j) : boxCentre(now, j);
        const Vec3 b = sphere ? sphereCentre(before, j) : boxCentre(before, j);
        const double moved[3] = {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
        for (int c = 0; c < 3; ++c) m.back[k][c] = double(now.camPosition[c]) - moved[c] - before.camPosition[c];
    }
    return m;
}

void previousRows(const PairMotion& m, const float* guide, PixelPos* out, int y0, int y1) {
    HWY_DYNAMIC_DISPATCH(tpl_motion::PreviousRows)(m, guide, out, y0, y1);
}

}  // namespace

void previousPositions(const FrameData& now, const FrameData& before, const float* guide, PixelPos* out,
                       int threads) {
    // Each pixel is computed alone, so how the rows are split changes nothing.
    RowPool pool(std::max(1, std::min(threads, now.height)));
    previousPositions(now, before, guide, out, pool);
}

void previousPositions(const FrameData& now, const FrameData& before, const float* guide, PixelPos* out,
                       RowPool& pool) {
    if (now.width <= 0 || now.height <= 0) return;
    const PairMotion m = pairMotion(now, before);
    pool.run(now.height, [&](int y0, int y1) { previousRows(m, guide, out, y0, y1); });
}

void previousPositions(const FrameData& now, const FrameData& before, const float* guide, PixelPos* out) {
    const long long pixels = static_cast<long long>(now.width) * now.height;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int threads = static_cast<int>(std::min<long long>(cores, std::max(1LL, pixels / pixelsPerThread)));
    previousPositions(now, before, guide, out, threads);
}

#endif  // HWY_ONCE
