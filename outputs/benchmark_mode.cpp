#include "outputs/benchmark_mode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/exit_codes.h"
#include "outputs/still.h"
#include "anim/show_replay.h"
#include "base/median.h"
#include "kernel/build_setting.h"
#include "render/sampler_table.h"

namespace {

constexpr double tickMs = 10.0;  // the still's default frame time

struct Moment {
    double seconds;
    int tick;
};

}  // namespace

int runBenchmark(const BenchmarkSettings& benchmark, const DriverOptions& driverOptions) {
    std::string error;
    std::vector<Moment> moments;
    for (double seconds : benchmark.moments) {
        int tick = 0;
        if (!stillTick(seconds, tickMs, tick, error)) {
            std::fprintf(stderr, "template: --benchmark: %s\n", error.c_str());
            return exitError;
        }
        moments.push_back({seconds, tick});
    }
    // One replay of the show serves every moment, so they go in tick order.
    std::stable_sort(moments.begin(), moments.end(), [](const Moment& a, const Moment& b) { return a.tick < b.tick; });

    // No cam.txt: every machine times the same frames.
    ShowState show;
    startShow(show, nullptr);
    const std::vector<unsigned char> table = buildSamplerTable();
    FrameDriver driver;
    if (!driver.setup(show.world.frame, table.data(), static_cast<int>(table.size()), driverOptions, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    std::printf("benchmark: %d x %d, %d samples per pixel, median of %d frame%s after a warm-up\n",
                show.world.frame.width, show.world.frame.height, samplesPerFrame, benchmark.runs,
                benchmark.runs == 1 ? "" : "s");
    std::printf("%9s %10s %10s\n", "moment", "ms/frame", "frames/s");
    std::fflush(stdout);
    double logRateSum = 0.0;
    int nextTick = 0;
    for (const Moment& moment : moments) {
        nextTick = replayShow(show, nextTick, moment.tick + 1, float(tickMs));
        std::vector<double> times;
        for (int run = 0; run <= benchmark.runs; ++run) {
            driver.setPassCounter(moment.tick);  // each frame is the still of that moment
            const auto begin = std::chrono::steady_clock::now();
            if (!driver.renderFrame(show.world.frame, error)) {
                std::fprintf(stderr, "template: %s\n", error.c_str());
                return exitError;
            }
            const auto end = std::chrono::steady_clock::now();
            if (run > 0) times.push_back(std::chrono::duration<double, std::milli>(end - begin).count());
        }
        const double ms = median(times);
        logRateSum += std::log(1000.0 / ms);
        std::printf("%7g s %10.1f %10.3f\n", moment.seconds, ms, 1000.0 / ms);
        std::fflush(stdout);
    }
    std::printf("renderer: %s\n", driver.backend()->describe().c_str());
    std::printf("score: %.4g frames per second (geometric mean over %zu moment%s)\n",
                std::exp(logRateSum / moments.size()), moments.size(), moments.size() == 1 ? "" : "s");
    return exitDone;
}
