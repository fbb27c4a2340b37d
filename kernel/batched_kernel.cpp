// The batched CPU kernel. The pixels of a run are traced together: every
// pixel's path is a small state machine that advances (with the scalar
// tracer's own functions) until it needs a scene query or reaches a diffuse
// surface. Pending queries are answered a vector of rays at a time, pending
// diffuse hits are shaded a vector of paths at a time. Each pixel draws its
// random numbers in exactly the scalar order and every lane computes the
// scalar code's bits, so the frame is the scalar frame.
#include <algorithm>
#include <utility>
#include <vector>

#include "kernel/batched_diffuse.h"
#include "kernel/batched_queries.h"
#include "kernel/cpu_kernels.h"
#include "kernel/render_pixel.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernel/batched_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "kernel/batched_diffuse-inl.h"
#include "kernel/batched_queries-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tpl {
namespace HWY_NAMESPACE {

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
HWY_EXPORT(NearestBatch);
HWY_EXPORT(OcclusionBatch);
HWY_EXPORT(TargetOfBuild);
HWY_EXPORT(LaneCountOfBuild);
HWY_EXPORT(DiffuseDraws);
HWY_EXPORT(DiffuseRays);
}  // namespace tpl

namespace {

// Rays waiting for one kind of query, and the path each belongs to.
struct RayQueue {
    std::vector<int> path;
    std::vector<float> ox, oy, oz, dx, dy, dz;
    int count = 0;

    explicit RayQueue(int capacity)
        : path(capacity),
          ox(capacity + batchPadding),
          oy(capacity + batchPadding),
          oz(capacity + batchPadding),
          dx(capacity + batchPadding),
          dy(capacity + batchPadding),
          dz(capacity + batchPadding) {}

    void push(int i, Vec3 o, Vec3 d) {
        path[count] = i;
        ox[count] = o.x;
        oy[count] = o.y;
        oz[count] = o.z;
        dx[count] = d.x;
        dy[count] = d.y;
        dz[count] = d.z;
        ++count;
    }

