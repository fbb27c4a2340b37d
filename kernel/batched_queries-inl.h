// The nearest-hit and shadow queries of kernel/intersect.h over one vector of
// rays: each lane runs the scalar query's arithmetic in the same order, with
// the same ordered comparisons (a < b ? a : b keeps b when either is NaN), so
// every lane's answer has the scalar answer's bits. Compiled once per vector
// target through kernel/batched_kernel.cpp.
#if defined(TPL_BATCHED_QUERIES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TPL_BATCHED_QUERIES_INL_H_
#undef TPL_BATCHED_QUERIES_INL_H_
#else
#define TPL_BATCHED_QUERIES_INL_H_
#endif

#include <hwy/highway.h>

#include "kernel/batched_queries.h"
#include "kernel/grouped_scene.h"
#include "kernel/intersect.h"

HWY_BEFORE_NAMESPACE();
namespace tpl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;
using MF = hn::Mask<DF>;

struct LaneRays {
    VF ox, oy, oz, dx, dy, dz;
    VF ix, iy, iz;  // reciprocals of the direction
};

HWY_INLINE VF MinOf(VF a, VF b) {
    return hn::IfThenElse(hn::Lt(a, b), a, b);
}
HWY_INLINE VF MaxOf(VF a, VF b) {
    return hn::IfThenElse(hn::Gt(a, b), a, b);
}

// l = centre - o, b = dot(l, d), ll = dot(l, l), summed x + y first.
HWY_INLINE void SphereTerms(DF d, const FrameData& fd, int i, const LaneRays& r, VF& b, VF& ll) {
    const VF lx = hn::Sub(hn::Set(d, fd.sphereX[i]), r.ox);
    const VF ly = hn::Sub(hn::Set(d, fd.sphereY[i]), r.oy);
    const VF lz = hn::Sub(hn::Set(d, fd.sphereZ[i]), r.oz);
    b = hn::Add(hn::Add(hn::Mul(lx, r.dx), hn::Mul(ly, r.dy)), hn::Mul(lz, r.dz));
    ll = hn::Add(hn::Add(hn::Mul(lx, lx), hn::Mul(ly, ly)), hn::Mul(lz, lz));
}

// hitSphereOneSided: lanes that hit nearer than best, their distance in t
// (left as it was when no lane hits).
HWY_INLINE MF HitOneSided(DF d, const FrameData& fd, int i, const LaneRays& r, VF best, VF& t) {
    VF b, ll;
    SphereTerms(d, fd, i, r, b, ll);
    const VF zero = hn::Zero(d);
    const VF h = hn::Sub(hn::Set(d, fd.sphereRadius2[i]), hn::Sub(ll, hn::Mul(b, b)));
    const MF reaches = hn::Not(hn::Lt(h, zero));
    // Most rays pass most spheres: no square root when none of the lanes reaches this one.
    if (hn::AllFalse(d, reaches)) return reaches;
    t = hn::Sub(b, hn::Sqrt(h));
    return hn::And(reaches, hn::And(hn::Gt(t, zero), hn::Lt(t, best)));
}

// hitSphereTwoSided.
HWY_INLINE MF HitTwoSided(DF d, const FrameData& fd, int i, const LaneRays& r, VF best, VF& t) {
    VF b, ll;
    SphereTerms(d, fd, i, r, b, ll);
    const VF zero = hn::Zero(d);
    const VF miss = hn::Set(d, missDistance);
    const VF disc = hn::Add(hn::Set(d, fd.sphereRadius2[i]), hn::Sub(hn::Mul(b, b), ll));
    const MF reaches = hn::Gt(disc, zero);
    if (hn::AllFalse(d, reaches)) return reaches;
    const VF q = hn::Sqrt(disc);
    VF tA = hn::Sub(b, q);
    VF tB = hn::Add(b, q);
    tA = hn::IfThenElse(hn::Lt(tA, zero), miss, tA);
    tB = hn::IfThenElse(hn::Lt(tB, zero), miss, tB);
    t = MinOf(tA, tB);
    return hn::And(reaches, hn::Lt(t, best));
}

HWY_INLINE MF HitByMaterial(DF d, const FrameData& fd, int i, const LaneRays& r, VF best, VF& t) {
    return fd.sphereMaterial[i] == 0 ? HitOneSided(d, fd, i, r, best, t) : HitTwoSided(d, fd, i, r, best, t);
}

