// Frames of the show from the simd CPU kernel against the scalar kernel,
// byte for byte, on every vector target this CPU runs and for several thread
// counts: reduced frames of four moments, and one whole frame of the closed room.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "anim/show_replay.h"
#include "cpu_kernel/cpu_kernels.h"
#include "kernel/pixel_guide.h"
#include "kernel/render_pixel.h"
#include "render/frame_driver.h"
#include "render/sampler_table.h"
#include "scene/world.h"

#if TPL_TEST_HWY
#include <hwy/targets.h>
#include "support/check.h"
#endif

namespace {

constexpr float tickMs = 10.0f;

struct Moment {
    int tick;
    FrameData record;
};

// The show's records at the given ticks (ascending), as a still of that tick sees them.
std::vector<Moment> showMoments(const std::vector<int>& ticks) {
    ShowState show;
    startShow(show, nullptr);
    std::vector<Moment> moments;
    int next = 0;
    for (int tick : ticks) {
        next = replayShow(show, next, tick + 1, tickMs);
        moments.push_back({tick, show.world.frame});
    }
    return moments;
}

// The same view through a smaller frame.
FrameData reduced(FrameData record, int width, int height) {
    setFrameSize(record, width, height);
    return record;
}

const std::vector<unsigned char>& samplerTable() {
    static const std::vector<unsigned char> table = buildSamplerTable();
    return table;
}

std::vector<uint32_t> render(const FrameData& record, int pass, int threads, CpuKernel kernel,
                             const std::vector<unsigned char>& table = samplerTable()) {
    std::unique_ptr<RenderBackend> cpu = makeCpuBackend(threads, kernel);
    std::vector<uint32_t> frame(static_cast<size_t>(record.width) * record.height, 0xFFFFFFFFu);
    std::string why;
    EXPECT_TRUE(cpu->upload(table.data(), static_cast<int>(table.size()), record.width * record.height, why)) << why;
    EXPECT_TRUE(cpu->render(record, pass, frame.data(), why)) << why;
    return frame;
}

// How many pixels differ, and the first of them.
int differingPixels(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want, std::string& first) {
    int count = 0;
    for (size_t p = 0; p < want.size(); ++p)
        if (got[p] != want[p] && count++ == 0)
            first = "pixel " + std::to_string(p) + ": " + std::to_string(got[p]) + " vs " + std::to_string(want[p]);
    return count;
}

// The simd kernel's vector targets this CPU runs (none without the vector library).
std::vector<int64_t> runnableTargets() {
    std::vector<int64_t> targets;
#if TPL_TEST_HWY
    for (int64_t t : {HWY_AVX3, HWY_AVX2, HWY_SSE4})
        if ((hwy::SupportedTargets() & t) != 0) targets.push_back(t);
#endif
    return targets;
}

// Makes the simd kernel run target t; 0 gives it back its own choice.
void forceTarget(int64_t t) {
#if TPL_TEST_HWY
    hwy::SetSupportedTargetsForTest(t);
#endif
}

}  // namespace

// Reduced frames of four moments (the spheres, the pedestal's grouped layout
// twice, the closed room), of a full frame's samples and of fewer than a
// primary ray has sub-paths (the live show's lowest settings trace one ray
// with one sub-path per sample, each pixel a block of the full frame's rays
// and sub-paths that moves on with the pass): the simd kernel's frames are
// the scalar kernel's on every target and thread count, on every pass.
TEST(BatchedFrames, EqualTheScalarKernelOnEveryTargetThreadCountAndBlock) {
    std::vector<int64_t> targets = runnableTargets();
    if (targets.empty()) targets.push_back(0);
    for (const Moment& moment : showMoments({50, 1300, 6000, 9700}))
        for (int samples : {samplesPerFrame, 1, 2, 4}) {
            // 160 x 120 plus a ragged run: 19200 pixels are 9 whole runs of 2048 and 768 more.
            FrameData record = reduced(moment.record, 160, 120);
            record.samplesPerFrame = samples;
            // Two passes in a row and one more of the cycle.
            for (int pass : {moment.tick, moment.tick + 1, samplesPerFrame - 1}) {
                if (samples == samplesPerFrame && pass != moment.tick) continue;
                const std::vector<uint32_t> want = render(record, pass, 2, CpuKernel::Scalar);
                for (int64_t target : targets) {
                    forceTarget(target);
                    for (int threads : {1, 2, 7}) {
                        SCOPED_TRACE("tick " + std::to_string(moment.tick) + ", " + std::to_string(samples) +
                                     " samples, pass " + std::to_string(pass) + ", target " + simdTargetName() + ", " +
                                     std::to_string(threads) + " threads");
                        std::string first;
                        EXPECT_EQ(differingPixels(render(record, pass, threads, CpuKernel::Simd), want, first), 0)
                            << first;
                    }
                }
                forceTarget(0);
            }
        }
}

