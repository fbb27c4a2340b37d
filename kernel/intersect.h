#pragma once
// The tracer's two scene queries: nearest hit and shadow-ray occlusion, each in
// the grouped layout (fixed index groups behind two bounding volumes, sceneId 1)
// and the counted layout (every sphere and box in use). Written over the
// number type F (kernel/tracer_math.h): for one ray, or for a vector of rays
// whose lanes each get the one-ray answer bit for bit.
#include "kernel/grouped_scene.h"
#include "kernel/host_device.h"
#include "kernel/tracer_math.h"
#include "kernel/vec3.h"
#include "kernel/frame_data.h"

constexpr float missDistance = 10000.0f;
constexpr int missObjectId = 999;
// Spheres report their index, box j reports firstBoxObjectId + j.
constexpr int firstBoxObjectId = maxSpheres;
constexpr float boundsCapNearest = 1000.0f;
static_assert(firstBoxObjectId + maxBoxes <= missObjectId, "object ids are distinct");

template <class F>
struct HitT {
    F t;                // missDistance when nothing is hit
    IntOf<F> objectId;  // see firstBoxObjectId; missObjectId for nothing
    IntOf<F> material;  // 0 when nothing is hit
    Vec3T<F> normal;    // spheres: outward; boxes: against the ray; zero on a miss
};
using HitRecord = HitT<float>;

template <class M, class F>
TPL_HD Vec3T<F> select(M m, const Vec3T<F>& yes, const Vec3T<F>& no) {
    return {select(m, yes.x, no.x), select(m, yes.y, no.y), select(m, yes.z, no.z)};
}
template <class M, class F>
TPL_HD HitT<F> select(M m, const HitT<F>& yes, const HitT<F>& no) {
    return {select(m, yes.t, no.t), select(m, yes.objectId, no.objectId), select(m, yes.material, no.material),
            select(m, yes.normal, no.normal)};
}

TPL_HD Vec3 sphereCentre(const FrameData& fd, int i) {
    return {fd.sphereX[i], fd.sphereY[i], fd.sphereZ[i]};
}

// A ray with the reciprocals of its direction.
template <class F>
struct RayT {
    Vec3T<F> o, d, invD;
};

template <class M, class F>
TPL_HD RayT<F> select(M m, const RayT<F>& yes, const RayT<F>& no) {
    return {select(m, yes.o, no.o), select(m, yes.d, no.d), select(m, yes.invD, no.invD)};
}

template <class F>
TPL_HD RayT<F> makeRay(Vec3T<F> o, Vec3T<F> d) {
    return {o, d, {tracerRcp(d.x), tracerRcp(d.y), tracerRcp(d.z)}};
}

// l = centre - o, b = dot(l, d), ll = dot(l, l).
template <class F>
TPL_HD void sphereTerms(const FrameData& fd, int i, const RayT<F>& r, F& b, F& ll) {
    const Vec3T<F> l = Vec3T<F>{F(fd.sphereX[i]), F(fd.sphereY[i]), F(fd.sphereZ[i])} - r.o;
    b = dot(l, r.d);
    ll = dot(l, l);
}

// Nearer intersection only: a ray starting inside does not see the sphere,
// a tangent ray does. Where the result holds, t is the distance.
template <class F>
TPL_HD MaskOf<F> hitSphereOneSided(const FrameData& fd, int i, const RayT<F>& r, F best, F& t) {
    F b, ll;
    sphereTerms(fd, i, r, b, ll);
    const F h = F(fd.sphereRadius2[i]) - (ll - b * b);
    const MaskOf<F> reaches = !(h < 0.0f);
    // Most rays pass most spheres: no square root when none reaches this one.
    if (!anyOf(reaches)) return reaches;
    t = b - tracerSqrt(h);
    return reaches && t > 0.0f && t < best;
}

