// The batched kernel's path tracer: one pixel per vector lane, each lane
// walking traceSample (kernel/transport.h) for its pixel's primary rays as a
// small state machine. Every round answers the lanes' pending scene queries a
// whole vector at a time and then moves every lane that holds a hit one step
// on, whatever step that is; a lane whose pixel is done takes the next pixel
// of the run. Each lane draws its random numbers and adds its light in the
// scalar order, with the scalar arithmetic, so the pixels are the scalar ones.
// Compiled once per vector target through kernel/batched_kernel.cpp.
#if defined(TPL_BATCHED_PATHS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TPL_BATCHED_PATHS_INL_H_
#undef TPL_BATCHED_PATHS_INL_H_
#else
#define TPL_BATCHED_PATHS_INL_H_
#endif

#include <hwy/highway.h>

#include <cstdint>
#include <vector>

#include "kernel/batched_lanes.h"
#include "kernel/cpu_kernels.h"
#include "kernel/render_pixel.h"
#include "kernel/transport.h"

#include "kernel/batched_queries-inl.h"
#include "kernel/batched_shading-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tpl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

static_assert(HWY_MAX_BYTES / sizeof(float) <= maxPathLanes, "the lane state holds the widest vector");

// What a lane does next.
enum LanePhase : int32_t {
    phaseIdle,        // no pixel left in the run
    phaseRay,         // waits for the nearest hit of its ray
    phaseHit,         // holds a hit to move on from
    phaseShadowOnly,  // waits for its shadow ray only, then ends the sub-path
};

// clang-format off
enum LaneFloat : int {
    lAccX, lAccY, lAccZ, lCornerU, lCornerV,
    // The specular chain of primary ray s: its ray, throughput and resting hit.
    lChainOx, lChainOy, lChainOz, lChainDx, lChainDy, lChainDz, lChainTr, lChainTg, lChainTb,
    lChainHitT, lChainHitNx, lChainHitNy, lChainHitNz,
    // Sub-path k at bounce b: throughput, ray, the hit in hand.
    lTr, lTg, lTb, lOx, lOy, lOz, lDx, lDy, lDz, lHitT, lHitNx, lHitNy, lHitNz,
    // A diffuse hit's shadow ray and the light it adds when clear.
    lShadowOx, lShadowOy, lShadowOz, lLx, lLy, lLz, lLightR, lLightG, lLightB, lLightDistance,
    laneFloats
};
enum LaneInt : int {
    lPixel, lS, lBudget, lK, lB, lHitObject, lHitMaterial, lChainHitObject, lChainHitMaterial,
    lPhase, lInChain, lLightSampled, lShadowPending,
    laneInts
};
// clang-format on

struct PathLanes {
    alignas(64) float f[laneFloats][maxPathLanes];
    alignas(64) int32_t i[laneInts][maxPathLanes];
    alignas(64) uint32_t rng[4][maxPathLanes];
};

class PathTracer {
public:
    PathTracer(const FrameWork& work, int begin, int end)
        : fd_(*work.record), work_(work), next_(begin), end_(end), rays_(primaryRayCount(*work.record)) {
        // The sampler strata as 32-bit words, for gathers.
        const int bytes = subPathsPerRay * rays_ * samplerRowBytes;
        strata_.assign(work.sdata, work.sdata + bytes);
        for (auto& field : state_.f)
            for (float& v : field) v = 0.0f;
        for (auto& field : state_.i)
            for (int32_t& v : field) v = 0;
        for (auto& word : state_.rng)
            for (uint32_t& v : word) v = 0;
    }

