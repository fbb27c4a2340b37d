// The live picture's reconstruction: a whole frame of it at the live show's
// rungs, and on its own the part that finds every pixel's earlier position
// between two successive live ticks, at a reduced size and at the full one,
// on one thread and by default (rows split over the cores for frames big
// enough to pay for it).
#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

#include "anim/show_replay.h"
#include "kernel/pixel_guide.h"
#include "reconstruct/image_plane.h"
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

// One frame of the live look as the show makes it: reduced, jittered renders
// of successive ticks (from firstTick on: 450, the camera turning at the
// pedestal; 120, the spheres around the light at 4 s, and 2910, the closed
// room at 97 s, where light comes back from the clamp; the layers rendered
// by the CPU backend once, beforehand) reconstructed into 640 x 480. The frames are fed forth and back (0, 1, ...
// 7, 6, ... 1, 0, 1, ...), so that each lies one tick from the last, as in
// the show, and the history moves as it does there.
void reconstruct(benchmark::State& state, int width, int height, int firstTick = 450) {
    constexpr int frames = 8;
    constexpr float tickMs = 33.333333f;
    ShowState show;
    startShow(show, nullptr);
    replayShow(show, 0, firstTick, tickMs);
    static const std::vector<unsigned char> table = buildSamplerTable();
    FrameDriver driver;
    std::string why;
    struct Frame {
        FrameData view, rendered;
        std::vector<float> radiance, guide;
    };
    std::vector<Frame> sequence;
    for (int f = 0; f < frames; ++f) {
        replayShow(show, firstTick + f, firstTick + f + 1, tickMs);
        Frame frame;
        frame.view = show.world.frame;
        FrameData rendered = show.world.frame;
        rendered.samplesPerFrame = 1;
        setFrameSize(rendered, width, height);
        const PixelPos offset = jitterOffset(f);
        frame.rendered = jitteredRecord(rendered, offset.x, offset.y);
        if ((f == 0 && !driver.setup(frame.rendered, table.data(), static_cast<int>(table.size()),
                                     DriverOptions{BackendChoice::Cpu}, why)) ||
            !driver.renderFrameWithLayers(frame.rendered, why) || !driver.layersValid()) {
            state.SkipWithError(why.c_str());
            return;
        }
        const size_t n = static_cast<size_t>(width) * height;
        frame.radiance.assign(driver.radiance(), driver.radiance() + 3 * n);
        frame.guide.assign(driver.guide(), driver.guide() + guideFloats * n);
        sequence.push_back(std::move(frame));
    }
    Reconstruction reconstruction;
    std::vector<uint32_t> out(static_cast<size_t>(sequence[0].view.width) * sequence[0].view.height);
    // The layers are copied into the buffers the renderer would have just
    // written, untimed: in the show they come to the reconstruction from the
    // caches, not from memory.
    std::vector<float> radiance, guide;
    int at = 0, step = 1;
    const auto next = [&](bool timed) {
        const Frame& f = sequence[at];
        if (timed) state.PauseTiming();
        radiance = f.radiance;
        guide = f.guide;
        if (timed) state.ResumeTiming();
        reconstruction.addFrame(f.rendered, f.view, radiance.data(), guide.data(), out.data());
        if (at + step < 0 || at + step >= frames) step = -step;
        at += step;
    };
    for (int warm = 0; warm < 2 * frames; ++warm) next(false);
    for (auto _ : state) {
        next(true);
        benchmark::DoNotOptimize(out.data());
    }
}

}  // namespace

BENCHMARK_CAPTURE(reconstruct, live_1_at_544x408_to_640x480, 544, 408)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, live_1_at_448x336_to_640x480, 448, 336)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, live_1_at_384x288_to_640x480, 384, 288)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, live_1_at_320x240_to_640x480, 320, 240)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, live_1_at_224x168_to_640x480, 224, 168)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, spheres_1_at_448x336_to_640x480, 448, 336, 120)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, room_1_at_384x288_to_640x480, 384, 288, 2910)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(reconstruct, room_1_at_320x240_to_640x480, 320, 240, 2910)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(previous, live_320x240_one_thread, 320, 240, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(previous, live_320x240_default, 320, 240, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(previous, full_640x480_one_thread, 640, 480, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(previous, full_640x480_default, 640, 480, 0)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