// Nearest non-negative intersection: from inside, the far side; tangent rays miss.
template <class F>
TPL_HD MaskOf<F> hitSphereTwoSided(const FrameData& fd, int i, const RayT<F>& r, F best, F& t) {
    F b, ll;
    sphereTerms(fd, i, r, b, ll);
    const F disc = F(fd.sphereRadius2[i]) + (b * b - ll);
    const MaskOf<F> reaches = disc > 0.0f;
    if (!anyOf(reaches)) return reaches;
    const F q = tracerSqrt(disc);
    F tA = b - q;
    F tB = b + q;
    tA = select(tA < 0.0f, F(missDistance), tA);
    tB = select(tB < 0.0f, F(missDistance), tB);
    t = minOf(tA, tB);
    return reaches && t < best;
}

// Emitters (material 0) are seen from outside only; everything else from both sides.
template <class F>
TPL_HD MaskOf<F> hitSphereByMaterial(const FrameData& fd, int i, const RayT<F>& r, F best, F& t) {
    return fd.sphereMaterial[i] == 0 ? hitSphereOneSided(fd, i, r, best, t) : hitSphereTwoSided(fd, i, r, best, t);
}

// Entry and exit distances of the ray along each axis of an axis-aligned box;
// the corners need not be ordered.
template <class F>
struct SlabSpans {
    F lo[3];
    F hi[3];
};

template <class F>
TPL_HD void slab(float a, float b, F o, F invD, F& lo, F& hi) {
    const F t1 = (F(a) - o) * invD;
    const F t2 = (F(b) - o) * invD;
    lo = minOf(t1, t2);
    hi = maxOf(t1, t2);
}

template <class F>
TPL_HD SlabSpans<F> slabSpans(const float* minX, const float* minY, const float* minZ, const float* maxX,
                              const float* maxY, const float* maxZ, int j, const RayT<F>& r) {
    SlabSpans<F> s;
    slab(minX[j], maxX[j], r.o.x, r.invD.x, s.lo[0], s.hi[0]);
    slab(minY[j], maxY[j], r.o.y, r.invD.y, s.lo[1], s.hi[1]);
    slab(minZ[j], maxZ[j], r.o.z, r.invD.z, s.lo[2], s.hi[2]);
    return s;
}

// The nearest of the exit distances and cap, taken z, y, x: the order decides
// which value a NaN comparison keeps.
template <class F>
TPL_HD F slabExit(const SlabSpans<F>& s, F cap) {
    return minOf(minOf(minOf(s.hi[2], s.hi[1]), s.hi[0]), cap);
}

// Slab test of box j. Where it holds, t is the entry distance (0 from inside);
// the entry axis is x unless byY or byZ (equal distances keep the earlier axis).
template <class F>
TPL_HD MaskOf<F> hitBox(const FrameData& fd, int j, const RayT<F>& r, F best, F& t, MaskOf<F>& byY,
                        MaskOf<F>& byZ) {
    const SlabSpans<F> s = slabSpans(fd.boxMinX, fd.boxMinY, fd.boxMinZ, fd.boxMaxX, fd.boxMaxY, fd.boxMaxZ, j, r);
    F tNear = maxOf(s.lo[0], F(0.0f));
    const MaskOf<F> alongY = s.lo[1] > tNear;
    tNear = select(alongY, s.lo[1], tNear);
    byZ = s.lo[2] > tNear;
    tNear = select(byZ, s.lo[2], tNear);
    byY = alongY && !byZ;
    const F tFar = slabExit(s, best);
    t = tNear;
    return tNear <= tFar && tNear < best;
}

// A box's normal, against the ray along the entry axis.
template <class F>
TPL_HD F against(F d) {
    return select(d > 0.0f, F(-1.0f), F(1.0f));
}

template <class F>
TPL_HD Vec3T<F> boxNormal(MaskOf<F> byY, MaskOf<F> byZ, Vec3T<F> d) {
    const F zero(0.0f);
    return {select(byY || byZ, zero, against(d.x)), select(byY, against(d.y), zero), select(byZ, against(d.z), zero)};
}