TEST(BatchedFrames, WholeFrameOfTheClosedRoom) {
    const Moment room = showMoments({9700}).front();
    EXPECT_EQ(room.record.sceneId, roomSceneId);
    const std::vector<uint32_t> want = render(room.record, room.tick, 2, CpuKernel::Scalar);
    std::string first;
    EXPECT_EQ(differingPixels(render(room.record, room.tick, 2, CpuKernel::Simd), want, first), 0) << first;
}

TEST(BatchedFrames, LightLayerPacksToThePixelsAtLiveSettings) {
    // The live show's reduced settings: fewer samples and pixels through both
    // kernels. The light before the tone curve must pack to the frame's own
    // pixels and be the same bits from both kernels.
    static const std::vector<unsigned char> table = buildSamplerTable();
    const Moment room = showMoments({9700}).front();
    for (const auto& [samples, width, height] : {std::tuple{4, 160, 120}, std::tuple{8, 224, 168}}) {
        FrameData record = reduced(room.record, width, height);
        record.samplesPerFrame = samples;
        const size_t n = static_cast<size_t>(width) * height;
        std::vector<float> radiance[2], guide[2];
        std::vector<uint32_t> pixels[2];
        for (int k = 0; k < 2; ++k) {
            std::unique_ptr<RenderBackend> cpu = makeCpuBackend(2, k == 0 ? CpuKernel::Scalar : CpuKernel::Simd);
            ASSERT_TRUE(cpu->givesLayers());
            std::string why;
            ASSERT_TRUE(cpu->upload(table.data(), static_cast<int>(table.size()), static_cast<int>(n), why)) << why;
            radiance[k].assign(n * 3, -1.0f);
            guide[k].assign(n * guideFloats, -1.0f);
            pixels[k].assign(n, 0xFFFFFFFFu);
            FrameLayers layers;
            layers.radiance = radiance[k].data();
            layers.guide = guide[k].data();
            ASSERT_TRUE(cpu->renderLayers(record, 9700, pixels[k].data(), layers, why)) << why;
        }
        SCOPED_TRACE(std::to_string(samples) + " samples at " + std::to_string(width) + " x " + std::to_string(height));
        int unpacked = 0;
        for (size_t p = 0; p < n; ++p)
            unpacked += packLight({radiance[0][3 * p], radiance[0][3 * p + 1], radiance[0][3 * p + 2]}) != pixels[0][p];
        EXPECT_EQ(unpacked, 0);
        EXPECT_EQ(pixels[1], pixels[0]);
        EXPECT_EQ(std::memcmp(radiance[1].data(), radiance[0].data(), n * 3 * sizeof(float)), 0);
        // The room is closed to the camera: every guide ray meets a surface
        // at a finite depth (only the mirror ball shows what is behind it).
        int open = 0;
        for (size_t p = 0; p < n; ++p) open += !(guide[0][p * guideFloats + guideHitDepth] < missDistance);
        EXPECT_EQ(open, 0);
        EXPECT_EQ(std::memcmp(guide[1].data(), guide[0].data(), n * guideFloats * sizeof(float)), 0);
    }
}

