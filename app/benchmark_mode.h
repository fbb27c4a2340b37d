#pragma once
#include "app/options.h"

// Times the renderer on moments of the show (Options::benchmarkMoments), headless
// and without data files: one warm-up, then the median of Options::benchmarkRuns
// frames per moment. Prints a table, the renderer and the geometric mean of the
// frame rates. Returns the exit code.
int runBenchmark(const Options& options);