    RayBatch batch() const { return {ox.data(), oy.data(), oz.data(), dx.data(), dy.data(), dz.data(), count}; }
};

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

// The blocks of a DiffuseBatch.
class DiffuseLanes {
public:
    explicit DiffuseLanes(int capacity) {
        const int blocks = (capacity + diffuseBlock - 1) / diffuseBlock;
        floats_.resize(static_cast<size_t>(blocks) * diffuseFields * diffuseBlock);
        words_.resize(static_cast<size_t>(blocks) * diffuseWords * diffuseBlock);
        batch_.floats = floats_.data();
        batch_.words = words_.data();
    }
    DiffuseBatch& batch() { return batch_; }

private:
    std::vector<float> floats_;
    std::vector<uint32_t> words_;
    DiffuseBatch batch_;
};

// shadeDiffuse for every lane of the batch: draws, sine and cosine, rays.
void shadeDiffuseLanes(const FrameData& fd, const DiffuseBatch& lanes) {
    HWY_DYNAMIC_DISPATCH(tpl::DiffuseDraws)(lanes);
    // The library's sine and cosine, as the scalar kernel takes them.
    for (int e = 0; e < lanes.count; ++e) {
        float* f = lanes.at(e);
        const float phi = f[fPhi * diffuseBlock], phi2 = f[fPhi2 * diffuseBlock];
        f[fCosPhi * diffuseBlock] = tracerCos(phi);
        f[fSinPhi * diffuseBlock] = tracerSin(phi);
        f[fCosPhi2 * diffuseBlock] = tracerCos(phi2);
        f[fSinPhi2 * diffuseBlock] = tracerSin(phi2);
    }
    HWY_DYNAMIC_DISPATCH(tpl::DiffuseRays)(fd, lanes);
}

// Fills lane e of the batch.
void setDiffuseLane(const DiffuseBatch& lanes, int e, Vec3 origin, Vec3 dir, float t, Vec3 normal, Vec3 throughput,
                    const PixelRng& rng, int byte0, int byte1) {
    float* f = lanes.at(e);
    const auto set = [f](DiffuseField field, float value) { f[field * diffuseBlock] = value; };
    set(fOx, origin.x), set(fOy, origin.y), set(fOz, origin.z);
    set(fDx, dir.x), set(fDy, dir.y), set(fDz, dir.z);
    set(fT, t);
    set(fNx, normal.x), set(fNy, normal.y), set(fNz, normal.z);
    set(fAngle0, static_cast<float>(byte0 & 7));
    set(fSecond0, static_cast<float>(byte0 >> 3));
    set(fAngle1, static_cast<float>(byte1 & 7));
    set(fSecond1, static_cast<float>(byte1 >> 3));
    set(fTr, throughput.x), set(fTg, throughput.y), set(fTb, throughput.z);
    uint32_t* w = lanes.wordsAt(e);
    w[wMwcHigh * diffuseBlock] = rng.mwcHigh;
    w[wMwcLow * diffuseBlock] = rng.mwcLow;
    w[wCongState * diffuseBlock] = rng.congState;
    w[wShiftState * diffuseBlock] = rng.shiftState;
}

// What shading lane e of the batch gave.
DiffuseOutcome diffuseOutcome(const DiffuseBatch& lanes, int e) {
    const float* f = lanes.at(e);
    const auto get = [f](DiffuseField field) { return f[field * diffuseBlock]; };
    const auto vec = [&](DiffuseField x, DiffuseField y, DiffuseField z) { return Vec3{get(x), get(y), get(z)}; };
    const uint32_t* w = lanes.wordsAt(e);
    DiffuseOutcome o;
    o.throughput = vec(fTr, fTg, fTb);
    o.rng = {w[wMwcHigh * diffuseBlock], w[wMwcLow * diffuseBlock], w[wCongState * diffuseBlock],
             w[wShiftState * diffuseBlock]};
    o.nextOrigin = vec(fOx, fOy, fOz);
    o.nextDir = vec(fDx, fDy, fDz);
    o.shadowOrigin = vec(fShadowOx, fShadowOy, fShadowOz);
    o.toLight = vec(fLx, fLy, fLz);
    o.cosLight = get(fCosLight);
    o.lightDistance = get(fLightDistance);
    o.light = vec(fLightR, fLightG, fLightB);
    return o;
}

void runNearest(const FrameData& fd, const RayQueue& rays, HitAnswers& answers) {
    if (rays.count > 0) HWY_DYNAMIC_DISPATCH(tpl::NearestBatch)(fd, rays.batch(), answers.batch());
}

void runOcclusion(const FrameData& fd, const RayQueue& rays, std::vector<float>& answers) {
    if (rays.count > 0) HWY_DYNAMIC_DISPATCH(tpl::OcclusionBatch)(fd, rays.batch(), answers.data());
}

// What a path waits for.
enum class Awaits : unsigned char { ChainHit, SubPathHit, Diffuse, Shadow, Nothing };

// One pixel's place in traceSample (kernel/transport.h): primary ray s, its
// specular chain, sub-path k at bounce b.
struct PixelPath {
    PixelRng rng;
    Vec3 acc;
    PixelCorner corner;
    int pixel;
    int s;
    Awaits awaits;
    // The chain.
    int budget;
    Vec3 o, d;
    Vec3 chainThroughput;
    HitRecord chainHit;
    // The sub-path.
    int k, b;
    Vec3 throughput, origin, dir;
    HitRecord hit;  // a diffuse hit waiting to be shaded
    bool lightSampled;
    // A diffuse hit's light, added when its shadow ray comes back clear.
    Vec3 pendingLight;
    float lightDistance;
};

class RunTracer {
public:
    RunTracer(const FrameWork& work, int begin, int end)
        : fd_(*work.record),
          work_(work),
          rays_(primaryRayCount(*work.record)),
          count_(end - begin),
          paths_(count_),
          nearestNow_(count_),
          nearestNext_(count_),
          shadowNow_(count_),
          shadowNext_(count_),
          hits_(count_),
          occlusion_(count_ + batchPadding),
          diffuseLanes_(count_) {
        diffuseNext_.reserve(count_);
        diffuseNow_.reserve(count_);
        for (int i = 0; i < count_; ++i) {
            PixelPath& q = paths_[i];
            q.pixel = pixelForThread(begin + i, work.pixelCount);
            q.rng = seedPixelRng(q.pixel, work.pass);
            q.acc = {0.0f, 0.0f, 0.0f};
            q.corner = pixelCorner(fd_, q.pixel);
            q.s = 0;
        }
    }

