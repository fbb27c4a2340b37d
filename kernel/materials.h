#pragma once
// Surface responses at one hit: colour factor, sky, emission, diffuse with
// direct light from the light sphere, glass, mirror. Written over the number
// type F (kernel/tracer_math.h) with the draws in one fixed order, so a vector
// lane gets exactly the numbers one path gets.
#include "kernel/tracer_math.h"
#include "kernel/host_device.h"
#include "kernel/intersect.h"
#include "kernel/rng.h"
#include "kernel/vec3.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"

// Stratum widths that follow the samples-per-frame setting: 8 angle strata of
// 0.125 and samplesPerFrame / 8 strata for the second coordinate; the glass
// choice has one stratum per sample.
constexpr float secondStratumWidth = samplesPerFrame == 32 ? 0.25f : 0.125f;
constexpr float choiceStratumWidth = samplesPerFrame == 32 ? 0.03125f : 0.015625f;
constexpr float angleStratumWidth = 0.125f;

constexpr float surfaceOffset = 0.01f;
constexpr float diffuseFactor = 0.31831f;
constexpr float fresnelAtNormal = 0.1f;
// 2 pi to six figures turns the light-sample angle. The bounce angle uses 2 pi
// cut to five figures, so bounces stop short of a full turn by about 1.4e-5 of one;
// that value fixes which directions the noise takes and stays as it is.
constexpr float twoPi = 6.28318f;
constexpr float twoPiFiveFigures = 6.2831f;
// Refractive indices of the glass as the two variants see it, entering and
// leaving (the leaving values are the written decimals, not computed inverses).
constexpr float chainIndexLeaving = 1.5f;
constexpr float chainIndexEntering = 0.666667f;
constexpr float subPathIndexLeaving = 1.2f;
constexpr float subPathIndexEntering = 0.833333f;
// Sky radiance, a faint blue (scalars so device code may read them).
constexpr float skyRed = 0.00012f;
constexpr float skyGreen = 0.00012f;
constexpr float skyBlue = 0.006f;

enum class GlassVariant { Chain, SubPath };

template <class F>
TPL_HD Vec3T<F> splat(float x, float y, float z) {
    return {F(x), F(y), F(z)};
}

// A material entry as the tracer reads it: its colour and its kind.
template <class F>
struct SurfaceMaterial {
    Vec3T<F> colour;
    IntOf<F> kind;  // a MaterialKind
};

template <class F>
TPL_HD SurfaceMaterial<F> surfaceMaterial(const FrameData& fd, IntOf<F> material) {
    static_assert(sizeof(MaterialEntry) == 4 * sizeof(float) && offsetof(MaterialEntry, kind) == 3 * sizeof(float),
                  "materials are read as four 32-bit words each");
    const float* entries = &fd.materials[0].red;
    const IntOf<F> at = material * 4;
    return {{gather(entries, at), gather(entries + 1, at), gather(entries + 2, at)},
            gather(&fd.materials[0].kind, at)};
}

TPL_HD Vec3 materialColour(const FrameData& fd, int material) {
    const MaterialEntry& m = fd.materials[material];
    return {m.red, m.green, m.blue};
}

template <class F>
TPL_HD Vec3T<F> tinted(Vec3T<F> throughput, Vec3T<F> colour) {
    return mul(throughput, F(2.0f) * colour);
}

template <class F>
TPL_HD Vec3T<F> skyLight(Vec3T<F> throughput) {
    return mul(throughput, splat<F>(skyRed, skyGreen, skyBlue));
}

// A shadow ray toward a point spread over the light sphere's whole surface.
template <class F>
struct LightSample {
    Vec3T<F> toLight;  // unit direction from the surface point
    F cosLight;        // against the surface normal
    F distance2;       // squared distance to the light point
};

// u in [0, 1) from stratum number `stratum` of the given width and one draw.
template <class F>
TPL_HD F stratified(IntOf<F> stratum, F draw, float width) {
    return (toFloat(stratum) + draw) * width;
}