    void run() {
        for (size_t lane = 0; lane < hn::Lanes(d_); ++lane) takePixel(lane);
        startSample(hn::Not(phaseIs(phaseIdle)));
        while (!hn::AllTrue(d_, phaseIs(phaseIdle))) round();
    }

private:
    VF F(int field) const { return hn::Load(d_, state_.f[field]); }
    V3 F3(int field) const { return {F(field), F(field + 1), F(field + 2)}; }
    VI I(int field) const { return hn::Load(di_, state_.i[field]); }
    void put(int field, MF m, VF v) { hn::Store(hn::IfThenElse(m, v, F(field)), d_, state_.f[field]); }
    void put3(int field, MF m, V3 v) {
        put(field, m, v.x);
        put(field + 1, m, v.y);
        put(field + 2, m, v.z);
    }
    void putI(int field, MF m, VI v) {
        hn::Store(hn::IfThenElse(hn::RebindMask(di_, m), v, I(field)), di_, state_.i[field]);
    }
    void putI(int field, MF m, int32_t v) { putI(field, m, hn::Set(di_, v)); }
    MF intIs(int field, int32_t v) const { return hn::RebindMask(d_, hn::Eq(I(field), hn::Set(di_, v))); }
    MF phaseIs(LanePhase p) const { return intIs(lPhase, p); }
    LaneRng rng() const {
        return {hn::Load(du_, state_.rng[0]), hn::Load(du_, state_.rng[1]), hn::Load(du_, state_.rng[2]),
                hn::Load(du_, state_.rng[3])};
    }
    void putRng(const LaneRng& g) {
        hn::Store(g.mwcHigh, du_, state_.rng[0]);
        hn::Store(g.mwcLow, du_, state_.rng[1]);
        hn::Store(g.congState, du_, state_.rng[2]);
        hn::Store(g.shiftState, du_, state_.rng[3]);
    }
    // Calls visit(lane) for every lane of m.
    template <class Visit>
    void forLanes(MF m, Visit visit) {
        alignas(64) int32_t on[maxPathLanes];
        hn::Store(hn::VecFromMask(di_, hn::RebindMask(di_, m)), di_, on);
        for (size_t lane = 0; lane < hn::Lanes(d_); ++lane)
            if (on[lane] != 0) visit(lane);
    }

    // The lane starts the run's next pixel, or goes idle.
    void takePixel(size_t lane) {
        if (next_ >= end_) {
            state_.i[lPhase][lane] = phaseIdle;
            return;
        }
        const int pixel = pixelForThread(next_++, work_.pixelCount);
        const PixelRng g = seedPixelRng(pixel, work_.pass);
        const PixelCorner corner = pixelCorner(fd_, pixel);
        state_.i[lPixel][lane] = pixel;
        state_.i[lS][lane] = 0;
        state_.i[lPhase][lane] = phaseRay;
        state_.f[lAccX][lane] = state_.f[lAccY][lane] = state_.f[lAccZ][lane] = 0.0f;
        state_.f[lCornerU][lane] = corner.u;
        state_.f[lCornerV][lane] = corner.v;
        state_.rng[0][lane] = g.mwcHigh;
        state_.rng[1][lane] = g.mwcLow;
        state_.rng[2][lane] = g.congState;
        state_.rng[3][lane] = g.shiftState;
    }

    // Primary ray s of each lane in m: its direction, bounce budget and chain.
    void startSample(MF m) {
        if (hn::AllFalse(d_, m)) return;
        LaneRng g = rng();
        const VI s = I(lS);
        const V3 dir = PrimaryDirection(d_, m, fd_, F(lCornerU), F(lCornerV), s, g);
        putRng(g);
        // bounceBudget: 3 plus the bit length of s, at most 7.
        VI budget = hn::Set(di_, 3);
        for (int32_t bit : {1, 2, 4, 8})
            budget = hn::Sub(budget, hn::VecFromMask(di_, hn::Gt(s, hn::Set(di_, bit - 1))));
        static_assert(maxBudget == 7, "four bits of s reach the largest budget");
        putI(lBudget, m, budget);
        put3(lChainOx, m, Splat3(d_, fd_.camPosition[0], fd_.camPosition[1], fd_.camPosition[2]));
        put3(lChainDx, m, dir);
        put3(lChainTr, m, Splat3(d_, 1.0f, 1.0f, 1.0f));
        putI(lInChain, m, 1);
        putI(lPhase, m, phaseRay);
    }

    // Each round: the nearest hits, the shadow rays, then one step for every lane with a hit.
    void round() {
        const MF ray = phaseIs(phaseRay);
        if (!hn::AllFalse(d_, ray)) {
            const MF chain = intIs(lInChain, 1);
            const V3 o = Select3(chain, F3(lChainOx), F3(lOx));
            const V3 dir = Select3(chain, F3(lChainDx), F3(lDx));
            LaneSearch s;
            NearestLanes(d_, fd_, RaysFrom(d_, o.x, o.y, o.z, dir.x, dir.y, dir.z), s);
            put(lHitT, ray, s.t);
            putI(lHitObject, ray, hn::ConvertTo(di_, s.object));
            putI(lHitMaterial, ray, hn::ConvertTo(di_, s.material));
            put3(lHitNx, ray, {s.nx, s.ny, s.nz});
            putI(lPhase, ray, phaseHit);
        }
        const MF shadow = intIs(lShadowPending, 1);
        if (!hn::AllFalse(d_, shadow)) {
            const V3 o = F3(lShadowOx), l = F3(lLx);
            const VF occlusion = OcclusionLanes(d_, fd_, RaysFrom(d_, o.x, o.y, o.z, l.x, l.y, l.z));
            const MF clear = hn::And(shadow, hn::Gt(occlusion, F(lLightDistance)));
            put3(lAccX, clear, Add3(F3(lAccX), F3(lLightR)));
            putI(lShadowPending, shadow, 0);
            endSubPath(phaseIs(phaseShadowOnly));
        }
        step();
    }