struct LaneSpans {
    VF lo0, lo1, lo2, hi0, hi1, hi2;
};

HWY_INLINE void Slab(DF d, float a, float b, VF o, VF inv, VF& lo, VF& hi) {
    const VF t1 = hn::Mul(hn::Sub(hn::Set(d, a), o), inv);
    const VF t2 = hn::Mul(hn::Sub(hn::Set(d, b), o), inv);
    lo = MinOf(t1, t2);
    hi = MaxOf(t1, t2);
}

HWY_INLINE LaneSpans Spans(DF d, const float* minX, const float* minY, const float* minZ, const float* maxX,
                           const float* maxY, const float* maxZ, int j, const LaneRays& r) {
    LaneSpans s;
    Slab(d, minX[j], maxX[j], r.ox, r.ix, s.lo0, s.hi0);
    Slab(d, minY[j], maxY[j], r.oy, r.iy, s.lo1, s.hi1);
    Slab(d, minZ[j], maxZ[j], r.oz, r.iz, s.lo2, s.hi2);
    return s;
}

// slabExit: taken z, y, x, then the cap.
HWY_INLINE VF Exit(const LaneSpans& s, VF cap) {
    return MinOf(MinOf(MinOf(s.hi2, s.hi1), s.hi0), cap);
}

// hitBox: entry distance in t; entered along y in axisY, along z in axisZ.
HWY_INLINE MF HitBox(DF d, const FrameData& fd, int j, const LaneRays& r, VF best, VF& t, MF& axisY, MF& axisZ) {
    const LaneSpans s = Spans(d, fd.boxMinX, fd.boxMinY, fd.boxMinZ, fd.boxMaxX, fd.boxMaxY, fd.boxMaxZ, j, r);
    VF tNear = MaxOf(s.lo0, hn::Zero(d));
    const MF byY = hn::Gt(s.lo1, tNear);
    tNear = hn::IfThenElse(byY, s.lo1, tNear);
    const MF byZ = hn::Gt(s.lo2, tNear);
    tNear = hn::IfThenElse(byZ, s.lo2, tNear);
    const VF tFar = Exit(s, best);
    t = tNear;
    axisY = hn::AndNot(byZ, byY);
    axisZ = byZ;
    return hn::And(hn::Le(tNear, tFar), hn::Lt(tNear, best));
}

// entersBounds.
HWY_INLINE MF EntersBounds(DF d, const FrameData& fd, int v, const LaneRays& r, VF cap) {
    const LaneSpans s =
        Spans(d, fd.boundsMinX, fd.boundsMinY, fd.boundsMinZ, fd.boundsMaxX, fd.boundsMaxY, fd.boundsMaxZ, v, r);
    const VF tNear = MaxOf(MaxOf(MaxOf(s.lo0, s.lo1), s.lo2), hn::Zero(d));
    return hn::And(hn::Le(tNear, Exit(s, cap)), hn::Lt(tNear, cap));
}

// NearestSearch per lane. A sphere's material, centre and radius are looked up
// once the search is over (sphere is set while the last hit taken is one).
struct LaneSearch {
    VF t, object, material, nx, ny, nz;
    MF sphere;
};

HWY_INLINE void TakeSphere(DF d, int i, MF hit, VF t, LaneSearch& s) {
    s.t = hn::IfThenElse(hit, t, s.t);
    s.object = hn::IfThenElse(hit, hn::Set(d, static_cast<float>(i)), s.object);
    s.sphere = hn::Or(s.sphere, hit);
}

HWY_INLINE void TestOneSided(DF d, const FrameData& fd, int i, const LaneRays& r, MF active, LaneSearch& s) {
    VF t = s.t;
    const MF hit = hn::And(active, HitOneSided(d, fd, i, r, s.t, t));
    TakeSphere(d, i, hit, t, s);
}

HWY_INLINE void TestByMaterial(DF d, const FrameData& fd, int i, const LaneRays& r, MF active, LaneSearch& s) {
    VF t = s.t;
    const MF hit = hn::And(active, HitByMaterial(d, fd, i, r, s.t, t));
    TakeSphere(d, i, hit, t, s);
}