// Two draws: light angle, light height.
template <class F>
TPL_HD LightSample<F> sampleLight(const FrameData& fd, Vec3T<F> p, Vec3T<F> n, RngState<UIntOf<F>>& rng,
                                  IntOf<F> byte0, MaskOf<F> active) {
    const F u1 = stratified<F>(byte0 & 7, nextRandom(rng), angleStratumWidth);
    const F u2 = stratified<F>(byte0 >> 3, nextRandom(rng), secondStratumWidth);
    const F phi = F(twoPi) * u1;
    const F q = tracerSqrt(u2 * (F(1.0f) - u2));
    F cosPhi, sinPhi;
    tracerCosSin(phi, cosPhi, sinPhi, active);
    const F r0(fd.sphereRadius[0]);
    const Vec3T<F> centre = splat<F>(fd.sphereX[0], fd.sphereY[0], fd.sphereZ[0]);
    const Vec3T<F> lightPoint =
        centre + r0 * Vec3T<F>{F(2.0f) * q * cosPhi, F(2.0f) * q * sinPhi, F(1.0f) - F(2.0f) * u2};
    const Vec3T<F> lv = lightPoint - p;
    const F d2 = dot(lv, lv);
    const Vec3T<F> l = lv * tracerRsqrt(d2);
    return {l, dot(n, l), d2};
}

// The light a sample adds when nothing blocks its shadow ray.
template <class F>
TPL_HD Vec3T<F> directLight(const FrameData& fd, Vec3T<F> throughput, const LightSample<F>& light) {
    const MaterialEntry& emitter = fd.materials[0];
    return mul(throughput, splat<F>(emitter.red, emitter.green, emitter.blue)) *
           tracerDiv(light.cosLight, light.distance2);
}

// Cosine-weighted bounce about n. Two draws: bounce angle, bounce radius.
template <class F>
TPL_HD Vec3T<F> diffuseBounce(Vec3T<F> n, RngState<UIntOf<F>>& rng, IntOf<F> byte1, MaskOf<F> active) {
    const F u3 = stratified<F>(byte1 & 7, nextRandom(rng), angleStratumWidth);
    const F u4 = stratified<F>(byte1 >> 3, nextRandom(rng), secondStratumWidth);
    const F phi2 = F(twoPiFiveFigures) * u3;
    const MaskOf<F> nearX = absOf(n.x) < 0.1f;
    const Vec3T<F> axis{select(nearX, F(1.0f), F(0.0f)), select(nearX, F(0.0f), F(1.0f)), F(0.0f)};
    Vec3T<F> u = cross(axis, n);
    u = u * tracerRsqrt(dot(u, u));
    const Vec3T<F> v = cross(u, n);
    const F radius = tracerSqrt(u4);
    F cosPhi2, sinPhi2;
    tracerCosSin(phi2, cosPhi2, sinPhi2, active);
    return u * (cosPhi2 * radius) + v * (sinPhi2 * radius) + n * tracerSqrt(F(1.0f) - u4);
}

// A diffuse hit at p: the throughput takes the diffuse factor, the light
// sphere is sampled (its shadow ray is left to the caller, who adds `light`
// where nothing nearer than lightDistance blocks it) and a bounce is drawn.
// Always four draws: light angle, light height, bounce angle, bounce radius.
// Vector lanes outside `active` get values that are not meant to be used.
template <class F>
struct DiffuseResponse {
    Vec3T<F> throughput;
    MaskOf<F> lit;  // the light is above the surface: a shadow ray is needed
    RayT<F> shadow;
    F lightDistance;
    Vec3T<F> light;
    Vec3T<F> next;
};

template <class F>
TPL_HD DiffuseResponse<F> shadeDiffuse(const FrameData& fd, Vec3T<F> p, Vec3T<F> n, Vec3T<F> throughput,
                                       RngState<UIntOf<F>>& rng, IntOf<F> byte0, IntOf<F> byte1,
                                       MaskOf<F> active = MaskOf<F>(true)) {
    DiffuseResponse<F> out;
    out.throughput = throughput * F(diffuseFactor);
    const LightSample<F> light = sampleLight(fd, p, n, rng, byte0, active);
    out.lit = light.cosLight > 0.0f;
    out.lightDistance = tracerSqrt(light.distance2);
    out.shadow = makeRay(p + F(surfaceOffset) * n, light.toLight);
    out.light = directLight(fd, out.throughput, light);
    out.next = diffuseBounce(n, rng, byte1, active);
    return out;
}

template <class F>
TPL_HD Vec3T<F> reflectAbout(Vec3T<F> d, Vec3T<F> n) {
    return d - F(2.0f) * dot(d, n) * n;
}

// Fresnel-weighted choice between reflection and refraction; one draw. The chain
// variant (index 1.5) chooses by a plain draw, the sub-path variant (index 1.2)
// by a draw within the stratum byte2. eta is the ratio of the indices on the
// two sides: the glass's index leaving it, its inverse entering. Inside means
// the ray starts within the glass sphere `sphere`; a box's normal always faces
// the ray, so a glass box is entered wherever it is hit (isSphere false).
// The glass surface as a ray from o along d meets it, before any choice:
// which side the ray is on, the normal against it, the cosine, the ratio of
// the indices and k (below zero: total internal reflection).
template <class F>
struct GlassEntry {
    MaskOf<F> inside;
    Vec3T<F> nf;
    F cosI;
    F eta;
    F k;
};