    void step() {
        const MF hit = phaseIs(phaseHit);
        if (hn::AllFalse(d_, hit)) return;
        // The hit material's kind and colour.
        const VI entry = hn::ShiftLeft<2>(I(lHitMaterial));
        const float* materials = &fd_.materials[0].red;
        static_assert(sizeof(MaterialEntry) == 4 * sizeof(float), "materials are read as four floats each");
        const VF kind = hn::GatherIndex(d_, materials + 3, entry);
        const V3 colour{hn::GatherIndex(d_, materials, entry), hn::GatherIndex(d_, materials + 1, entry),
                        hn::GatherIndex(d_, materials + 2, entry)};
        const MF chain = hn::And(hit, intIs(lInChain, 1));
        if (!hn::AllFalse(d_, chain)) chainStep(chain, kind, colour);
        // Chains that came to rest start their first sub-path from the same hit now.
        const MF sub = hn::AndNot(intIs(lInChain, 1), phaseIs(phaseHit));
        if (!hn::AllFalse(d_, sub)) subPathStep(sub, kind, colour);
    }

    // scatterGlass for the lanes of m, the glass being sphere objectId.
    V3 glass(MF m, GlassVariant variant, V3 o, V3 dir, VI object, V3 n, VF choice, V3& throughput, LaneRng& g) {
        const VI sphere = hn::IfThenElse(hn::RebindMask(di_, m), object, hn::Zero(di_));
        const V3 centre{hn::GatherIndex(d_, fd_.sphereX, sphere), hn::GatherIndex(d_, fd_.sphereY, sphere),
                        hn::GatherIndex(d_, fd_.sphereZ, sphere)};
        const VF radius2 = hn::GatherIndex(d_, fd_.sphereRadius2, sphere);
        return Glass(d_, m, variant, o, dir, centre, radius2, n, choice, throughput, g);
    }

    // One turn of traceSample's chain loop, or its end.
    void chainStep(MF c, VF kind, V3 colour) {
        const VI budget = I(lBudget);
        const VI object = I(lHitObject);
        const VI zero = hn::Zero(di_);
        const MF specular = hn::And(hn::Ne(kind, hn::Zero(d_)),
                                    hn::RebindMask(d_, hn::And(hn::Gt(budget, zero),
                                                               hn::Ne(object, hn::Set(di_, missObjectId)))));
        const MF onward = hn::And(c, specular);
        if (!hn::AllFalse(d_, onward)) {
            putI(lBudget, onward, hn::Sub(budget, hn::Set(di_, 1)));
            const V3 o = F3(lChainOx), dir = F3(lChainDx), n = F3(lHitNx);
            const V3 p = Add3(o, Scale3(dir, F(lHitT)));
            V3 throughput = Select3(onward, Tint(d_, F3(lChainTr), colour), F3(lChainTr));
            const MF isGlass = hn::And(onward, hn::Eq(kind, hn::Set(d_, kindGlass)));
            const MF isMirror = hn::AndNot(isGlass, onward);
            LaneRng g = rng();
            V3 next = dir;
            if (!hn::AllFalse(d_, isGlass))
                next = Select3(isGlass,
                               glass(isGlass, GlassVariant::Chain, o, dir, object, n, hn::Zero(d_), throughput, g),
                               next);
            if (!hn::AllFalse(d_, isMirror)) next = Select3(isMirror, Mirror(d_, isMirror, dir, n, throughput), next);
            putRng(g);
            put3(lChainTr, onward, throughput);
            put3(lChainOx, onward, Add3(p, Scale3(next, hn::Set(d_, surfaceOffset))));
            put3(lChainDx, onward, next);
            putI(lPhase, onward, phaseRay);
        }
        const MF rests = hn::AndNot(onward, c);
        // A chain that spent the whole budget contributes nothing.
        const MF spent = hn::And(rests, hn::RebindMask(d_, hn::Not(hn::Gt(budget, zero))));
        const MF gathers = hn::AndNot(spent, rests);
        if (!hn::AllFalse(d_, gathers)) {
            put(lChainHitT, gathers, F(lHitT));
            put3(lChainHitNx, gathers, F3(lHitNx));
            putI(lChainHitObject, gathers, object);
            putI(lChainHitMaterial, gathers, I(lHitMaterial));
            putI(lK, gathers, 0);
            startSubPath(gathers);
        }
        if (!hn::AllFalse(d_, spent)) nextSample(spent);
    }