// Each pixel of a 1- or 2-sample record reads the sampler rows of its own
// block at that pass and no other: changing one block's rows changes pixels
// of that block only, and many of them. The blocks are the pixel's own, not
// the frame's: a frame whose pixels all shared one block had every shadow
// cast by one stratum of the light, and its brightness flickered with the
// bounce budget of the block's ray.
TEST(ReducedRecords, EachPixelReadsItsOwnBlockOfTheTable) {
    const std::vector<unsigned char>& table = samplerTable();
    const FrameData spheres = reduced(showMoments({50}).front().record, 160, 120);
    const int n = spheres.width * spheres.height;
    for (int samples : {1, 2}) {
        FrameData record = spheres;
        record.samplesPerFrame = samples;
        const int pass = 5;
        const SampleBlock block = sampleBlock(record, 3);
        std::vector<unsigned char> changed = table;
        for (int s = block.firstRay; s < block.firstRay + primaryRayCount(record); ++s)
            for (int k = block.firstSubPath; k < block.firstSubPath + subPathCount(record); ++k)
                for (int i = 0; i < samplerRowBytes; ++i) {
                    unsigned char& stratum = changed[(s * subPathsPerRay + k) * samplerRowBytes + i];
                    stratum = static_cast<unsigned char>((stratum + samplesPerFrame / 2) % samplesPerFrame);
                }
        int inBlock = 0;
        for (int p = 0; p < n; ++p) {
            const SampleBlock own = pixelSampleBlock(record, pass, p);
            inBlock += own.firstRay == block.firstRay && own.firstSubPath == block.firstSubPath;
        }
        // About one pixel in 32 (1 sample) or 16 (2 samples) has any block.
        const int blocks = samplesPerFrame / samples;
        EXPECT_GT(inBlock, n / blocks / 2);
        EXPECT_LT(inBlock, 2 * n / blocks);
        for (CpuKernel kernel : {CpuKernel::Scalar, CpuKernel::Simd}) {
            SCOPED_TRACE(std::to_string(samples) + " samples, kernel " + std::to_string(static_cast<int>(kernel)));
            const std::vector<uint32_t> before = render(record, pass, 2, kernel), after = render(record, pass, 2, kernel, changed);
            int differing = 0, outside = 0;
            for (int p = 0; p < n; ++p) {
                if (before[p] == after[p]) continue;
                ++differing;
                const SampleBlock own = pixelSampleBlock(record, pass, p);
                outside += own.firstRay != block.firstRay || own.firstSubPath != block.firstSubPath;
            }
            EXPECT_EQ(outside, 0);
            EXPECT_GT(differing, inBlock / 2);
        }
    }
}

// Frames of a reduced record accumulated over as many passes as it has
// blocks trace every ray and sub-path of the full frame once, so their mean
// light is the full frame's, whatever the count. Measured over the pixels that
// do not see the light itself. With every pass tracing the first ray alone the
// spheres' 1-sample mean was 1.36 times the full frame's (the first ray has
// the shortest paths and covers one column of the pixel); a light scaled by
// the wrong count is off by a factor of 2 or 4.
TEST(ReducedRecords, TheirPassesTogetherHaveTheFullFramesMean) {
    const std::vector<unsigned char>& table = samplerTable();
    const int n = 160 * 120;
    std::unique_ptr<RenderBackend> cpu = makeCpuBackend(2, CpuKernel::Simd);
    std::string why;
    ASSERT_TRUE(cpu->upload(table.data(), static_cast<int>(table.size()), n, why)) << why;
    for (const Moment& moment : showMoments({50, 1300, 9700})) {
        auto meanLight = [&](int samples, int passes) {
            FrameData record = reduced(moment.record, 160, 120);
            record.samplesPerFrame = samples;
            std::vector<float> radiance(3 * n), guide(guideFloats * n);
            std::vector<uint32_t> pixels(n);
            FrameLayers layers;
            layers.radiance = radiance.data();
            layers.guide = guide.data();
            double sum = 0.0;
            size_t count = 0;
            for (int pass = 0; pass < passes; ++pass) {
                EXPECT_TRUE(cpu->renderLayers(record, moment.tick + pass, pixels.data(), layers, why)) << why;
                for (int p = 0; p < n; ++p) {
                    if (guide[p * guideFloats + guideObject] == 0.0f) continue;
                    sum += radiance[3 * p] + radiance[3 * p + 1] + radiance[3 * p + 2];
                    ++count;
                }
            }
            return sum / static_cast<double>(count);
        };
        const double full = meanLight(samplesPerFrame, 1);
        for (int samples : {1, 2, 4}) {
            const double mean = meanLight(samples, samplesPerFrame / samples);
            // The closed room's paths bounce fully: its rare bright paths make
            // the mean of 32 samples a pixel noisier.
            EXPECT_NEAR(mean / full, 1.0, moment.tick == 9700 ? 0.08 : 0.05)
                << "tick " << moment.tick << ", " << samples << " samples: " << mean << " against " << full;
        }
    }
}
