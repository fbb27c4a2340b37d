#pragma once
// The tracer's two scene queries: nearest hit and shadow-ray occlusion, each in
// the grouped layout (fixed index groups behind two bounding volumes, sceneId 1)
// and the counted layout (every sphere and box in use).
#include "kernel/grouped_scene.h"
#include "kernel/host_device.h"
#include "kernel/tracer_math.h"
#include "kernel/vec3.h"
#include "kernel/frame_data.h"

constexpr float missDistance = 10000.0f;
constexpr int missObjectId = 999;
constexpr int boxObjectId = 14;  // every box reports this id (shared with sphere 14)
constexpr float boundsCapNearest = 1000.0f;

struct HitRecord {
    float t;       // missDistance when nothing is hit
    int objectId;  // sphere index, boxObjectId for boxes, missObjectId for nothing
    int material;  // 0 when nothing is hit
    Vec3 normal;   // spheres: outward; boxes: against the ray; unset on a miss
};

TPL_HD Vec3 sphereCentre(const FrameData& fd, int i) {
    return {fd.sphereX[i], fd.sphereY[i], fd.sphereZ[i]};
}

// Nearer intersection only: a ray starting inside does not see the sphere,
// a tangent ray does.
TPL_HD bool hitSphereOneSided(const FrameData& fd, int i, Vec3 o, Vec3 d, float best, float& t) {
    const Vec3 l = sphereCentre(fd, i) - o;
    const float b = dot(l, d);
    const float h = fd.sphereRadius2[i] - (dot(l, l) - b * b);
    if (h < 0.0f) return false;
    const float tHit = b - tracerSqrt(h);
    if (tHit > 0.0f && tHit < best) {
        t = tHit;
        return true;
    }
    return false;
}

// Nearest non-negative intersection: from inside, the far side; tangent rays miss.
TPL_HD bool hitSphereTwoSided(const FrameData& fd, int i, Vec3 o, Vec3 d, float best, float& t) {
    const Vec3 l = sphereCentre(fd, i) - o;
    const float b = dot(l, d);
    const float disc = fd.sphereRadius2[i] + (b * b - dot(l, l));
    if (!(disc > 0.0f)) return false;
    const float q = tracerSqrt(disc);
    float tA = b - q;
    float tB = b + q;
    if (tA < 0.0f) tA = missDistance;
    if (tB < 0.0f) tB = missDistance;
    const float tHit = minOf(tA, tB);
    if (tHit < best) {
        t = tHit;
        return true;
    }
    return false;
}

// Emitters (material 0) are seen from outside only; everything else from both sides.
TPL_HD bool hitSphereByMaterial(const FrameData& fd, int i, Vec3 o, Vec3 d, float best, float& t) {
    return fd.sphereMaterial[i] == 0 ? hitSphereOneSided(fd, i, o, d, best, t)
                                     : hitSphereTwoSided(fd, i, o, d, best, t);
}

// Distances to the two planes of one axis, smaller first, so the corners need not be ordered.
TPL_HD void slab(float a, float b, float o, float invD, float& lo, float& hi) {
    const float t1 = (a - o) * invD;
    const float t2 = (b - o) * invD;
    lo = minOf(t1, t2);
    hi = maxOf(t1, t2);
}

// Entry and exit distances of the ray along each axis of an axis-aligned box.
struct SlabSpans {
    float lo[3];
    float hi[3];
};

TPL_HD SlabSpans slabSpans(const float* minX, const float* minY, const float* minZ, const float* maxX,
                           const float* maxY, const float* maxZ, int j, Vec3 o, Vec3 invD) {
    SlabSpans s;
    slab(minX[j], maxX[j], o.x, invD.x, s.lo[0], s.hi[0]);
    slab(minY[j], maxY[j], o.y, invD.y, s.lo[1], s.hi[1]);
    slab(minZ[j], maxZ[j], o.z, invD.z, s.lo[2], s.hi[2]);
    return s;
}

