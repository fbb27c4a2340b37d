// Time per frame and paths per second of the renderer at moments of the show,
// the frames a still of each moment shows (10 ms ticks, the pass at the tick):
// both CPU kernels side by side, on one thread and on every core. The 32-sample
// build times four moments, the 64-sample build (render_bench-64) second 13.
// TEMPLATE_BENCH_BACKEND=cuda times the GPU instead.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "anim/show_replay.h"
#include "kernel/build_setting.h"
#include "render/frame_driver.h"
#include "render/sampler_table.h"

namespace {

struct Moment {
    double seconds;
    int tick;
    FrameData record;
};

// One replay of the show, stepping in 10 ms ticks as a still does, keeping the
// record of each moment (given in show order).
std::vector<Moment> replay(const std::vector<double>& seconds) {
    std::vector<Moment> moments;
    ShowState show;
    startShow(show, nullptr);
    int next = 0;
    for (double s : seconds) {
        const int tick = momentTick(s, 10.0).run.tick;
        next = replayShow(show, next, tick + 1, 10.0f);
        moments.push_back({s, tick, show.world.frame});
    }
    return moments;
}

// The backend alone, without the driver: no CPU fallback, no console lines.
// threads < 0 asks for CUDA.
void renderFrames(benchmark::State& state, const Moment& moment, int threads, CpuKernel kernel) {
    if (threads >= 0 && kernel == CpuKernel::Simd && !simdKernelAvailable()) {
        state.SkipWithError("this build has no simd kernel");
        return;
    }
    static const std::vector<unsigned char> table = buildSamplerTable();
    const int pixels = moment.record.width * moment.record.height;
    std::string why;
    std::unique_ptr<RenderBackend> backend = threads < 0 ? makeCudaBackend(why) : makeCpuBackend(threads, kernel);
    if (!backend || !backend->upload(table.data(), static_cast<int>(table.size()), pixels, why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    std::vector<uint32_t> frame(pixels);
    for (auto _ : state) {
        if (!backend->render(moment.record, moment.tick, frame.data(), why)) {
            state.SkipWithError(why.c_str());
            return;
        }
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetLabel(backend->describe());
    // A path: one sample of one pixel, every bounce included.
    state.counters["paths"] =
        benchmark::Counter(double(pixels) * samplesPerFrame * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
    const char* choice = std::getenv("TEMPLATE_BENCH_BACKEND");
    const bool cuda = choice && std::string(choice) == "cuda";
    static const std::vector<Moment> moments =
        replay(samplesPerFrame == 64 ? std::vector<double>{13} : std::vector<double>{0.5, 13, 60, 97});
    const int allCores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<int> threadCounts = {1};
    if (allCores > 1) threadCounts.push_back(allCores);
    for (const Moment& moment : moments) {
        char name[64];
        std::snprintf(name, sizeof name, "frame/%gs", moment.seconds);
        struct Run {
            std::string suffix;
            int threads;
            CpuKernel kernel;
        };
        std::vector<Run> runs;
        if (cuda) runs.push_back({"/cuda", -1, CpuKernel::Scalar});
        for (int threads : cuda ? std::vector<int>{} : threadCounts)
            for (CpuKernel kernel : {CpuKernel::Scalar, CpuKernel::Simd})
                runs.push_back({std::string(kernel == CpuKernel::Scalar ? "/scalar" : "/simd") +
                                    "/threads:" + std::to_string(threads), threads, kernel});
        for (const Run& run : runs)
            benchmark::RegisterBenchmark((name + run.suffix).c_str(), renderFrames, moment, run.threads, run.kernel)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