    // Sub-path k starts where the chain rests, with the chain's hit in hand.
    void startSubPath(MF m) {
        put3(lTr, m, F3(lChainTr));
        put3(lOx, m, F3(lChainOx));
        put3(lDx, m, F3(lChainDx));
        put(lHitT, m, F(lChainHitT));
        put3(lHitNx, m, F3(lChainHitNx));
        putI(lHitObject, m, I(lChainHitObject));
        putI(lHitMaterial, m, I(lChainHitMaterial));
        putI(lLightSampled, m, 0);
        putI(lB, m, 0);
        putI(lInChain, m, 0);
        putI(lPhase, m, phaseHit);
    }

    // Bounce b of sub-path k meets the hit in hand.
    void subPathStep(MF m, VF kind, V3 colour) {
        const VF t = F(lHitT);
        const VI object = I(lHitObject);
        V3 throughput = F3(lTr);
        V3 acc = F3(lAccX);
        const MF sky = hn::And(m, hn::Gt(t, hn::Set(d_, escapeDistance)));
        acc = Select3(sky, Add3(acc, Mul3(throughput, Splat3(d_, skyRed, skyGreen, skyBlue))), acc);
        const MF emitter = hn::AndNot(sky, hn::And(m, hn::RebindMask(d_, hn::Eq(object, hn::Zero(di_)))));
        // After a diffuse surface the light was already sampled directly.
        const MF emits = hn::And(emitter, intIs(lLightSampled, 0));
        acc = Select3(emits, Add3(acc, Mul3(throughput, colour)), acc);
        put3(lAccX, m, acc);
        MF ended = hn::Or(sky, emitter);
        const MF surface = hn::AndNot(ended, m);
        if (!hn::AllFalse(d_, surface)) {
            throughput = Select3(surface, Tint(d_, throughput, colour), throughput);
            const V3 o = F3(lOx), dir = F3(lDx), n = F3(lHitNx);
            const V3 p = Add3(o, Scale3(dir, t));
            const MF isDiffuse = hn::And(surface, hn::Eq(kind, hn::Set(d_, kindDiffuse)));
            const MF isGlass = hn::And(surface, hn::Eq(kind, hn::Set(d_, kindGlass)));
            const MF isMirror = hn::AndNot(hn::Or(isDiffuse, isGlass), surface);
            // This bounce's sampler strata.
            const VI b = I(lB);
            VI row = hn::Add(hn::Mul(hn::Add(hn::Mul(I(lS), hn::Set(di_, subPathsPerRay)), I(lK)),
                                     hn::Set(di_, samplerRowBytes)),
                             hn::Mul(b, hn::Set(di_, samplerChannels)));
            row = hn::IfThenElse(hn::RebindMask(di_, surface), row, hn::Zero(di_));
            LaneRng g = rng();
            V3 next = dir;
            if (!hn::AllFalse(d_, isDiffuse)) next = diffuse(isDiffuse, p, n, row, throughput, g, next);
            if (!hn::AllFalse(d_, isGlass)) {
                const VF choice = hn::ConvertTo(d_, hn::GatherIndex(di_, strata_.data() + 2, row));
                next = Select3(isGlass, glass(isGlass, GlassVariant::SubPath, o, dir, object, n, choice, throughput, g),
                               next);
            }
            if (!hn::AllFalse(d_, isMirror)) next = Select3(isMirror, Mirror(d_, isMirror, dir, n, throughput), next);
            putRng(g);
            put3(lOx, surface, Add3(p, Scale3(next, hn::Set(d_, surfaceOffset))));
            put3(lDx, surface, next);
            const VI bounced = hn::Add(b, hn::Set(di_, 1));
            putI(lB, surface, bounced);
            const MF more = hn::And(surface, hn::RebindMask(d_, hn::Lt(bounced, I(lBudget))));
            const MF waits = hn::AndNot(more, hn::And(surface, intIs(lShadowPending, 1)));
            putI(lPhase, more, phaseRay);
            putI(lPhase, waits, phaseShadowOnly);
            ended = hn::Or(ended, hn::AndNot(hn::Or(more, waits), surface));
        }
        put3(lTr, m, throughput);
        endSubPath(ended);
    }