// Does the ray enter bounding volume slot v before distance cap?
template <class F>
TPL_HD MaskOf<F> entersBounds(const FrameData& fd, int v, const RayT<F>& r, F cap) {
    const SlabSpans<F> s = slabSpans(fd.boundsMinX, fd.boundsMinY, fd.boundsMinZ, fd.boundsMaxX, fd.boundsMaxY,
                                     fd.boundsMaxZ, v, r);
    const F tNear = maxOf(maxOf(maxOf(s.lo[0], s.lo[1]), s.lo[2]), F(0.0f));
    return tNear <= slabExit(s, cap) && tNear < cap;
}

// Running nearest hit while the objects are tested in order; strict comparisons
// make the object tested first win a tie. A sphere's material and normal are
// looked up once the search is over, where its last hit taken is a sphere.
template <class F>
struct NearestSearch {
    HitT<F> hit;
    MaskOf<F> sphere;
};

// The sphere normal and material where the last hit taken was a sphere.
template <class F>
TPL_HD void finishSpheres(const FrameData& fd, NearestSearch<F>& s, const RayT<F>& r) {
    if (!anyOf(s.sphere)) return;
    const IntOf<F> i = select(s.sphere, s.hit.objectId, IntOf<F>(0));
    const Vec3T<F> centre{gather(fd.sphereX, i), gather(fd.sphereY, i), gather(fd.sphereZ, i)};
    const Vec3T<F> normal = (r.o + s.hit.t * r.d - centre) * tracerRcp(gather(fd.sphereRadius, i));
    s.hit.normal = select(s.sphere, normal, s.hit.normal);
    s.hit.material = select(s.sphere, gather(fd.sphereMaterial, i), s.hit.material);
}

// Nearest-hit and shadow searches, visited in the one order the grouped and
// counted layouts define (see walkScene).
template <class F>
struct NearestVisitor {
    const FrameData& fd;
    const RayT<F>& r;
    NearestSearch<F> s;

    TPL_HD F cap(bool bounds) const { return F(boundsCapNearest); }
    TPL_HD void take(int i, MaskOf<F> hit, F t) {
        s.hit.t = select(hit, t, s.hit.t);
        s.hit.objectId = select(hit, IntOf<F>(i), s.hit.objectId);
        s.sphere = s.sphere || hit;
    }
    TPL_HD void sphereOneSided(int i, MaskOf<F> active) {
        F t = s.hit.t;
        const MaskOf<F> hit = hitSphereOneSided(fd, i, r, s.hit.t, t);
        take(i, active && hit, t);
    }
    TPL_HD void sphereByMaterial(int i, MaskOf<F> active) {
        F t = s.hit.t;
        const MaskOf<F> hit = hitSphereByMaterial(fd, i, r, s.hit.t, t);
        take(i, active && hit, t);
    }
    TPL_HD void sphereShadow(int i, MaskOf<F> active) { sphereByMaterial(i, active); }
    TPL_HD void box(int j, MaskOf<F> active) {
        F t;
        MaskOf<F> byY, byZ;
        const MaskOf<F> hit = active && hitBox(fd, j, r, s.hit.t, t, byY, byZ);
        s.hit.t = select(hit, t, s.hit.t);
        s.hit.objectId = select(hit, IntOf<F>(firstBoxObjectId + j), s.hit.objectId);
        s.hit.material = select(hit, IntOf<F>(fd.boxMaterial[j]), s.hit.material);
        s.hit.normal = select(hit, boxNormal<F>(byY, byZ, r.d), s.hit.normal);
        s.sphere = s.sphere && !hit;
    }
    TPL_HD void spheresDone() { finishSpheres(fd, s, r); }
};

template <class F>
struct ShadowVisitor {
    const FrameData& fd;
    const RayT<F>& r;
    F best;

