#pragma once
// What a denoiser needs to know about a pixel besides its light, from one ray
// through the middle of the area its primary rays cover (one noise-free query
// per pixel): the surface a filter should see there, and what the ray met first.
//
// Through mirror and glass the filter should see what the pixel shows, not the
// polished surface itself: the guide follows the specular chain (a mirror
// reflects; glass refracts, or reflects where it cannot) to the first diffuse
// surface, the light or the sky, and reports that surface as seen through the
// chain's tint. The first hit is kept apart (distance, object, whether it is
// specular) for motion and for filters that must not mix chains with their
// surroundings.
#include "kernel/host_device.h"
#include "kernel/intersect.h"
#include "kernel/materials.h"
#include "kernel/primary_rays.h"
#include "kernel/transport.h"

// Per pixel guideFloats values, at these offsets.
constexpr int guideNormal = 0;    // x y z of the surface the filter sees; zero for the sky
constexpr int guideAlbedo = 3;    // r g b: its colour times the chain's tint; the tint for the light and the sky
constexpr int guideDepth = 6;     // distance along the chain to it; missDistance for the sky
constexpr int guideHitDepth = 7;  // distance from the camera to the first hit; missDistance for the sky
constexpr int guideObject = 8;    // the first hit's object id (see firstBoxObjectId), missObjectId for the sky
constexpr int guideSpecular = 9;  // 1 where the first hit is mirror or glass, else 0
constexpr int guideLightSeen = 10;  // how much of the light the surface sees, 0 to 1; 1 for the light and the sky
constexpr int guideFloats = 11;

// Points of the light a surface is tested against for guideLightSeen: its
// centre and four around it, halfway to its rim as the surface sees it.
constexpr int guideLightPoints = 5;
constexpr float guideLightSpread = 0.5f;

struct PixelGuide {
    Vec3 normal;
    Vec3 albedo;
    float depth;
    float hitDepth;
    int objectId;
    bool specular;
    float lightSeen;
};

// The share of the light's test points in sight from a surface point: where
// shadows move, this changes, though nothing the surface shows has moved.
// One source for a pixel at a time and for a vector of them.
template <class F>
TPL_HD F lightSeenFrom(const FrameData& fd, Vec3T<F> point, Vec3T<F> normal) {
    const Vec3 light = sphereCentre(fd, 0);
    const Vec3T<F> centre{F(light.x), F(light.y), F(light.z)};
    const Vec3T<F> toCentre = centre - point;
    const F distance2 = dot(toCentre, toCentre);
    const Vec3T<F> w = toCentre * tracerRsqrt(distance2);
    // Two axes across the direction to the light.
    const Vec3T<F> helper = select(w.x * w.x < F(0.5f), Vec3T<F>{F(1.0f), F(0.0f), F(0.0f)},
                                   Vec3T<F>{F(0.0f), F(1.0f), F(0.0f)});
    Vec3T<F> a = cross(w, helper);
    a = a * tracerRsqrt(dot(a, a));
    const Vec3T<F> b = cross(w, a);
    const F spread(guideLightSpread * fd.sphereRadius[0]);
    const Vec3T<F> origin = point + F(surfaceOffset) * normal;
    F seen(0.0f);
    for (int k = 0; k < guideLightPoints; ++k) {
        const F across = k == 1 ? spread : k == 2 ? F(0.0f) - spread : F(0.0f);
        const F up = k == 3 ? spread : k == 4 ? F(0.0f) - spread : F(0.0f);
        const Vec3T<F> target = (centre + across * a) + up * b;
        const Vec3T<F> to = target - origin;
        const F inverse = tracerRsqrt(dot(to, to));
        seen = seen + select(occlusionDistance(fd, makeRay(origin, to * inverse)) * inverse > F(1.0f), F(1.0f), F(0.0f));
    }
    // A point at the light's centre sees it whole.
    return select(distance2 > F(0.0f), tracerDiv(seen, F(static_cast<float>(guideLightPoints))), F(1.0f));
}

// A pixel's guide but the light it sees, and where that is to be tested:
// the surface at the end of its chain, unless that is the light or the sky.
struct GuideSurface {
    PixelGuide guide;
    bool lit = false;
    Vec3 point{0.0f, 0.0f, 0.0f}, normal{0.0f, 0.0f, 0.0f};
};