    void run() {
        for (int i = 0; i < count_; ++i) startSample(i);
        shadeDiffuseHits();
        while (nearestNext_.count > 0 || shadowNext_.count > 0) {
            std::swap(nearestNow_, nearestNext_);
            std::swap(shadowNow_, shadowNext_);
            nearestNext_.count = 0;
            shadowNext_.count = 0;
            runNearest(fd_, nearestNow_, hits_);
            for (int e = 0; e < nearestNow_.count; ++e) {
                const int i = nearestNow_.path[e];
                if (paths_[i].awaits == Awaits::ChainHit)
                    chainHit(i, hits_.record(e));
                else
                    subPathHit(i, hits_.record(e));
            }
            runOcclusion(fd_, shadowNow_, occlusion_);
            for (int e = 0; e < shadowNow_.count; ++e) shadowAnswer(shadowNow_.path[e], occlusion_[e]);
            shadeDiffuseHits();
        }
    }

private:
    void awaitNearest(int i, Awaits what, Vec3 o, Vec3 d) {
        paths_[i].awaits = what;
        nearestNext_.push(i, o, d);
    }

    // The next primary ray, or the pixel's value when all are traced.
    void startSample(int i) {
        PixelPath& q = paths_[i];
        if (q.s >= rays_) {
            q.awaits = Awaits::Nothing;
            work_.out[q.pixel] = packPixel(q.acc, fd_.samplesPerFrame);
            return;
        }
        q.o = {fd_.camPosition[0], fd_.camPosition[1], fd_.camPosition[2]};
        q.d = primaryDirection(fd_, q.corner, q.s, q.rng);
        q.budget = bounceBudget(q.s);
        q.chainThroughput = {1.0f, 1.0f, 1.0f};
        awaitNearest(i, Awaits::ChainHit, q.o, q.d);
    }

    void chainHit(int i, const HitRecord& hit) {
        PixelPath& q = paths_[i];
        q.chainHit = hit;
        if (fd_.materials[hit.material].kind != kindDiffuse && q.budget > 0 && hit.objectId != missObjectId) {
            --q.budget;
            const Vec3 p = q.o + hit.t * q.d;
            tintThroughput(fd_, q.chainThroughput, hit.material);
            const Vec3 next = fd_.materials[hit.material].kind == kindGlass
                                  ? scatterGlass(fd_, GlassVariant::Chain, q.o, q.d, hit.objectId, hit.normal,
                                                 q.chainThroughput, q.rng, 0)
                                  : reflectMirror(q.d, hit.normal, q.chainThroughput);
            q.o = p + surfaceOffset * next;
            q.d = next;
            awaitNearest(i, Awaits::ChainHit, q.o, q.d);
            return;
        }
        // A chain that spent the whole budget contributes nothing.
        if (q.budget <= 0) {
            nextSample(i);
            return;
        }
        q.k = 0;
        startSubPath(i);
    }

    void nextSample(int i) {
        ++paths_[i].s;
        startSample(i);
    }

    void startSubPath(int i) {
        PixelPath& q = paths_[i];
        if (q.k >= subPathsPerRay) {
            nextSample(i);
            return;
        }
        q.throughput = q.chainThroughput;
        q.origin = q.o;
        q.dir = q.d;
        q.lightSampled = false;
        q.b = 0;
        subPathHit(i, q.chainHit);
    }

    void endSubPath(int i) {
        ++paths_[i].k;
        startSubPath(i);
    }

    void nextBounce(int i) {
        PixelPath& q = paths_[i];
        if (q.b < q.budget)
            awaitNearest(i, Awaits::SubPathHit, q.origin, q.dir);
        else
            endSubPath(i);
    }

    // Bounce b of the sub-path meets h.
    void subPathHit(int i, const HitRecord& h) {
        PixelPath& q = paths_[i];
        if (h.t > escapeDistance) {
            addSky(q.acc, q.throughput);
            endSubPath(i);
            return;
        }
        if (h.objectId == 0) {
            // After a diffuse surface the light was already sampled directly.
            if (!q.lightSampled) addEmission(fd_, q.acc, q.throughput, h.material);
            endSubPath(i);
            return;
        }
        tintThroughput(fd_, q.throughput, h.material);
        const float kind = fd_.materials[h.material].kind;
        if (kind == kindDiffuse) {
            // Shaded with the other paths' diffuse hits (shadeDiffuseHits).
            q.hit = h;
            q.awaits = Awaits::Diffuse;
            diffuseNext_.push_back(i);
            return;
        }
        const Vec3 p = q.origin + h.t * q.dir;
        const unsigned char* bytes =
            work_.sdata + (subPathsPerRay * q.s + q.k) * samplerRowBytes + samplerChannels * q.b;
        const Vec3 next = kind == kindGlass ? scatterGlass(fd_, GlassVariant::SubPath, q.origin, q.dir, h.objectId,
                                                           h.normal, q.throughput, q.rng, bytes[2])
                                            : reflectMirror(q.dir, h.normal, q.throughput);
        q.origin = p + surfaceOffset * next;
        q.dir = next;
        ++q.b;
        nextBounce(i);
    }

