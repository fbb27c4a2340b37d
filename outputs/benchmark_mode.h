#pragma once
#include <vector>

#include "render/frame_driver.h"

struct BenchmarkSettings {
    std::vector<double> moments = {0.5, 13, 30, 60, 97};  // --moments
    int runs = 3;  // --runs: timed frames per moment, after one warm-up
};

// Times the renderer on the moments of the show, headless and without data
// files: one warm-up, then the median of `runs` frames per moment. Prints a
// table, the renderer and the geometric mean of the frame rates. Returns the
// exit code.
int runBenchmark(const BenchmarkSettings& benchmark, const DriverOptions& driver);