// boxNormal: against the ray along the entry axis.
HWY_INLINE VF Against(DF d, VF dir) {
    return hn::IfThenElse(hn::Gt(dir, hn::Zero(d)), hn::Set(d, -1.0f), hn::Set(d, 1.0f));
}

HWY_INLINE void TestBox(DF d, const FrameData& fd, int j, const LaneRays& r, MF active, LaneSearch& s) {
    VF t;
    MF axisY, axisZ;
    const MF hit = hn::And(active, HitBox(d, fd, j, r, s.t, t, axisY, axisZ));
    const VF zero = hn::Zero(d);
    s.t = hn::IfThenElse(hit, t, s.t);
    s.object = hn::IfThenElse(hit, hn::Set(d, static_cast<float>(boxObjectId)), s.object);
    s.material = hn::IfThenElse(hit, hn::Set(d, static_cast<float>(fd.boxMaterial[j])), s.material);
    s.nx = hn::IfThenElse(hit, hn::IfThenElse(hn::Or(axisY, axisZ), zero, Against(d, r.dx)), s.nx);
    s.ny = hn::IfThenElse(hit, hn::IfThenElse(axisY, Against(d, r.dy), zero), s.ny);
    s.nz = hn::IfThenElse(hit, hn::IfThenElse(axisZ, Against(d, r.dz), zero), s.nz);
    s.sphere = hn::AndNot(hit, s.sphere);
}

// The material and sphereNormal for the lanes whose last hit was a sphere.
HWY_INLINE void SphereNormal(DF d, const FrameData& fd, const LaneRays& r, LaneSearch& s) {
    const hn::RebindToSigned<DF> di;
    const auto index = hn::IfThenElseZero(hn::RebindMask(di, s.sphere), hn::ConvertTo(di, s.object));
    const VF material = hn::ConvertTo(d, hn::GatherIndex(di, fd.sphereMaterial, index));
    const VF rcpRadius = hn::Div(hn::Set(d, 1.0f), hn::GatherIndex(d, fd.sphereRadius, index));
    const VF nx = hn::Mul(hn::Sub(hn::Add(r.ox, hn::Mul(r.dx, s.t)), hn::GatherIndex(d, fd.sphereX, index)), rcpRadius);
    const VF ny = hn::Mul(hn::Sub(hn::Add(r.oy, hn::Mul(r.dy, s.t)), hn::GatherIndex(d, fd.sphereY, index)), rcpRadius);
    const VF nz = hn::Mul(hn::Sub(hn::Add(r.oz, hn::Mul(r.dz, s.t)), hn::GatherIndex(d, fd.sphereZ, index)), rcpRadius);
    s.material = hn::IfThenElse(s.sphere, material, s.material);
    s.nx = hn::IfThenElse(s.sphere, nx, s.nx);
    s.ny = hn::IfThenElse(s.sphere, ny, s.ny);
    s.nz = hn::IfThenElse(s.sphere, nz, s.nz);
}

// traceNearest. A group behind a bounding volume is skipped when no lane enters it.
HWY_INLINE void NearestLanes(DF d, const FrameData& fd, const LaneRays& r, LaneSearch& s) {
    const VF zero = hn::Zero(d);
    s.t = hn::Set(d, missDistance);
    s.object = hn::Set(d, static_cast<float>(missObjectId));
    s.material = zero;
    s.nx = s.ny = s.nz = zero;
    s.sphere = hn::FirstN(d, 0);
    const MF all = hn::FirstN(d, hn::Lanes(d));
    if (fd.sceneId == groupedSceneId) {
        const VF cap = hn::Set(d, boundsCapNearest);
        const MF figure = EntersBounds(d, fd, figureBoundsSlot, r, cap);
        if (!hn::AllFalse(d, figure)) {
            for (int i = groupedFigureSpheres.first; i < groupedFigureSpheres.end(); ++i)
                TestOneSided(d, fd, i, r, figure, s);
            for (int j = groupedFigureBoxes.first; j < groupedFigureBoxes.end(); ++j) TestBox(d, fd, j, r, figure, s);
        }
        const MF pedestal = EntersBounds(d, fd, pedestalBoundsSlot, r, cap);
        if (!hn::AllFalse(d, pedestal)) {
            for (int i = groupedPedestalSpheres.first; i < groupedPedestalSpheres.end(); ++i)
                TestByMaterial(d, fd, i, r, pedestal, s);
            for (int j = groupedPedestalBoxes.first; j < groupedPedestalBoxes.end(); ++j)
                TestBox(d, fd, j, r, pedestal, s);
        }
        TestOneSided(d, fd, groupedLightSphere, r, all, s);
        TestOneSided(d, fd, groupedGroundSphere, r, all, s);
        for (int i = groupedLooseSpheres.first; i < groupedLooseSpheres.end(); ++i) TestByMaterial(d, fd, i, r, all, s);
        SphereNormal(d, fd, r, s);
    } else {
        for (int i = 0; i < fd.sphereCount; ++i) TestByMaterial(d, fd, i, r, all, s);
        SphereNormal(d, fd, r, s);
        for (int j = 0; j < fd.boxCount; ++j) TestBox(d, fd, j, r, all, s);
    }
}