    // shadeDiffuse for every path waiting at a diffuse hit, in vector lanes;
    // all four draws come before the shadow query. Paths that go on to another
    // diffuse hit without a query are shaded in the next round here.
    void shadeDiffuseHits() {
        while (!diffuseNext_.empty()) {
            std::swap(diffuseNow_, diffuseNext_);
            diffuseNext_.clear();
            DiffuseBatch& lanes = diffuseLanes_.batch();
            lanes.count = static_cast<int>(diffuseNow_.size());
            for (int e = 0; e < lanes.count; ++e) {
                const PixelPath& q = paths_[diffuseNow_[e]];
                const unsigned char* bytes =
                    work_.sdata + (subPathsPerRay * q.s + q.k) * samplerRowBytes + samplerChannels * q.b;
                setDiffuseLane(lanes, e, q.origin, q.dir, q.hit.t, q.hit.normal, q.throughput, q.rng, bytes[0],
                               bytes[1]);
            }
            shadeDiffuseLanes(fd_, lanes);
            for (int e = 0; e < lanes.count; ++e) {
                const int i = diffuseNow_[e];
                PixelPath& q = paths_[i];
                // Field by field: going through a DiffuseOutcome on the stack
                // stalls on store forwarding. A triple's fields are consecutive.
                const float* f = lanes.at(e);
                const uint32_t* w = lanes.wordsAt(e);
                const auto triple = [f](int x) {
                    return Vec3{f[x * diffuseBlock], f[(x + 1) * diffuseBlock], f[(x + 2) * diffuseBlock]};
                };
                q.throughput = triple(fTr);
                q.rng.mwcHigh = w[wMwcHigh * diffuseBlock];
                q.rng.mwcLow = w[wMwcLow * diffuseBlock];
                q.rng.congState = w[wCongState * diffuseBlock];
                q.rng.shiftState = w[wShiftState * diffuseBlock];
                q.lightSampled = true;
                q.origin = triple(fOx);
                q.dir = triple(fDx);
                ++q.b;
                if (f[fCosLight * diffuseBlock] > 0.0f) {
                    q.lightDistance = f[fLightDistance * diffuseBlock];
                    q.pendingLight = triple(fLightR);
                    q.awaits = Awaits::Shadow;
                    shadowNext_.push(
                        i, triple(fShadowOx), triple(fLx));
                } else {
                    nextBounce(i);
                }
            }
        }
    }

    void shadowAnswer(int i, float occlusion) {
        PixelPath& q = paths_[i];
        if (occlusion > q.lightDistance) q.acc = q.acc + q.pendingLight;
        nextBounce(i);
    }

    const FrameData& fd_;
    const FrameWork& work_;
    const int rays_;
    const int count_;
    std::vector<PixelPath> paths_;
    RayQueue nearestNow_, nearestNext_, shadowNow_, shadowNext_;
    HitAnswers hits_;
    std::vector<float> occlusion_;
    DiffuseLanes diffuseLanes_;
    std::vector<int> diffuseNext_, diffuseNow_;
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

// Pixels whose paths travel together: enough to fill the lanes, few enough
// that their states stay in the nearer caches.
constexpr int tracedTogether = 256;

bool batchedKernelAvailable() {
    return true;
}

void shadeRunBatched(const FrameWork& work, int begin, int end) {
    for (int first = begin; first < end; first += tracedTogether)
        RunTracer(work, first, std::min(first + tracedTogether, end)).run();
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
    DiffuseLanes storage(n);
    DiffuseBatch& lanes = storage.batch();
    lanes.count = n;
    for (int e = 0; e < n; ++e) {
        const DiffuseCase& c = cases[e];
        setDiffuseLane(lanes, e, c.origin, c.dir, c.t, c.normal, c.throughput, c.rng, c.byte0, c.byte1);
    }
    shadeDiffuseLanes(fd, lanes);
    for (int e = 0; e < n; ++e) out[e] = diffuseOutcome(lanes, e);
}

std::vector<int64_t> batchedTargetsForTest() {
    return hwy::SupportedAndGeneratedTargets();
}

void forceBatchedTargetForTest(int64_t target) {
    hwy::SetSupportedTargetsForTest(target);
}
#endif  // HWY_ONCE
