#pragma once
// Light carried back along the primary rays of a pixel: the specular chain
// through mirror and glass, then the ray's sub-paths (subPathCount) from where
// the chain rests, each gathering direct light at diffuse surfaces and the
// emitter or sky at its end.
//
// A path is a small state machine (PathState) moved on a round at a time:
// the round answers its pending scene queries, then takes one step from the
// hit in hand. Written over the number type F, so one round moves one path
// (the CUDA kernel and the CPU's scalar kernel) or a vector of paths, one per
// lane, each lane doing exactly what one path does (the CPU's vector kernel).
#include "kernel/host_device.h"
#include "kernel/intersect.h"
#include "kernel/materials.h"
#include "kernel/primary_rays.h"
#include "kernel/rng.h"
#include "kernel/vec3.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"

constexpr int maxBudget = 7;
constexpr float escapeDistance = 5000.0f;
constexpr int samplerRowBytes = samplerLevels * samplerChannels;

// Which of a full frame's primary rays and sub-paths a reduced record's frame
// traces. A full frame traces every ray s (each with its own column of the
// pixel and its own bounce budget) and every sub-path k of it (each with its
// own row s * subPathsPerRay + k of the sampler table); a record with fewer
// traces a block of them that moves on with the pass through all of them, so
// that frames accumulated over passes converge to the full frame's estimate
// rather than to that of its first ray alone. A full record's block is always
// the whole.
struct SampleBlock {
    int firstRay;
    int firstSubPath;
};

TPL_HD SampleBlock sampleBlock(const FrameData& fd, int pass) {
    const int rays = primaryRayCount(fd), subPaths = subPathCount(fd);
    if (rays <= 0 || subPaths <= 0) return {0, 0};
    const unsigned rayBlocks = static_cast<unsigned>((samplesPerFrame >> 2) / rays);
    const unsigned subPathBlocks = static_cast<unsigned>(subPathsPerRay / subPaths);
    const unsigned n = static_cast<unsigned>(pass);
    return {static_cast<int>(n % rayBlocks) * rays, static_cast<int>((n / rayBlocks) % subPathBlocks) * subPaths};
}

// The block pixel p of a reduced record traces at frame counter pass. Each
// pixel starts the cycle of blocks at its own place: were the block the same
// for every pixel of a frame, the whole frame would share one stratum of the
// light (its shadows sharp and off to one side) and one bounce budget (a
// 3-bounce frame is darker than a 6-bounce one: the picture flickers with
// the cycle), which no filter over the frame can average out. A full
// record's block is the whole, whatever the offset.
TPL_HD unsigned sampleBlockOffset(int p) {
    unsigned h = static_cast<unsigned>(p) * 0x9E3779B1u;
    h ^= h >> 15;
    h *= 0x85EBCA77u;
    h ^= h >> 13;
    return h;
}

TPL_HD SampleBlock pixelSampleBlock(const FrameData& fd, int pass, int p) {
    return sampleBlock(fd, static_cast<int>((static_cast<unsigned>(pass) + sampleBlockOffset(p)) & 0x7FFFFFFFu));
}

// Early primary rays of a pixel get short paths: 3 plus the bit length of s, at most maxBudget.
template <class I>
TPL_HD I bounceBudget(I s) {
    I budget(3);
    for (int bit = 0; bit < maxBudget - 3; ++bit) budget = budget + select((s >> bit) != 0, I(1), I(0));
    return budget;
}

// What a path does next.
enum PathPhase : int32_t {
    phaseIdle,        // no pixel (a vector lane the run has no pixel left for)
    phaseRay,         // waits for the nearest hit of its ray
    phaseHit,         // holds a hit to move on from
    phaseShadowOnly,  // waits for its shadow ray only, then ends the sub-path
    phaseDiffuse,     // holds a diffuse hit whose response is still to be drawn
    phaseDone,        // its pixel has all its primary rays
};

