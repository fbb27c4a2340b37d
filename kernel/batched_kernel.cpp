// The batched CPU kernel: a run's pixels are traced a vector of lanes at a
// time (kernel/batched_paths-inl.h), compiled for every vector target the
// vector library knows and dispatched at start-up to the best one this CPU has.
#include <algorithm>
#include <vector>

#include "kernel/batched_diffuse.h"
#include "kernel/batched_lanes.h"
#include "kernel/batched_queries.h"
#include "kernel/cpu_kernels.h"
#include "kernel/render_pixel.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernel/batched_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "kernel/batched_paths-inl.h"
#include "kernel/batched_queries-inl.h"
#include "kernel/batched_shading-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tpl {
namespace HWY_NAMESPACE {

void ShadeRun(const FrameWork& work, int begin, int end) {
    PathTracer(work, begin, end).run();
}

void NearestBatch(const FrameData& fd, const RayBatch& rays, const HitBatch& out) {
    const DF d;
    const size_t lanes = hn::Lanes(d);
    for (size_t i = 0; i < static_cast<size_t>(rays.count); i += lanes) {
        const LaneRays r = LoadRays(d, rays, i);
        LaneSearch s;
        NearestLanes(d, fd, r, s);
        hn::StoreU(s.t, d, out.t + i);
        hn::StoreU(s.object, d, out.objectId + i);
        hn::StoreU(s.material, d, out.material + i);
        hn::StoreU(s.nx, d, out.nx + i);
        hn::StoreU(s.ny, d, out.ny + i);
        hn::StoreU(s.nz, d, out.nz + i);
    }
}

void OcclusionBatch(const FrameData& fd, const RayBatch& rays, float* out) {
    const DF d;
    const size_t lanes = hn::Lanes(d);
    for (size_t i = 0; i < static_cast<size_t>(rays.count); i += lanes)
        hn::StoreU(OcclusionLanes(d, fd, LoadRays(d, rays, i)), d, out + i);
}

// The diffuse cases a vector at a time, through the tracer's own steps.
void DiffuseCases(const FrameData& fd, const DiffuseCase* cases, int n, DiffuseOutcome* out) {
    const DF d;
    const DI di;
    const size_t lanes = hn::Lanes(d);
    alignas(64) float f[16][maxPathLanes];
    alignas(64) int32_t bytes[2][maxPathLanes];
    alignas(64) uint32_t words[4][maxPathLanes];
    for (int first = 0; first < n; first += static_cast<int>(lanes)) {
        const int count = std::min(static_cast<int>(lanes), n - first);
        for (int e = 0; e < count; ++e) {
            const DiffuseCase& c = cases[first + e];
            const float in[16] = {c.origin.x,     c.origin.y,     c.origin.z,     c.dir.x,
                                  c.dir.y,        c.dir.z,        c.t,            c.normal.x,
                                  c.normal.y,     c.normal.z,     c.throughput.x, c.throughput.y,
                                  c.throughput.z, 0.0f,           0.0f,           0.0f};
            for (int j = 0; j < 16; ++j) f[j][e] = in[j];
            bytes[0][e] = c.byte0;
            bytes[1][e] = c.byte1;
            const uint32_t w[4] = {c.rng.mwcHigh, c.rng.mwcLow, c.rng.congState, c.rng.shiftState};
            for (int j = 0; j < 4; ++j) words[j][e] = w[j];
        }
        const MF m = hn::FirstN(d, static_cast<size_t>(count));
        const auto load3 = [&](int j) { return V3{hn::Load(d, f[j]), hn::Load(d, f[j + 1]), hn::Load(d, f[j + 2])}; };
        const DU du;
        LaneRng g{hn::Load(du, words[0]), hn::Load(du, words[1]), hn::Load(du, words[2]), hn::Load(du, words[3])};
        V3 throughput = load3(10);
        const V3 n3 = load3(7);
        const V3 p = Add3(load3(0), Scale3(load3(3), hn::Load(d, f[6])));
        const DiffuseDraws a =
            DrawDiffuse(d, m, hn::Load(di, bytes[0]), hn::Load(di, bytes[1]), throughput, g);
        alignas(64) float angle[2][maxPathLanes], cosine[2][maxPathLanes], sine[2][maxPathLanes];
        hn::Store(a.phi, d, angle[0]);
        hn::Store(a.phi2, d, angle[1]);
        for (int e = 0; e < count; ++e)
            for (int j = 0; j < 2; ++j) laneCosSin(angle[j][e], cosine[j][e], sine[j][e]);
        const DiffuseRays r = DiffuseResponse(d, fd, p, n3, throughput, a, hn::Load(d, cosine[0]),
                                              hn::Load(d, sine[0]), hn::Load(d, cosine[1]), hn::Load(d, sine[1]));
        const V3 nextOrigin = Add3(p, Scale3(r.next, hn::Set(d, surfaceOffset)));
        const V3 outs[] = {throughput, nextOrigin, r.next, r.shadowOrigin, r.toLight, r.light};
        alignas(64) float o[20][maxPathLanes];
        for (int j = 0; j < 6; ++j) {
            hn::Store(outs[j].x, d, o[3 * j]);
            hn::Store(outs[j].y, d, o[3 * j + 1]);
            hn::Store(outs[j].z, d, o[3 * j + 2]);
        }
        hn::Store(r.cosLight, d, o[18]);
        hn::Store(r.lightDistance, d, o[19]);
        hn::Store(g.mwcHigh, du, words[0]);
        hn::Store(g.mwcLow, du, words[1]);
        hn::Store(g.congState, du, words[2]);
        hn::Store(g.shiftState, du, words[3]);
        for (int e = 0; e < count; ++e) {
            DiffuseOutcome& x = out[first + e];
            const auto vec = [&](int j) { return Vec3{o[j][e], o[j + 1][e], o[j + 2][e]}; };
            x.throughput = vec(0);
            x.nextOrigin = vec(3);
            x.nextDir = vec(6);
            x.shadowOrigin = vec(9);
            x.toLight = vec(12);
            x.light = vec(15);
            x.cosLight = o[18][e];
            x.lightDistance = o[19][e];
            x.rng = {words[0][e], words[1][e], words[2][e], words[3][e]};
        }
    }
}

void SinCosCases(const float* x, int n, float* cosine, float* sine, unsigned char* certain) {
    const DF d;
    const size_t lanes = hn::Lanes(d);
    alignas(64) float in[maxPathLanes] = {}, c[maxPathLanes], s[maxPathLanes], sure[maxPathLanes];
    for (int first = 0; first < n; first += static_cast<int>(lanes)) {
        const int count = std::min(static_cast<int>(lanes), n - first);
        std::copy(x + first, x + first + count, in);
        SinCosLanes r = TrySinCos(d, hn::Load(d, in));
        hn::Store(r.cosine, d, c);
        hn::Store(r.sine, d, s);
        hn::Store(hn::IfThenElseZero(r.certain, hn::Set(d, 1.0f)), d, sure);
        for (int e = 0; e < count; ++e) {
            certain[first + e] = sure[e] != 0.0f;
            if (certain[first + e]) {
                cosine[first + e] = c[e];
                sine[first + e] = s[e];
            } else {
                laneCosSin(in[e], cosine[first + e], sine[first + e]);
            }
        }
    }
}

int64_t TargetOfBuild() {
    return HWY_TARGET;
}

int LaneCountOfBuild() {
    return static_cast<int>(hn::Lanes(DF()));
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tpl {
HWY_EXPORT(ShadeRun);
HWY_EXPORT(NearestBatch);
HWY_EXPORT(OcclusionBatch);
HWY_EXPORT(DiffuseCases);
HWY_EXPORT(SinCosCases);
HWY_EXPORT(TargetOfBuild);
HWY_EXPORT(LaneCountOfBuild);
}  // namespace tpl

void laneCosSin(float x, float& cosine, float& sine) {
    cosine = tracerCos(x);
    sine = tracerSin(x);
}

namespace {

struct HitAnswers {
    std::vector<float> t, objectId, material, nx, ny, nz;

    explicit HitAnswers(int capacity)
        : t(capacity + batchPadding),
          objectId(capacity + batchPadding),
          material(capacity + batchPadding),
          nx(capacity + batchPadding),
          ny(capacity + batchPadding),
          nz(capacity + batchPadding) {}

    HitBatch batch() { return {t.data(), objectId.data(), material.data(), nx.data(), ny.data(), nz.data()}; }

    HitRecord record(int e) const {
        return {t[e], static_cast<int>(objectId[e]), static_cast<int>(material[e]), {nx[e], ny[e], nz[e]}};
    }
};

// Copies n rays into padded arrays the batched queries may overrun.
struct PaddedRays {
    std::vector<float> ox, oy, oz, dx, dy, dz;
    PaddedRays(const float* x, const float* y, const float* z, const float* u, const float* v, const float* w, int n)
        : ox(x, x + n), oy(y, y + n), oz(z, z + n), dx(u, u + n), dy(v, v + n), dz(w, w + n) {
        for (std::vector<float>* a : {&ox, &oy, &oz, &dx, &dy, &dz}) a->resize(n + batchPadding, 0.0f);
    }
    RayBatch batch(int n) const { return {ox.data(), oy.data(), oz.data(), dx.data(), dy.data(), dz.data(), n}; }
};

}  // namespace

bool batchedKernelAvailable() {
    return true;
}

void shadeRunBatched(const FrameWork& work, int begin, int end) {
    HWY_DYNAMIC_DISPATCH(tpl::ShadeRun)(work, begin, end);
}

const char* batchedTargetName() {
    return hwy::TargetName(HWY_DYNAMIC_DISPATCH(tpl::TargetOfBuild)());
}

int batchedLaneCount() {
    return HWY_DYNAMIC_DISPATCH(tpl::LaneCountOfBuild)();
}

void batchedNearestForTest(const FrameData& fd, const float* ox, const float* oy, const float* oz, const float* dx,
                           const float* dy, const float* dz, int n, HitRecord* out) {
    const PaddedRays rays(ox, oy, oz, dx, dy, dz, n);
    HitAnswers answers(n);
    HWY_DYNAMIC_DISPATCH(tpl::NearestBatch)(fd, rays.batch(n), answers.batch());
    for (int e = 0; e < n; ++e) out[e] = answers.record(e);
}

void batchedOcclusionForTest(const FrameData& fd, const float* ox, const float* oy, const float* oz, const float* dx,
                             const float* dy, const float* dz, int n, float* out) {
    const PaddedRays rays(ox, oy, oz, dx, dy, dz, n);
    std::vector<float> answers(n + batchPadding);
    HWY_DYNAMIC_DISPATCH(tpl::OcclusionBatch)(fd, rays.batch(n), answers.data());
    std::copy(answers.begin(), answers.begin() + n, out);
}

void batchedDiffuseForTest(const FrameData& fd, const DiffuseCase* cases, int n, DiffuseOutcome* out) {
    HWY_DYNAMIC_DISPATCH(tpl::DiffuseCases)(fd, cases, n, out);
}

void batchedSinCosForTest(const float* x, int n, float* cosine, float* sine, unsigned char* certain) {
    HWY_DYNAMIC_DISPATCH(tpl::SinCosCases)(x, n, cosine, sine, certain);
}

std::vector<int64_t> batchedTargetsForTest() {
    return hwy::SupportedAndGeneratedTargets();
}

void forceBatchedTargetForTest(int64_t target) {
    hwy::SetSupportedTargetsForTest(target);
}
#endif  // HWY_ONCE