// The nearest of the exit distances and cap, taken z, y, x: the order decides
// which value a NaN comparison keeps.
TPL_HD float slabExit(const SlabSpans& s, float cap) {
    return minOf(minOf(minOf(s.hi[2], s.hi[1]), s.hi[0]), cap);
}

// Slab test of box j. On a hit, t is the entry distance (0 from inside) and axis
// the entry axis (0 x, 1 y, 2 z; equal distances keep the earlier axis).
TPL_HD bool hitBox(const FrameData& fd, int j, Vec3 o, Vec3 invD, float best, float& t, int& axis) {
    const SlabSpans s = slabSpans(fd.boxMinX, fd.boxMinY, fd.boxMinZ, fd.boxMaxX, fd.boxMaxY, fd.boxMaxZ, j, o, invD);
    float tNear = maxOf(s.lo[0], 0.0f);
    int entry = 0;
    if (s.lo[1] > tNear) {
        tNear = s.lo[1];
        entry = 1;
    }
    if (s.lo[2] > tNear) {
        tNear = s.lo[2];
        entry = 2;
    }
    const float tFar = slabExit(s, best);
    if (tNear <= tFar && tNear < best) {
        t = tNear;
        axis = entry;
        return true;
    }
    return false;
}

TPL_HD Vec3 boxNormal(int axis, Vec3 d) {
    Vec3 n{0.0f, 0.0f, 0.0f};
    if (axis == 0) n.x = d.x > 0.0f ? -1.0f : 1.0f;
    if (axis == 1) n.y = d.y > 0.0f ? -1.0f : 1.0f;
    if (axis == 2) n.z = d.z > 0.0f ? -1.0f : 1.0f;
    return n;
}

// Does the ray enter bounding volume slot v before distance cap?
TPL_HD bool entersBounds(const FrameData& fd, int v, Vec3 o, Vec3 invD, float cap) {
    const SlabSpans s = slabSpans(fd.boundsMinX, fd.boundsMinY, fd.boundsMinZ, fd.boundsMaxX, fd.boundsMaxY,
                                  fd.boundsMaxZ, v, o, invD);
    const float tNear = maxOf(maxOf(maxOf(s.lo[0], s.lo[1]), s.lo[2]), 0.0f);
    const float tFar = slabExit(s, cap);
    return tNear <= tFar && tNear < cap;
}

TPL_HD Vec3 reciprocal(Vec3 d) {
    return {tracerRcp(d.x), tracerRcp(d.y), tracerRcp(d.z)};
}

// Running nearest hit while the objects are tested in order; strict comparisons
// make the object tested first win a tie.
struct NearestSearch {
    HitRecord hit;
    int sphere;  // sphere of the last hit taken, -1 when it was a box or nothing
};

TPL_HD void takeSphere(const FrameData& fd, NearestSearch& s, int i, float t) {
    s.hit.t = t;
    s.hit.objectId = i;
    s.hit.material = fd.sphereMaterial[i];
    s.sphere = i;
}

TPL_HD void testSphereOneSided(const FrameData& fd, NearestSearch& s, int i, Vec3 o, Vec3 d) {
    float t;
    if (hitSphereOneSided(fd, i, o, d, s.hit.t, t)) takeSphere(fd, s, i, t);
}

TPL_HD void testSphereByMaterial(const FrameData& fd, NearestSearch& s, int i, Vec3 o, Vec3 d) {
    float t;
    if (hitSphereByMaterial(fd, i, o, d, s.hit.t, t)) takeSphere(fd, s, i, t);
}

TPL_HD void testBox(const FrameData& fd, NearestSearch& s, int j, Vec3 o, Vec3 d, Vec3 invD) {
    float t;
    int axis;
    if (hitBox(fd, j, o, invD, s.hit.t, t, axis)) {
        s.hit.t = t;
        s.hit.objectId = boxObjectId;
        s.hit.material = fd.boxMaterial[j];
        s.hit.normal = boxNormal(axis, d);
        s.sphere = -1;
    }
}

TPL_HD Vec3 sphereNormal(const FrameData& fd, int i, Vec3 o, Vec3 d, float t) {
    return (o + t * d - sphereCentre(fd, i)) * tracerRcp(fd.sphereRadius[i]);
}