template <class F>
struct PathState {
    IntOf<F> phase;    // PathPhase
    IntOf<F> sample;   // primary ray s of the pixel
    IntOf<F> budget;   // bounces left to the chain, then bounces of each sub-path
    IntOf<F> subPath;  // k, 0 to subPathCount - 1
    IntOf<F> endRay;        // one past the pixel's last primary ray
    IntOf<F> firstSubPath;  // the sampler row of sub-path 0 (the pixel's block)
    IntOf<F> bounce;   // b, the sub-path's bounce
    MaskOf<F> inChain;
    MaskOf<F> lightSampled;   // the sub-path met a diffuse surface: no emission after it
    MaskOf<F> shadowPending;  // a shadow ray waits for its answer
    Vec3T<F> acc;             // the pixel's light so far
    F cornerU, cornerV;
    RngState<UIntOf<F>> rng;
    // The specular chain of primary ray s: its ray, throughput and resting hit.
    Vec3T<F> chainOrigin, chainDir, chainThroughput;
    HitT<F> chainHit;
    // Sub-path k at bounce b: its ray, throughput and the hit in hand (the
    // chain's too while inChain).
    Vec3T<F> origin, dir, throughput;
    HitT<F> hit;
    // A diffuse hit's shadow ray and the light it adds when clear.
    RayT<F> shadow;
    F lightDistance;
    Vec3T<F> light;
};

// Starts the specular chain of primary ray st.sample from o along d.
template <class F>
TPL_HD void startChain(PathState<F>& st, MaskOf<F> m, Vec3T<F> o, Vec3T<F> d) {
    assign(m, st.budget, bounceBudget(st.sample));
    assign(m, st.chainOrigin, o);
    assign(m, st.chainDir, d);
    assign(m, st.chainThroughput, splat<F>(1.0f, 1.0f, 1.0f));
    assign(m, st.inChain, MaskOf<F>(true));
    assign(m, st.phase, IntOf<F>(phaseRay));
}

// Sub-path st.subPath starts where the chain rests, with the chain's hit in hand.
template <class F>
TPL_HD void startSubPath(PathState<F>& st, MaskOf<F> m) {
    assign(m, st.throughput, st.chainThroughput);
    assign(m, st.origin, st.chainOrigin);
    assign(m, st.dir, st.chainDir);
    assign(m, st.hit, st.chainHit);
    assign(m, st.lightSampled, MaskOf<F>(false));
    assign(m, st.bounce, IntOf<F>(0));
    assign(m, st.inChain, MaskOf<F>(false));
    assign(m, st.phase, IntOf<F>(phaseHit));
}

// Traces the pixel's primary rays one after another, `rays` of them from
// its block's first; the pixel of a path is then done (phaseDone).
template <class F>
struct PixelRays {
    const FrameData& fd;
    int rays;

    TPL_HD void nextSample(PathState<F>& st, MaskOf<F> m) const;
};

// Primary ray st.sample of the lanes of m from the camera.
template <class F>
TPL_HD void startSample(const FrameData& fd, PathState<F>& st, MaskOf<F> m) {
    if (!anyOf(m)) return;
    RngState<UIntOf<F>> g = st.rng;
    const Vec3T<F> dir = primaryDirection(fd, st.cornerU, st.cornerV, st.sample, g);
    assign(m, st.rng, g);
    startChain(st, m, splat<F>(fd.camPosition[0], fd.camPosition[1], fd.camPosition[2]), dir);
}

template <class F>
TPL_HD void PixelRays<F>::nextSample(PathState<F>& st, MaskOf<F> m) const {
    if (!anyOf(m)) return;
    const IntOf<F> s = st.sample + 1;
    assign(m, st.sample, s);
    const MaskOf<F> finished = m && !(s < st.endRay);
    assign(finished, st.phase, IntOf<F>(phaseDone));
    startSample(fd, st, m && !finished);
}

// A new pixel in the lanes of m: no light yet, its corner, its generator and
// its block of rays and sub-paths.
template <class F>
TPL_HD void startPixel(const PixelRays<F>& pixel, PathState<F>& st, MaskOf<F> m, F cornerU, F cornerV,
                       const RngState<UIntOf<F>>& rng, IntOf<F> firstRay, IntOf<F> firstSubPath) {
    assign(m, st.sample, firstRay);
    assign(m, st.endRay, firstRay + IntOf<F>(pixel.rays));
    assign(m, st.firstSubPath, firstSubPath);
    assign(m, st.acc, splat<F>(0.0f, 0.0f, 0.0f));
    assign(m, st.cornerU, cornerU);
    assign(m, st.cornerV, cornerV);
    assign(m, st.rng, rng);
    if (pixel.rays > 0)
        startSample(pixel.fd, st, m);
    else
        assign(m, st.phase, IntOf<F>(phaseDone));
}

// One round of the paths in st. Strata is the sampler table (bytes, or wider
// words a vector can gather); Next decides what follows a primary ray.
template <class F, class Strata, class Next>
class PathRound {
public:
    using M = MaskOf<F>;
    using I = IntOf<F>;
    using V = Vec3T<F>;
    using Rng = RngState<UIntOf<F>>;