// The most turns the guide's chain takes: as many as the pixel's last primary
// ray, whose chain budget is the largest, may take.
TPL_HD int guideChainTurns(const FrameData& fd) {
    const int rays = primaryRayCount(fd);
    return bounceBudget(rays > 0 ? rays - 1 : 0);
}

// Unit direction of pixel p's guide ray from the camera. The primary rays
// cover the pixel's width and the first primaryRowScale times (samples / 32
// rows) of its height; it aims at the middle of that.
TPL_HD Vec3 guideDirection(const FrameData& fd, int p) {
    const PixelCorner corner = pixelCorner(fd, p);
    const Vec3 forward{fd.camForward[0], fd.camForward[1], fd.camForward[2]};
    const Vec3 vertical{fd.camVertical[0], fd.camVertical[1], fd.camVertical[2]};
    const Vec3 right{fd.camRight[0], fd.camRight[1], fd.camRight[2]};
    const float u = (fd.invWidth * 0.5f + corner.u) - 0.5f;
    const float v = (fd.invWidth * 0.125f + corner.v) - 0.5f;
    const Vec3 dir = (forward + u * right) + v * vertical;
    return dir * tracerRsqrt(dot(dir, dir));
}

TPL_HD GuideSurface pixelGuideSurface(const FrameData& fd, int p) {
    Vec3 dir = guideDirection(fd, p);
    Vec3 origin{fd.camPosition[0], fd.camPosition[1], fd.camPosition[2]};
    HitRecord hit = traceNearest(fd, origin, dir);

    GuideSurface surface;
    PixelGuide& guide = surface.guide;
    const bool missed = hit.objectId == missObjectId;
    guide.hitDepth = missed ? missDistance : hit.t;
    guide.objectId = hit.objectId;
    guide.specular = !missed && fd.materials[hit.material].kind != materialDiffuse;
    guide.lightSeen = 1.0f;

    const int turns = guideChainTurns(fd);
    Vec3 tint{1.0f, 1.0f, 1.0f};
    float along = 0.0f;
    for (int turn = 0;; ++turn) {
        if (hit.objectId == missObjectId) {
            guide.normal = {0.0f, 0.0f, 0.0f};
            guide.albedo = tint;
            guide.depth = missDistance;
            return surface;
        }
        along += hit.t;
        const MaterialEntry& material = fd.materials[hit.material];
        const Vec3 colour = materialColour(fd, hit.material);
        // A chain that runs out of turns on a polished surface stops there.
        if (material.kind == materialDiffuse || turn == turns) {
            guide.normal = hit.normal;
            guide.albedo = hit.objectId == 0 ? tint : mul(tint, colour);
            guide.depth = along;
            surface.lit = hit.objectId != 0;
            surface.point = origin + hit.t * dir;
            surface.normal = hit.normal;
            return surface;
        }
        tint = mul(tint, colour);
        const Vec3 at = origin + hit.t * dir;
        const Vec3 next = material.kind == materialGlass
                              ? glassPassage<float>(fd, GlassVariant::Chain, origin, dir,
                                                    hit.objectId < firstBoxObjectId, hit.objectId, hit.normal)
                              : reflectAbout(dir, hit.normal);
        origin = at + surfaceOffset * next;
        dir = next;
        hit = traceNearest(fd, origin, dir);
    }
}

TPL_HD PixelGuide pixelGuide(const FrameData& fd, int p) {
    GuideSurface surface = pixelGuideSurface(fd, p);
    if (surface.lit) surface.guide.lightSeen = lightSeenFrom<float>(fd, surface.point, surface.normal);
    return surface.guide;
}

// The guide's values as the guide layer holds them, guideFloats from out.
TPL_HD void storeGuide(const PixelGuide& guide, float* out) {
    out[guideNormal] = guide.normal.x;
    out[guideNormal + 1] = guide.normal.y;
    out[guideNormal + 2] = guide.normal.z;
    out[guideAlbedo] = guide.albedo.x;
    out[guideAlbedo + 1] = guide.albedo.y;
    out[guideAlbedo + 2] = guide.albedo.z;
    out[guideDepth] = guide.depth;
    out[guideHitDepth] = guide.hitDepth;
    out[guideObject] = static_cast<float>(guide.objectId);
    out[guideSpecular] = guide.specular ? 1.0f : 0.0f;
    out[guideLightSeen] = guide.lightSeen;
}