    // Both volumes are capped at the best distance so far.
    TPL_HD F cap(bool bounds) const { return best; }
    TPL_HD void sphere(int i, MaskOf<F> active) {
        F t = best;
        const MaskOf<F> hit = hitSphereTwoSided(fd, i, r, best, t);
        best = select(active && hit, t, best);
    }
    TPL_HD void sphereOneSided(int i, MaskOf<F> active) { sphere(i, active); }
    TPL_HD void sphereByMaterial(int i, MaskOf<F> active) { sphere(i, active); }
    TPL_HD void box(int j, MaskOf<F> active) {
        F t;
        MaskOf<F> byY, byZ;
        const MaskOf<F> hit = active && hitBox(fd, j, r, best, t, byY, byZ);
        best = select(hit, t, best);
    }
    TPL_HD void spheresDone() {}
};

// The one walk over the scene's objects. Grouped layout: each group behind a
// bounding volume is tested only where the ray enters it (skipped when no ray
// does); then the light (nearest hits only: shadow rays never stop at it), the
// ground and the loose spheres. Counted layout: every sphere in use (the light,
// sphere 0, by nearest hits only), then every box.
template <class F, class Visitor>
TPL_HD void walkScene(const FrameData& fd, const RayT<F>& r, Visitor& v, bool shadow) {
    const MaskOf<F> all(true);
    if (fd.sceneId == groupedSceneId) {
        const MaskOf<F> figure = entersBounds(fd, figureBoundsSlot, r, v.cap(true));
        if (anyOf(figure)) {
            for (int i = groupedFigureSpheres.first; i < groupedFigureSpheres.end(); ++i) v.sphereOneSided(i, figure);
            for (int j = groupedFigureBoxes.first; j < groupedFigureBoxes.end(); ++j) v.box(j, figure);
        }
        const MaskOf<F> pedestal = entersBounds(fd, pedestalBoundsSlot, r, v.cap(true));
        if (anyOf(pedestal)) {
            for (int i = groupedPedestalSpheres.first; i < groupedPedestalSpheres.end(); ++i)
                v.sphereByMaterial(i, pedestal);
            for (int j = groupedPedestalBoxes.first; j < groupedPedestalBoxes.end(); ++j) v.box(j, pedestal);
        }
        if (!shadow) v.sphereOneSided(groupedLightSphere, all);
        v.sphereOneSided(groupedGroundSphere, all);
        for (int i = groupedLooseSpheres.first; i < groupedLooseSpheres.end(); ++i) v.sphereByMaterial(i, all);
        v.spheresDone();
    } else {
        for (int i = shadow ? 1 : 0; i < fd.sphereCount; ++i) v.sphereByMaterial(i, all);
        v.spheresDone();
        for (int j = 0; j < fd.boxCount; ++j) v.box(j, all);
    }
}

template <class F>
TPL_HD HitT<F> traceNearest(const FrameData& fd, const RayT<F>& r) {
    NearestVisitor<F> v{fd, r, {{F(missDistance), IntOf<F>(missObjectId), IntOf<F>(0), {F(0.0f), F(0.0f), F(0.0f)}},
                                MaskOf<F>(false)}};
    walkScene(fd, r, v, false);
    return v.s.hit;
}

TPL_HD HitRecord traceNearest(const FrameData& fd, Vec3 o, Vec3 d) {
    return traceNearest(fd, makeRay(o, d));
}

// Distance to the nearest object other than the light (sphere 0), missDistance when none.
template <class F>
TPL_HD F occlusionDistance(const FrameData& fd, const RayT<F>& r) {
    ShadowVisitor<F> v{fd, r, F(missDistance)};
    walkScene(fd, r, v, true);
    return v.best;
}

TPL_HD float occlusionDistance(const FrameData& fd, Vec3 o, Vec3 d) {
    return occlusionDistance(fd, makeRay(o, d));
}