template <class F>
TPL_HD GlassEntry<F> glassEntry(const FrameData& fd, GlassVariant variant, Vec3T<F> o, Vec3T<F> d,
                                MaskOf<F> isSphere, IntOf<F> sphere, Vec3T<F> n) {
    const IntOf<F> i = select(isSphere, sphere, IntOf<F>(0));
    const Vec3T<F> fromCentre = o - Vec3T<F>{gather(fd.sphereX, i), gather(fd.sphereY, i), gather(fd.sphereZ, i)};
    GlassEntry<F> e;
    e.inside = isSphere && gather(fd.sphereRadius2, i) > dot(fromCentre, fromCentre);
    e.nf = select(e.inside, -n, n);
    e.cosI = dot(d, e.nf);
    e.eta = variant == GlassVariant::Chain ? select(e.inside, F(chainIndexLeaving), F(chainIndexEntering))
                                           : select(e.inside, F(subPathIndexLeaving), F(subPathIndexEntering));
    e.k = F(1.0f) - e.eta * e.eta * (F(1.0f) - e.cosI * e.cosI);
    return e;
}

// The unit refracted direction where one exists (k not below zero).
template <class F>
TPL_HD Vec3T<F> refractedDirection(const GlassEntry<F>& e, Vec3T<F> d) {
    const Vec3T<F> t = e.eta * d - (e.eta * e.cosI + tracerSqrt(e.k)) * e.nf;
    return t * tracerRsqrt(dot(t, t));
}

template <class F>
TPL_HD Vec3T<F> scatterGlass(const FrameData& fd, GlassVariant variant, Vec3T<F> o, Vec3T<F> d, MaskOf<F> isSphere,
                             IntOf<F> sphere, Vec3T<F> n, Vec3T<F>& throughput, RngState<UIntOf<F>>& rng,
                             IntOf<F> byte2) {
    const GlassEntry<F> e = glassEntry(fd, variant, o, d, isSphere, sphere, n);
    const MaskOf<F> inside = e.inside;
    const F cosI = e.cosI;

    const F draw = nextRandom(rng);
    const F u = variant == GlassVariant::Chain ? draw : stratified<F>(byte2, draw, choiceStratumWidth);
    // Total internal reflection: no refracted ray exists, so the surface is a
    // perfect mirror. The draw above is still taken to keep the sequence aligned.
    const MaskOf<F> total = e.k < 0.0f;
    const Vec3T<F> reflected = reflectAbout(d, n);
    if (allOf(total)) return reflected;

    const Vec3T<F> t = refractedDirection(e, d);
    const F x = select(inside, F(1.0f) - dot(t, n), F(1.0f) + cosI);
    const F x2 = x * x;
    const F re = F(fresnelAtNormal) + F(1.0f - fresnelAtNormal) * (x2 * x2 * x);
    const F pReflect = F(0.25f) + F(0.5f) * re;
    // A choice value can round up to exactly 1; with pReflect at 1 the
    // transmission weight would divide by zero, so that case reflects.
    const MaskOf<F> reflects = u < pReflect || pReflect >= 1.0f;
    const F weight = select(reflects, tracerDiv(re, pReflect), tracerDiv(F(1.0f) - re, F(1.0f) - pReflect));
    throughput = select(total, throughput, throughput * weight);
    return select(total || reflects, reflected, t);
}

// The one way on through glass without a draw: the refracted ray, or the
// reflected one where none exists. What a noise-free guide follows.
template <class F>
TPL_HD Vec3T<F> glassPassage(const FrameData& fd, GlassVariant variant, Vec3T<F> o, Vec3T<F> d, MaskOf<F> isSphere,
                             IntOf<F> sphere, Vec3T<F> n) {
    const GlassEntry<F> e = glassEntry(fd, variant, o, d, isSphere, sphere, n);
    const MaskOf<F> total = e.k < 0.0f;
    const Vec3T<F> reflected = reflectAbout(d, n);
    if (allOf(total)) return reflected;
    return select(total, reflected, refractedDirection(e, d));
}

template <class F>
TPL_HD Vec3T<F> reflectMirror(Vec3T<F> d, Vec3T<F> n, Vec3T<F>& throughput) {
    const Vec3T<F> r = reflectAbout(d, n);
    throughput = throughput * dot(r, n);
    return r;
}
