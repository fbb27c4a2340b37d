#pragma once
// Light carried back along one primary ray: the specular chain through mirror
// and glass, then four sub-paths from where the chain rests, each gathering
// direct light at diffuse surfaces and the emitter or sky at its end.
#include "kernel/host_device.h"
#include "kernel/intersect.h"
#include "kernel/materials.h"
#include "kernel/rng.h"
#include "kernel/vec3.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"

constexpr int subPathsPerRay = 4;
constexpr int maxBudget = 7;
constexpr float escapeDistance = 5000.0f;
constexpr int samplerRowBytes = samplerLevels * samplerChannels;

// Early primary rays of a pixel get short paths: 3 plus the bit length of s, at most 7.
TPL_HD int bounceBudget(int s) {
    int budget = 3;
    for (unsigned v = static_cast<unsigned>(s); v != 0u && budget < maxBudget; v >>= 1) ++budget;
    return budget;
}

// Traces primary ray s (origin o, unit direction d) and adds its light into acc.
TPL_HD void traceSample(const FrameData& fd, const unsigned char* sdata, int s, Vec3 o, Vec3 d, PixelRng& rng,
                        Vec3& acc) {
    int budget = bounceBudget(s);
    HitRecord hit = traceNearest(fd, o, d);

    Vec3 chainThroughput{1.0f, 1.0f, 1.0f};
    while (fd.materials[hit.material].kind != kindDiffuse && budget > 0 && hit.objectId != missObjectId) {
        --budget;
        const Vec3 p = o + hit.t * d;
        tintThroughput(fd, chainThroughput, hit.material);
        const Vec3 next =
            fd.materials[hit.material].kind == kindGlass
                ? scatterGlass(fd, GlassVariant::Chain, o, d, hit.objectId, hit.normal, chainThroughput, rng, 0)
                : reflectMirror(d, hit.normal, chainThroughput);
        o = p + surfaceOffset * next;
        d = next;
        hit = traceNearest(fd, o, d);
    }
    // A chain that spent the whole budget contributes nothing, wherever it ended.
    if (budget <= 0) return;

    for (int k = 0; k < subPathsPerRay; ++k) {
        const unsigned char* slot = sdata + (subPathsPerRay * s + k) * samplerRowBytes;
        Vec3 throughput = chainThroughput;
        Vec3 origin = o;
        Vec3 dir = d;
        HitRecord h = hit;
        bool lightSampled = false;
        for (int b = 0; b < budget; ++b) {
            if (b > 0) h = traceNearest(fd, origin, dir);
            if (h.t > escapeDistance) {
                addSky(acc, throughput);
                break;
            }
            if (h.objectId == 0) {
                // After a diffuse surface the light was already sampled directly.
                if (!lightSampled) addEmission(fd, acc, throughput, h.material);
                break;
            }
            const Vec3 p = origin + h.t * dir;
            tintThroughput(fd, throughput, h.material);
            const float kind = fd.materials[h.material].kind;
            const unsigned char* bytes = slot + samplerChannels * b;
            Vec3 next;
            if (kind == kindDiffuse) {
                next = shadeDiffuse(fd, p, h.normal, throughput, rng, bytes[0], bytes[1], acc);
                lightSampled = true;
            } else if (kind == kindGlass) {
                next = scatterGlass(fd, GlassVariant::SubPath, origin, dir, h.objectId, h.normal, throughput, rng,
                                    bytes[2]);
            } else {
                next = reflectMirror(dir, h.normal, throughput);
            }
            origin = p + surfaceOffset * next;
            dir = next;
        }
    }
}