HWY_INLINE void OccludeSphere(DF d, const FrameData& fd, int i, const LaneRays& r, MF active, VF& best) {
    VF t = best;
    const MF hit = hn::And(active, HitTwoSided(d, fd, i, r, best, t));
    best = hn::IfThenElse(hit, t, best);
}

HWY_INLINE void OccludeBox(DF d, const FrameData& fd, int j, const LaneRays& r, MF active, VF& best) {
    VF t;
    MF axisY, axisZ;
    const MF hit = hn::And(active, HitBox(d, fd, j, r, best, t, axisY, axisZ));
    best = hn::IfThenElse(hit, t, best);
}

// occlusionDistance: both volumes are capped at each lane's best so far.
HWY_INLINE VF OcclusionLanes(DF d, const FrameData& fd, const LaneRays& r) {
    VF best = hn::Set(d, missDistance);
    const MF all = hn::FirstN(d, hn::Lanes(d));
    if (fd.sceneId == groupedSceneId) {
        const MF figure = EntersBounds(d, fd, figureBoundsSlot, r, best);
        if (!hn::AllFalse(d, figure)) {
            for (int i = groupedFigureSpheres.first; i < groupedFigureSpheres.end(); ++i)
                OccludeSphere(d, fd, i, r, figure, best);
            for (int j = groupedFigureBoxes.first; j < groupedFigureBoxes.end(); ++j)
                OccludeBox(d, fd, j, r, figure, best);
        }
        const MF pedestal = EntersBounds(d, fd, pedestalBoundsSlot, r, best);
        if (!hn::AllFalse(d, pedestal)) {
            for (int i = groupedPedestalSpheres.first; i < groupedPedestalSpheres.end(); ++i)
                OccludeSphere(d, fd, i, r, pedestal, best);
            for (int j = groupedPedestalBoxes.first; j < groupedPedestalBoxes.end(); ++j)
                OccludeBox(d, fd, j, r, pedestal, best);
        }
        OccludeSphere(d, fd, groupedGroundSphere, r, all, best);
        for (int i = groupedLooseSpheres.first; i < groupedLooseSpheres.end(); ++i)
            OccludeSphere(d, fd, i, r, all, best);
    } else {
        for (int i = 1; i < fd.sphereCount; ++i) OccludeSphere(d, fd, i, r, all, best);
        for (int j = 0; j < fd.boxCount; ++j) OccludeBox(d, fd, j, r, all, best);
    }
    return best;
}

// The lanes' rays with their direction reciprocals.
HWY_INLINE LaneRays RaysFrom(DF d, VF ox, VF oy, VF oz, VF dx, VF dy, VF dz) {
    const VF one = hn::Set(d, 1.0f);
    return {ox, oy, oz, dx, dy, dz, hn::Div(one, dx), hn::Div(one, dy), hn::Div(one, dz)};
}

HWY_INLINE LaneRays LoadRays(DF d, const RayBatch& rays, size_t i) {
    return RaysFrom(d, hn::LoadU(d, rays.ox + i), hn::LoadU(d, rays.oy + i), hn::LoadU(d, rays.oz + i),
                    hn::LoadU(d, rays.dx + i), hn::LoadU(d, rays.dy + i), hn::LoadU(d, rays.dz + i));
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl
HWY_AFTER_NAMESPACE();

#endif  // TPL_BATCHED_QUERIES_INL_H_
