// Seconds per frame of the CPU backend for three moments of the show, on one
// thread and on all cores.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "anim/show_state.h"
#include "kernel/build_setting.h"
#include "scene/frame_driver.h"
#include "scene/sampler_table.h"

namespace {

// The scene record as the show leaves it at a moment, stepping in 10 ms ticks.
// A negative moment gives the set-up scene (preset 1 from the start camera).
FrameData recordAt(double seconds) {
    ShowState show;
    startShow(show, nullptr);
    if (seconds < 0.0) {
        updateCameraBasis(show.camera, show.world.frame, samplesPerFrame);
        return show.world.frame;
    }
    const int ticks = static_cast<int>(seconds * 100.0 + 0.5);
    for (int tick = 0; tick <= ticks; ++tick) advanceShow(show, tick == 0 ? 0.0f : 10.0f);
    return show.world.frame;
}

// TEMPLATE_BENCH_BACKEND=cuda times the GPU instead (the thread count is then ignored).
BackendChoice benchBackend() {
    const char* b = std::getenv("TEMPLATE_BENCH_BACKEND");
    return b && std::string(b) == "cuda" ? BackendChoice::Cuda : BackendChoice::Cpu;
}

void renderFrames(benchmark::State& state, double seconds) {
    const int threads = static_cast<int>(state.range(0));
    const FrameData record = recordAt(seconds);
    const std::vector<unsigned char> table = buildSamplerTable();
    FrameDriver driver;
    DriverOptions options;
    options.backend = benchBackend();
    options.threads = threads;
    std::string error;
    if (!driver.setup(record, table.data(), static_cast<int>(table.size()), options, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        driver.renderFrame(record, error);
        benchmark::DoNotOptimize(driver.frameBuffer());
    }
    state.counters["spp"] = samplesPerFrame;
    state.counters["threads"] = threads;
}

int allCores() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

BENCHMARK_CAPTURE(renderFrames, setup_scene, -1.0)
    ->Arg(1)
    ->Arg(allCores())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(renderFrames, pedestal_t30, 30.0)
    ->Arg(1)
    ->Arg(allCores())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(renderFrames, room_t97, 97.0)->Arg(1)->Arg(allCores())->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