TPL_HD HitRecord traceNearest(const FrameData& fd, Vec3 o, Vec3 d) {
    NearestSearch s{{missDistance, missObjectId, 0, {0.0f, 0.0f, 0.0f}}, -1};
    const Vec3 invD = reciprocal(d);
    if (fd.sceneId == groupedSceneId) {
        // Both volumes are capped at a fixed distance, not at the best hit so far.
        if (entersBounds(fd, figureBoundsSlot, o, invD, boundsCapNearest)) {
            for (int i = groupedFigureSpheres.first; i < groupedFigureSpheres.end(); ++i)
                testSphereOneSided(fd, s, i, o, d);
            for (int j = groupedFigureBoxes.first; j < groupedFigureBoxes.end(); ++j) testBox(fd, s, j, o, d, invD);
        }
        if (entersBounds(fd, pedestalBoundsSlot, o, invD, boundsCapNearest)) {
            for (int i = groupedPedestalSpheres.first; i < groupedPedestalSpheres.end(); ++i)
                testSphereByMaterial(fd, s, i, o, d);
            for (int j = groupedPedestalBoxes.first; j < groupedPedestalBoxes.end(); ++j)
                testBox(fd, s, j, o, d, invD);
        }
        testSphereOneSided(fd, s, groupedLightSphere, o, d);
        testSphereOneSided(fd, s, groupedGroundSphere, o, d);
        for (int i = groupedLooseSpheres.first; i < groupedLooseSpheres.end(); ++i)
            testSphereByMaterial(fd, s, i, o, d);
        if (s.sphere >= 0) s.hit.normal = sphereNormal(fd, s.sphere, o, d, s.hit.t);
    } else {
        for (int i = 0; i < fd.sphereCount; ++i) testSphereByMaterial(fd, s, i, o, d);
        if (s.sphere >= 0) s.hit.normal = sphereNormal(fd, s.sphere, o, d, s.hit.t);
        for (int j = 0; j < fd.boxCount; ++j) testBox(fd, s, j, o, d, invD);
    }
    return s.hit;
}

TPL_HD void occludeSphere(const FrameData& fd, int i, Vec3 o, Vec3 d, float& best) {
    float t;
    if (hitSphereTwoSided(fd, i, o, d, best, t)) best = t;
}

TPL_HD void occludeBox(const FrameData& fd, int j, Vec3 o, Vec3 invD, float& best) {
    float t;
    int axis;
    if (hitBox(fd, j, o, invD, best, t, axis)) best = t;
}

// Distance to the nearest object other than the light (sphere 0), missDistance when none.
TPL_HD float occlusionDistance(const FrameData& fd, Vec3 o, Vec3 d) {
    float best = missDistance;
    const Vec3 invD = reciprocal(d);
    if (fd.sceneId == groupedSceneId) {
        if (entersBounds(fd, figureBoundsSlot, o, invD, best)) {
            for (int i = groupedFigureSpheres.first; i < groupedFigureSpheres.end(); ++i)
                occludeSphere(fd, i, o, d, best);
            for (int j = groupedFigureBoxes.first; j < groupedFigureBoxes.end(); ++j) occludeBox(fd, j, o, invD, best);
        }
        if (entersBounds(fd, pedestalBoundsSlot, o, invD, best)) {
            for (int i = groupedPedestalSpheres.first; i < groupedPedestalSpheres.end(); ++i)
                occludeSphere(fd, i, o, d, best);
            for (int j = groupedPedestalBoxes.first; j < groupedPedestalBoxes.end(); ++j)
                occludeBox(fd, j, o, invD, best);
        }
        occludeSphere(fd, groupedGroundSphere, o, d, best);
        for (int i = groupedLooseSpheres.first; i < groupedLooseSpheres.end(); ++i) occludeSphere(fd, i, o, d, best);
    } else {
        for (int i = 1; i < fd.sphereCount; ++i) occludeSphere(fd, i, o, d, best);
        for (int j = 0; j < fd.boxCount; ++j) occludeBox(fd, j, o, invD, best);
    }
    return best;
}
