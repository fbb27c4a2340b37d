#pragma once
// Surface responses at one hit: colour factor, sky, emission, diffuse with
// direct light from the light sphere, glass, mirror.
#include "kernel/tracer_math.h"
#include "kernel/host_device.h"
#include "kernel/intersect.h"
#include "kernel/rng.h"
#include "kernel/vec3.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"

constexpr float kindDiffuse = 0.0f;
constexpr float kindGlass = 0.5f;

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

TPL_HD Vec3 materialColour(const FrameData& fd, int material) {
    const MaterialEntry& m = fd.materials[material];
    return {m.red, m.green, m.blue};
}

TPL_HD void tintThroughput(const FrameData& fd, Vec3& throughput, int material) {
    throughput = mul(throughput, 2.0f * materialColour(fd, material));
}

TPL_HD void addSky(Vec3& acc, Vec3 throughput) {
    acc = acc + mul(throughput, Vec3{skyRed, skyGreen, skyBlue});
}

TPL_HD void addEmission(const FrameData& fd, Vec3& acc, Vec3 throughput, int material) {
    acc = acc + mul(throughput, materialColour(fd, material));
}

// A shadow ray toward a point spread over the light sphere's whole surface.
struct LightSample {
    Vec3 toLight;     // unit direction from the surface point
    float cosLight;   // against the surface normal
    float distance2;  // squared distance to the light point
};

// Two draws: light angle, light height.
TPL_HD LightSample sampleLight(const FrameData& fd, Vec3 p, Vec3 n, PixelRng& rng, int byte0) {
    const float u1 = (static_cast<float>(byte0 & 7) + nextRandom(rng)) * angleStratumWidth;
    const float u2 = (static_cast<float>(byte0 >> 3) + nextRandom(rng)) * secondStratumWidth;
    const float phi = twoPi * u1;
    const float q = tracerSqrt(u2 * (1.0f - u2));
    const float r0 = fd.sphereRadius[0];
    const Vec3 lightPoint =
        sphereCentre(fd, 0) + r0 * Vec3{2.0f * q * tracerCos(phi), 2.0f * q * tracerSin(phi), 1.0f - 2.0f * u2};
    const Vec3 lv = lightPoint - p;
    const float d2 = dot(lv, lv);
    const Vec3 l = lv * tracerRsqrt(d2);
    return {l, dot(n, l), d2};
}

// The light a sample adds when nothing blocks its shadow ray.
TPL_HD Vec3 directLight(const FrameData& fd, Vec3 throughput, const LightSample& light) {
    return mul(throughput, materialColour(fd, 0)) * tracerDiv(light.cosLight, light.distance2);
}

// Cosine-weighted bounce about n. Two draws: bounce angle, bounce radius.
TPL_HD Vec3 diffuseBounce(Vec3 n, PixelRng& rng, int byte1) {
    const float u3 = (static_cast<float>(byte1 & 7) + nextRandom(rng)) * angleStratumWidth;
    const float u4 = (static_cast<float>(byte1 >> 3) + nextRandom(rng)) * secondStratumWidth;
    const float phi2 = twoPiFiveFigures * u3;
    const Vec3 axis = absOf(n.x) < 0.1f ? Vec3{1.0f, 0.0f, 0.0f} : Vec3{0.0f, 1.0f, 0.0f};
    Vec3 u = cross(axis, n);
    u = u * tracerRsqrt(dot(u, u));
    const Vec3 v = cross(u, n);
    const float radius = tracerSqrt(u4);
    return u * (tracerCos(phi2) * radius) + v * (tracerSin(phi2) * radius) + n * tracerSqrt(1.0f - u4);
}

// Adds the light sphere's direct light at P (one shadow ray) and returns a
// cosine-weighted bounce about n. Always four draws: light angle, light height,
// bounce angle, bounce radius. The shadow ray takes no draw, so the batched CPU
// kernel may draw all four before its shadow query returns.
TPL_HD Vec3 shadeDiffuse(const FrameData& fd, Vec3 p, Vec3 n, Vec3& throughput, PixelRng& rng, int byte0, int byte1,
                         Vec3& acc) {
    throughput = throughput * diffuseFactor;
    const LightSample light = sampleLight(fd, p, n, rng, byte0);
    if (light.cosLight > 0.0f) {
        const float dist = tracerSqrt(light.distance2);
        const float occ = occlusionDistance(fd, p + surfaceOffset * n, light.toLight);
        if (occ > dist) acc = acc + directLight(fd, throughput, light);
    }
    return diffuseBounce(n, rng, byte1);
}

TPL_HD Vec3 reflectAbout(Vec3 d, Vec3 n) {
    return d - 2.0f * dot(d, n) * n;
}

// Fresnel-weighted choice between reflection and refraction; one draw. The chain
// variant (index 1.5) chooses by a plain draw, the sub-path variant (index 1.2)
// by a draw within the stratum byte2. eta is the ratio of the indices on the
// two sides: the glass's index leaving it, its inverse entering.
TPL_HD Vec3 scatterGlass(const FrameData& fd, GlassVariant variant, Vec3 o, Vec3 d, int objectId, Vec3 n,
                         Vec3& throughput, PixelRng& rng, int byte2) {
    const Vec3 fromCentre = o - sphereCentre(fd, objectId);
    const bool inside = fd.sphereRadius2[objectId] > dot(fromCentre, fromCentre);
    const Vec3 nf = inside ? -n : n;
    const float cosI = dot(d, nf);
    const bool chain = variant == GlassVariant::Chain;
    const float eta = chain ? (inside ? chainIndexLeaving : chainIndexEntering)
                            : (inside ? subPathIndexLeaving : subPathIndexEntering);
    const float k = 1.0f - eta * eta * (1.0f - cosI * cosI);

    const float draw = nextRandom(rng);
    const float u = chain ? draw : (static_cast<float>(byte2) + draw) * choiceStratumWidth;
    // Total internal reflection: no refracted ray exists, so the surface is a
    // perfect mirror. The draw above is still taken to keep the sequence aligned.
    if (k < 0.0f) return reflectAbout(d, n);

    Vec3 t = eta * d - (eta * cosI + tracerSqrt(k)) * nf;
    t = t * tracerRsqrt(dot(t, t));
    const float x = inside ? 1.0f - dot(t, n) : 1.0f + cosI;
    const float x2 = x * x;
    const float re = fresnelAtNormal + (1.0f - fresnelAtNormal) * (x2 * x2 * x);
    const float pReflect = 0.25f + 0.5f * re;
    // A choice value can round up to exactly 1; with pReflect at 1 the
    // transmission weight would divide by zero, so that case reflects.
    if (u < pReflect || pReflect >= 1.0f) {
        throughput = throughput * tracerDiv(re, pReflect);
        return reflectAbout(d, n);
    }
    throughput = throughput * tracerDiv(1.0f - re, 1.0f - pReflect);
    return t;
}

TPL_HD Vec3 reflectMirror(Vec3 d, Vec3 n, Vec3& throughput) {
    const Vec3 r = reflectAbout(d, n);
    throughput = throughput * dot(r, n);
    return r;
}