    TPL_HD PathRound(const FrameData& fd, Strata strata, const Next& next, PathState<F>& st)
        : fd_(fd), strata_(strata), next_(next), st_(st) {}

    // The nearest hits, the shadow rays, then one step for every path with a hit.
    TPL_HD void run() {
        const M ray = st_.phase == phaseRay;
        if (anyOf(ray)) {
            const V o = select(st_.inChain, st_.chainOrigin, st_.origin);
            const V d = select(st_.inChain, st_.chainDir, st_.dir);
            assign(ray, st_.hit, traceNearest(fd_, makeRay(o, d)));
            assign(ray, st_.phase, I(phaseHit));
        }
        const M shadow = st_.shadowPending;
        if (anyOf(shadow)) {
            const M clear = shadow && occlusionDistance(fd_, st_.shadow) > st_.lightDistance;
            assign(clear, st_.acc, st_.acc + st_.light);
            assign(shadow, st_.shadowPending, M(false));
            endSubPath(shadow && st_.phase == phaseShadowOnly);
        }
        // A sub-path that starts holds the chain's hit: it steps on at once,
        // so every path leaves the round waiting for a query or done. The
        // diffuse responses wait until no path holds a hit, so that the lanes
        // of a vector that need one take it together.
        for (;;) {
            for (M hit = st_.phase == phaseHit; anyOf(hit); hit = st_.phase == phaseHit) step(hit);
            const M diffuse = st_.phase == phaseDiffuse;
            if (!anyOf(diffuse)) break;
            bounce(diffuse, diffuse, M(false), M(false));
        }
    }

private:
    TPL_HD void step(M hit) {
        const SurfaceMaterial<F> material = surfaceMaterial<F>(fd_, st_.hit.material);
        const M chain = hit && st_.inChain;
        if (anyOf(chain)) chainStep(chain, material);
        // Chains that came to rest start their first sub-path from the same hit now.
        const M sub = hit && !st_.inChain && st_.phase == phaseHit;
        if (anyOf(sub)) subPathStep(sub, material);
    }

    // One turn of the chain through mirror and glass, or its end.
    TPL_HD void chainStep(M c, const SurfaceMaterial<F>& material) {
        const HitT<F>& h = st_.hit;
        const M turns = material.kind != materialDiffuse && st_.budget > 0 && h.objectId != missObjectId;
        const M onward = c && turns;
        if (anyOf(onward)) {
            const V o = st_.chainOrigin, d = st_.chainDir;
            const V p = o + h.t * d;
            V throughput = tinted(st_.chainThroughput, material.colour);
            const M isGlass = onward && material.kind == materialGlass;
            const M isMirror = onward && !isGlass;
            Rng g = st_.rng;
            V next = d;
            specular(isGlass, isMirror, GlassVariant::Chain, o, d, I(0), next, throughput, g);
            assign(onward, st_.rng, g);
            assign(onward, st_.budget, st_.budget - 1);
            assign(onward, st_.chainThroughput, throughput);
            assign(onward, st_.chainOrigin, p + F(surfaceOffset) * next);
            assign(onward, st_.chainDir, next);
            assign(onward, st_.phase, I(phaseRay));
        }
        const M rests = c && !onward;
        // A chain that spent the whole budget contributes nothing, wherever it ended.
        const M spent = rests && !(st_.budget > 0);
        const M gathers = rests && !spent;
        if (anyOf(gathers)) {
            assign(gathers, st_.chainHit, st_.hit);
            assign(gathers, st_.subPath, I(0));
            startSubPath(st_, gathers);
        }
        next_.nextSample(st_, spent);
    }

    // Bounce b of sub-path k meets the hit in hand. A diffuse surface only
    // tints the throughput here and leaves its response to bounce(), which the
    // round runs once no path holds a hit any more.
    TPL_HD void subPathStep(M m, const SurfaceMaterial<F>& material) {
        const HitT<F>& h = st_.hit;
        const V throughput = st_.throughput;
        V acc = st_.acc;
        const M sky = m && h.t > escapeDistance;
        acc = select(sky, acc + skyLight(throughput), acc);
        const M emitter = m && !sky && h.objectId == 0;
        // After a diffuse surface the light was already sampled directly.
        const M emits = emitter && !st_.lightSampled;
        acc = select(emits, acc + mul(throughput, material.colour), acc);
        assign(m, st_.acc, acc);
        const M ended = sky || emitter;
        const M surface = m && !ended;
        if (anyOf(surface)) {
            assign(surface, st_.throughput, tinted(throughput, material.colour));
            const M isDiffuse = surface && material.kind == materialDiffuse;
            const M isGlass = surface && material.kind == materialGlass;
            const M isMirror = surface && !isDiffuse && !isGlass;
            assign(isDiffuse, st_.phase, I(phaseDiffuse));
            if (anyOf(isGlass || isMirror)) bounce(isGlass || isMirror, M(false), isGlass, isMirror);
        }
        endSubPath(ended);
    }

