// Time to find every pixel's earlier position (motion for the temporal
// reconstruction) between two successive live ticks of the show, at the
// live picture's reduced size and at the full one, on one thread and by
// default (rows split over the cores for frames big enough to pay for it).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "anim/show_replay.h"
#include "kernel/pixel_guide.h"
#include "reconstruct/motion.h"
#include "reconstruct/reconstruction.h"
#include "render/frame_driver.h"
#include "render/sampler_table.h"
#include "scene/world.h"

namespace {

struct Pair {
    FrameData before, now;
    std::vector<float> guide;
};

// Ticks 449 and 450 at 30 frames a second (the camera turning at the
// pedestal), with now's guide layer as the kernel traces it.
Pair livePair(int width, int height) {
    ShowState show;
    startShow(show, nullptr);
    constexpr float tickMs = 33.333333f;
    Pair pair;
    replayShow(show, 0, 450, tickMs);
    pair.before = show.world.frame;
    replayShow(show, 450, 451, tickMs);
    pair.now = show.world.frame;
    setFrameSize(pair.before, width, height);
    setFrameSize(pair.now, width, height);
    const int pixels = width * height;
    pair.guide.resize(static_cast<size_t>(pixels) * guideFloats);
    for (int p = 0; p < pixels; ++p) {
        const PixelGuide g = pixelGuide(pair.now, p);
        float* out = &pair.guide[static_cast<size_t>(p) * guideFloats];
        out[guideHitDepth] = g.hitDepth;
        out[guideObject] = static_cast<float>(g.objectId);
    }
    return pair;
}

void previous(benchmark::State& state, int width, int height, int threads) {
    const Pair pair = livePair(width, height);
    std::vector<PixelPos> out(static_cast<size_t>(width) * height);
    for (auto _ : state) {
        if (threads > 0)
            previousPositions(pair.now, pair.before, pair.guide.data(), out.data(), threads);
        else
            previousPositions(pair.now, pair.before, pair.guide.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}

// One frame of the live look: a reduced render of the show (tick 450, its
// layers rendered by the CPU backend) reconstructed into 640 x 480, after a
// few frames of the same so that the history is there as it is in the show.
void reconstruct(benchmark::State& state, int width, int height) {
    ShowState show;
    startShow(show, nullptr);
    replayShow(show, 0, 450, 33.333333f);
    FrameData view = show.world.frame, rendered = show.world.frame;
    rendered.samplesPerFrame = 1;
    setFrameSize(rendered, width, height);
    static const std::vector<unsigned char> table = buildSamplerTable();
    FrameDriver driver;
    std::string why;
    if (!driver.setup(rendered, table.data(), static_cast<int>(table.size()), DriverOptions{BackendChoice::Cpu}, why) ||
        !driver.renderFrameWithLayers(rendered, why) || !driver.layersValid()) {
        state.SkipWithError(why.c_str());
        return;
    }
    const size_t n = static_cast<size_t>(width) * height;
    const std::vector<float> radiance(driver.radiance(), driver.radiance() + 3 * n);
    const std::vector<float> guide(driver.guide(), driver.guide() + guideFloats * n);
    Reconstruction reconstruction;
    std::vector<uint32_t> out(static_cast<size_t>(view.width) * view.height);
    for (int warm = 0; warm < 4; ++warm)
        reconstruction.addFrame(rendered, view, radiance.data(), guide.data(), out.data());
    for (auto _ : state) {
        reconstruction.addFrame(rendered, view, radiance.data(), guide.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

}  // namespace

BENCHMARK_CAPTURE(reconstruct, live_1_at_384x288_to_640x480, 384, 288)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, live_1_at_320x240_to_640x480, 320, 240)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, live_1_at_224x168_to_640x480, 224, 168)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(previous, live_320x240_one_thread, 320, 240, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(previous, live_320x240_default, 320, 240, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(previous, full_640x480_one_thread, 640, 480, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(previous, full_640x480_default, 640, 480, 0)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