    // The library's cosine and sine of angle in the lanes of m.
    void libraryCosSin(MF m, VF angle, SinCosLanes& out) {
        if (hn::AllFalse(d_, m)) return;
        alignas(64) float x[maxPathLanes], cosine[maxPathLanes], sine[maxPathLanes];
        hn::Store(angle, d_, x);
        hn::Store(out.cosine, d_, cosine);
        hn::Store(out.sine, d_, sine);
        forLanes(m, [&](size_t lane) { laneCosSin(x[lane], cosine[lane], sine[lane]); });
        out.cosine = hn::Load(d_, cosine);
        out.sine = hn::Load(d_, sine);
    }

    // shadeDiffuse for the lanes of m: its shadow ray waits for the next round.
    V3 diffuse(MF m, V3 p, V3 n, VI row, V3& throughput, LaneRng& g, V3 next) {
        const VI byte0 = hn::GatherIndex(di_, strata_.data(), row);
        const VI byte1 = hn::GatherIndex(di_, strata_.data() + 1, row);
        const DiffuseDraws a = DrawDiffuse(d_, m, byte0, byte1, throughput, g);
        // Sine and cosine in vector lanes where their bits are certain, the
        // library's own elsewhere.
        SinCosLanes light = TrySinCos(d_, a.phi), bounce = TrySinCos(d_, a.phi2);
        libraryCosSin(hn::AndNot(light.certain, m), a.phi, light);
        libraryCosSin(hn::AndNot(bounce.certain, m), a.phi2, bounce);
        const DiffuseRays r =
            DiffuseResponse(d_, fd_, p, n, throughput, a, light.cosine, light.sine, bounce.cosine, bounce.sine);
        const MF lit = hn::And(m, hn::Gt(r.cosLight, hn::Zero(d_)));
        put3(lShadowOx, lit, r.shadowOrigin);
        put3(lLx, lit, r.toLight);
        put3(lLightR, lit, r.light);
        put(lLightDistance, lit, r.lightDistance);
        putI(lShadowPending, lit, 1);
        putI(lLightSampled, m, 1);
        return Select3(m, r.next, next);
    }

    void endSubPath(MF m) {
        if (hn::AllFalse(d_, m)) return;
        const VI k = hn::Add(I(lK), hn::Set(di_, 1));
        putI(lK, m, k);
        const MF again = hn::And(m, hn::RebindMask(d_, hn::Lt(k, hn::Set(di_, subPathsPerRay))));
        if (!hn::AllFalse(d_, again)) startSubPath(again);
        nextSample(hn::AndNot(again, m));
    }

    // The next primary ray; a lane whose pixel has all its rays writes it and
    // takes the next pixel.
    void nextSample(MF m) {
        if (hn::AllFalse(d_, m)) return;
        const VI s = hn::Add(I(lS), hn::Set(di_, 1));
        putI(lS, m, s);
        const MF finished = hn::And(m, hn::RebindMask(d_, hn::Not(hn::Lt(s, hn::Set(di_, rays_)))));
        forLanes(finished, [&](size_t lane) {
            const Vec3 acc{state_.f[lAccX][lane], state_.f[lAccY][lane], state_.f[lAccZ][lane]};
            work_.out[state_.i[lPixel][lane]] = packPixel(acc, fd_.samplesPerFrame);
            if (work_.radiance) storeRadiance(work_, state_.i[lPixel][lane], acc);
            takePixel(lane);
        });
        startSample(hn::AndNot(phaseIs(phaseIdle), m));
    }

    const DF d_;
    const DI di_;
    const DU du_;
    const FrameData& fd_;
    const FrameWork& work_;
    int next_;
    const int end_;
    const int rays_;
    std::vector<int32_t> strata_;
    PathLanes state_;
};

}  // namespace HWY_NAMESPACE
}  // namespace tpl
HWY_AFTER_NAMESPACE();

#endif  // TPL_BATCHED_PATHS_INL_H_