    // The response of the surface in hand (one of isDiffuse, isGlass and
    // isMirror for each lane of m) to sub-path k at bounce b, whose
    // throughput is tinted already: its next ray and, at a diffuse surface,
    // the shadow ray toward the light.
    TPL_HD void bounce(M m, M isDiffuse, M isGlass, M isMirror) {
        const HitT<F>& h = st_.hit;
        V throughput = st_.throughput;
        const V o = st_.origin, d = st_.dir;
        const V p = o + h.t * d;
        // This bounce's sampler strata.
        const I subPathRow = st_.sample * subPathsPerRay + (st_.subPath + st_.firstSubPath);
        const I row = select(m, subPathRow * samplerRowBytes + st_.bounce * samplerChannels, I(0));
        Rng g = st_.rng;
        V next = d;
        if (anyOf(isDiffuse)) {
            Rng drawn = g;
            const DiffuseResponse<F> r =
                shadeDiffuse(fd_, p, h.normal, throughput, drawn, gather(strata_, row), gather(strata_, row + 1), isDiffuse);
            const M lit = isDiffuse && r.lit;
            assign(lit, st_.shadow, r.shadow);
            assign(lit, st_.lightDistance, r.lightDistance);
            assign(lit, st_.light, r.light);
            assign(lit, st_.shadowPending, M(true));
            assign(isDiffuse, st_.lightSampled, M(true));
            throughput = select(isDiffuse, r.throughput, throughput);
            next = select(isDiffuse, r.next, next);
            g = select(isDiffuse, drawn, g);
        }
        specular(isGlass, isMirror, GlassVariant::SubPath, o, d, gather(strata_, row + 2), next, throughput, g);
        assign(m, st_.rng, g);
        assign(m, st_.origin, p + F(surfaceOffset) * next);
        assign(m, st_.dir, next);
        assign(m, st_.throughput, throughput);
        const I bounced = st_.bounce + 1;
        assign(m, st_.bounce, bounced);
        const M more = m && bounced < st_.budget;
        const M waits = m && !more && st_.shadowPending;
        assign(more, st_.phase, I(phaseRay));
        assign(waits, st_.phase, I(phaseShadowOnly));
        endSubPath(m && !more && !waits);
    }

    // The glass and mirror responses to the hit in hand, in the lanes of
    // isGlass and isMirror: their next direction, throughput and generator.
    TPL_HD void specular(M isGlass, M isMirror, GlassVariant variant, const V& o, const V& d, I choice, V& next,
                         V& throughput, Rng& g) {
        const HitT<F>& h = st_.hit;
        if (anyOf(isGlass)) {
            Rng drawn = g;
            V weighted = throughput;
            const V scattered = scatterGlass(fd_, variant, o, d, h.objectId < firstBoxObjectId, h.objectId, h.normal,
                                             weighted, drawn, choice);
            next = select(isGlass, scattered, next);
            throughput = select(isGlass, weighted, throughput);
            g = select(isGlass, drawn, g);
        }
        if (anyOf(isMirror)) {
            V weighted = throughput;
            next = select(isMirror, reflectMirror(d, h.normal, weighted), next);
            throughput = select(isMirror, weighted, throughput);
        }
    }

    TPL_HD void endSubPath(M m) {
        if (!anyOf(m)) return;
        const I k = st_.subPath + 1;
        assign(m, st_.subPath, k);
        const M again = m && k < subPathCount(fd_);
        if (anyOf(again)) startSubPath(st_, again);
        next_.nextSample(st_, m && !again);
    }

    const FrameData& fd_;
    Strata strata_;
    const Next& next_;
    PathState<F>& st_;
};

template <class F, class Strata, class Next>
TPL_HD void advancePaths(const FrameData& fd, Strata strata, const Next& next, PathState<F>& st) {
    PathRound<F, Strata, Next>(fd, strata, next, st).run();
}
