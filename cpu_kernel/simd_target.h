#pragma once
// The simd kernel on one vector target: a run's pixels are traced one per
// lane of a PathState<LaneF>, every round of the tracer's one source
// (kernel/transport.h) moving all lanes at once; a lane whose pixel is done
// writes it and takes the run's next pixel. Included once by each
// per-target source, which defines its SimdTarget from thisTarget().
//
// Everything here lives in the target's namespace or is inlined, so no
// function compiled for one target can stand in for another's at link time.
#include <hwy/highway.h>

#include <cstdint>

#include "cpu_kernel/cpu_kernels.h"
#include "cpu_kernel/lanes.h"
#include "cpu_kernel/simd_targets.h"
#include "kernel/pixel_guide.h"
#include "kernel/primary_rays.h"
#include "kernel/render_pixel.h"
#include "kernel/transport.h"

namespace tpl {
namespace HWY_NAMESPACE {

// The sampler table of one frame as 32-bit words, for gathers.
constexpr int maxStrata = subPathsPerRay * (samplesPerFrame >> 2) * samplerRowBytes;

class SimdRun {
public:
    SimdRun(const FrameWork& work, int begin, int end)
        : work_(work), fd_(*work.record), next_(begin), end_(end),
          rays_{fd_, primaryRayCount(fd_)} {
        // Each pixel's block may read any row.
        for (int i = 0; i < maxStrata; ++i) strata_[i] = work.sdata[i];
    }

    void run() {
        refill(LaneM(true), false);
        while (anyOf(st_.phase != phaseIdle)) {
            advancePaths(fd_, static_cast<const int32_t*>(strata_), rays_, st_);
            const LaneM done = st_.phase == phaseDone;
            if (anyOf(done)) refill(done, true);
        }
    }

private:
    // The lanes of m write their pixel (when it was traced) and start the
    // run's next one, or go idle.
    void refill(LaneM m, bool traced) {
        const DF d;
        const size_t lanes = hn::Lanes(d);
        alignas(64) float accX[maxLanes], accY[maxLanes], accZ[maxLanes], u[maxLanes], v[maxLanes], on[maxLanes];
        alignas(64) uint32_t words[4][maxLanes];
        alignas(64) int32_t firstRay[maxLanes], firstSubPath[maxLanes];
        alignas(64) float fresh[maxLanes];
        hn::Store(st_.acc.x.v, d, accX);
        hn::Store(st_.acc.y.v, d, accY);
        hn::Store(st_.acc.z.v, d, accZ);
        hn::Store(hn::VecFromMask(d, m.m), d, on);
        for (size_t lane = 0; lane < lanes; ++lane) {
            fresh[lane] = 0.0f;
            if (on[lane] == 0.0f) continue;
            if (traced) finishPixel(work_, pixel_[lane], Vec3{accX[lane], accY[lane], accZ[lane]});
            if (next_ >= end_) continue;
            const int p = pixelForThread(next_++, work_.pixelCount);
            const PixelCorner corner = pixelCorner(fd_, p);
            const PixelRng g = seedPixelRng(p, work_.pass);
            const SampleBlock block = pixelSampleBlock(fd_, work_.pass, p);
            firstRay[lane] = block.firstRay;
            firstSubPath[lane] = block.firstSubPath;
            pixel_[lane] = p;
            u[lane] = corner.u;
            v[lane] = corner.v;
            words[0][lane] = g.mwcHigh;
            words[1][lane] = g.mwcLow;
            words[2][lane] = g.congState;
            words[3][lane] = g.shiftState;
            fresh[lane] = 1.0f;
        }
        const LaneM started(hn::Eq(hn::Load(d, fresh), hn::Set(d, 1.0f)));
        assign(m && !started, st_.phase, LaneI(phaseIdle));
        if (!anyOf(started)) return;
        const DU du;
        const RngState<LaneU> rng{LaneU(hn::Load(du, words[0])), LaneU(hn::Load(du, words[1])),
                                  LaneU(hn::Load(du, words[2])), LaneU(hn::Load(du, words[3]))};
        const DI di;
        startPixel(rays_, st_, started, LaneF(hn::Load(d, u)), LaneF(hn::Load(d, v)), rng,
                   LaneI(hn::Load(di, firstRay)), LaneI(hn::Load(di, firstSubPath)));
    }

    const FrameWork& work_;
    const FrameData& fd_;
    int next_;
    const int end_;
    const PixelRays<LaneF> rays_;
    PathState<LaneF> st_{};
    int32_t pixel_[maxLanes] = {};
    alignas(64) int32_t strata_[maxStrata];
};

HWY_NOINLINE void shadeRun(const FrameWork& work, int begin, int end) {
    SimdRun(work, begin, end).run();
}

// The guide of a run's pixels: each pixel's surface on its own (chains
// through mirror and glass part ways), then the light seen from those
// surfaces, a pixel a lane.
HWY_NOINLINE void guideRun(const FrameWork& work, float* guide, int begin, int end) {
    const DF d;
    const size_t lanes = hn::Lanes(d);
    const FrameData& fd = *work.record;
    alignas(64) float at[6][maxLanes], seen[maxLanes];
    int32_t pixel[maxLanes];
    bool lit[maxLanes];
    for (int first = begin; first < end; first += static_cast<int>(lanes)) {
        for (size_t lane = 0; lane < lanes; ++lane) {
            const int g = first + static_cast<int>(lane);
            lit[lane] = false;
            // Lanes past the run's end test the run's first surface again.
            GuideSurface s{};
            if (g < end) {
                pixel[lane] = pixelForThread(g, work.pixelCount);
                s = pixelGuideSurface(fd, pixel[lane]);
                storeGuide(s.guide, guide + static_cast<size_t>(pixel[lane]) * guideFloats);
                lit[lane] = s.lit;
            }
            const float values[6] = {s.point.x, s.point.y, s.point.z, s.normal.x, s.normal.y, s.normal.z};
            for (int k = 0; k < 6; ++k) at[k][lane] = s.lit || lane == 0 ? values[k] : at[k][0];
        }
        const auto load = [&](int k) { return LaneF(hn::Load(d, at[k])); };
        const LaneF share = lightSeenFrom(fd, Vec3T<LaneF>{load(0), load(1), load(2)}, Vec3T<LaneF>{load(3), load(4), load(5)});
        hn::Store(share.v, d, seen);
        for (size_t lane = 0; lane < lanes; ++lane)
            if (lit[lane]) guide[static_cast<size_t>(pixel[lane]) * guideFloats + guideLightSeen] = seen[lane];
    }
}

HWY_INLINE SimdTarget thisTarget() {
    return {HWY_TARGET, static_cast<int>(hn::Lanes(DF())), &shadeRun, &guideRun};
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl
