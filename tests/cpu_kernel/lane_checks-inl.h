// The per-target entries of lane_checks.h: inputs are loaded into lanes (the
// tail of a ragged count repeats the last input), run through the tracer's
// own templates and stored lane by lane. Included once by each per-target source.
#include <hwy/highway.h>

#include "cpu_kernel/lanes.h"
#include "kernel/intersect.h"
#include "kernel/materials.h"
#include "lane_checks.h"

namespace tpl {
namespace HWY_NAMESPACE {

// Element e of the group starting at first, the last element past the end.
inline int clampTo(int first, int e, int n) {
    return first + e < n ? first + e : n - 1;
}

template <class Get>
LaneF loadF(int first, int n, Get get) {
    alignas(64) float v[maxLanes];
    for (size_t e = 0; e < hn::Lanes(DF()); ++e) v[e] = get(clampTo(first, static_cast<int>(e), n));
    return LaneF(hn::Load(DF(), v));
}

template <class Get>
LaneI loadI(int first, int n, Get get) {
    alignas(64) int32_t v[maxLanes];
    for (size_t e = 0; e < hn::Lanes(DF()); ++e) v[e] = get(clampTo(first, static_cast<int>(e), n));
    return LaneI(hn::Load(DI(), v));
}

template <class Get>
LaneU loadU(int first, int n, Get get) {
    alignas(64) uint32_t v[maxLanes];
    for (size_t e = 0; e < hn::Lanes(DF()); ++e) v[e] = get(clampTo(first, static_cast<int>(e), n));
    return LaneU(hn::Load(DU(), v));
}

struct Lanes {
    float f[maxLanes];
    int32_t i[maxLanes];
    uint32_t u[maxLanes];
};

inline void storeF(LaneF v, float* out) {
    hn::StoreU(v.v, DF(), out);
}
inline void storeI(LaneI v, int32_t* out) {
    hn::StoreU(v.v, DI(), out);
}
inline void storeU(LaneU v, uint32_t* out) {
    hn::StoreU(v.v, DU(), out);
}
inline void storeV(Vec3T<LaneF> v, float out[3][maxLanes]) {
    storeF(v.x, out[0]), storeF(v.y, out[1]), storeF(v.z, out[2]);
}
inline bool on(LaneM m, size_t e) {
    alignas(64) float v[maxLanes];
    hn::Store(hn::VecFromMask(DF(), m.m), DF(), v);
    return v[e] != 0.0f;
}

void Queries(const FrameData& fd, const float* const rays[6], int n, HitRecord* hits, float* occlusion) {
    const int lanes = static_cast<int>(hn::Lanes(DF()));
    for (int first = 0; first < n; first += lanes) {
        const auto axis = [&](int k) { return loadF(first, n, [&](int e) { return rays[k][e]; }); };
        const RayT<LaneF> r = makeRay(Vec3T<LaneF>{axis(0), axis(1), axis(2)}, Vec3T<LaneF>{axis(3), axis(4), axis(5)});
        const HitT<LaneF> h = traceNearest(fd, r);
        alignas(64) float t[maxLanes], normal[3][maxLanes], occ[maxLanes];
        alignas(64) int32_t object[maxLanes], material[maxLanes];
        storeF(h.t, t), storeI(h.objectId, object), storeI(h.material, material), storeV(h.normal, normal);
        storeF(occlusionDistance(fd, r), occ);
        for (int e = 0; e < lanes && first + e < n; ++e) {
            hits[first + e] = {t[e], object[e], material[e], {normal[0][e], normal[1][e], normal[2][e]}};
            occlusion[first + e] = occ[e];
        }
    }
}

void Diffuse(const FrameData& fd, const DiffuseCase* cases, int n, DiffuseOutcome* out) {
    const int lanes = static_cast<int>(hn::Lanes(DF()));
    for (int first = 0; first < n; first += lanes) {
        const auto vec = [&](Vec3 DiffuseCase::*field) {
            return Vec3T<LaneF>{loadF(first, n, [&](int e) { return (cases[e].*field).x; }),
                                loadF(first, n, [&](int e) { return (cases[e].*field).y; }),
                                loadF(first, n, [&](int e) { return (cases[e].*field).z; })};
        };
        const auto word = [&](uint32_t PixelRng::*w) { return loadU(first, n, [&](int e) { return cases[e].rng.*w; }); };
        RngState<LaneU> g{word(&PixelRng::mwcHigh), word(&PixelRng::mwcLow), word(&PixelRng::congState),
                          word(&PixelRng::shiftState)};
        const LaneI byte0 = loadI(first, n, [&](int e) { return cases[e].byte0; });
        const LaneI byte1 = loadI(first, n, [&](int e) { return cases[e].byte1; });
        const DiffuseResponse<LaneF> r =
            shadeDiffuse(fd, vec(&DiffuseCase::p), vec(&DiffuseCase::normal), vec(&DiffuseCase::throughput), g, byte0,
                         byte1, LaneM(true));
        alignas(64) float v[11][3][maxLanes], distance[maxLanes];
        alignas(64) uint32_t words[4][maxLanes];
        storeV(r.throughput, v[0]), storeV(r.shadow.o, v[1]), storeV(r.shadow.d, v[2]), storeV(r.shadow.invD, v[3]);
        storeV(r.light, v[4]), storeV(r.next, v[5]), storeF(r.lightDistance, distance);
        storeU(g.mwcHigh, words[0]), storeU(g.mwcLow, words[1]), storeU(g.congState, words[2]), storeU(g.shiftState, words[3]);
        for (int e = 0; e < lanes && first + e < n; ++e) {
            const auto at = [&](int k) { return Vec3{v[k][0][e], v[k][1][e], v[k][2][e]}; };
            DiffuseOutcome& o = out[first + e];
            o.response = {at(0), on(r.lit, static_cast<size_t>(e)), {at(1), at(2), at(3)}, distance[e], at(4), at(5)};
            o.rng = {words[0][e], words[1][e], words[2][e], words[3][e]};
        }
    }
}

void CosSin(const float* x, int n, float* cosine, float* sine) {
    const int lanes = static_cast<int>(hn::Lanes(DF()));
    for (int first = 0; first < n; first += lanes) {
        LaneF c, s;
        tracerCosSin(loadF(first, n, [&](int e) { return x[e]; }), c, s, LaneM(true));
        alignas(64) float cs[maxLanes], ss[maxLanes];
        storeF(c, cs), storeF(s, ss);
        for (int e = 0; e < lanes && first + e < n; ++e) cosine[first + e] = cs[e], sine[first + e] = ss[e];
    }
}

inline LaneChecks theseChecks() {
    return {HWY_TARGET, &Queries, &Diffuse, &CosSin};
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl
