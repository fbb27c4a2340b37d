// Entry: the live show by default, or a headless still, capture or benchmark.
#include <cstdio>
#include <string>

#include "base/exit_codes.h"
#include "entry/console.h"
#include "entry/data_dir.h"
#include "entry/options.h"
#include "outputs/assemble.h"
#include "outputs/capture_check.h"

int main(int argc, char** argv) {
    initConsole();
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "template: %s (see --help)\n", error.c_str());
        return exitError;
    }
    // A mistyped --data is reported as such, before anything starts, not as a missing image.
    const bool job =
        options.mode != RunMode::Help && options.mode != RunMode::Version && options.mode != RunMode::ListParts;
    if (job && !checkDataDir(options.dataDir, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    DemoOptions& demo = options.demo;
    std::string dataNote;
    demo.dataDir = findDataDir(options.dataDir, dataNote);
    if (job && options.mode != RunMode::Benchmark && !dataNote.empty())
        std::fprintf(stderr, "data: %s\n", dataNote.c_str());

    switch (options.mode) {
        case RunMode::Help:
            std::fputs(usageText(argv[0]).c_str(), stdout);
            return exitDone;
        case RunMode::Version:
            std::printf("template %s (%d samples per frame)\n", TEMPLATE_VERSION, TPL_SAMPLES_PER_FRAME);
            return exitDone;
        case RunMode::Still:
            return runStill(options.still, options.output, demo);
        case RunMode::Capture:
            if (options.capture.dryRun) return runCaptureCheck(options.capture, options.output.overwrite, demo);
            return runCapture(options.capture, options.output, demo);
        case RunMode::Assemble:
            return runAssemble(options.capture, options.output.overwrite, demo);
        case RunMode::ListParts:
            return runListParts(options.capture.range, options.parts);
        case RunMode::Benchmark:
            return runBenchmark(options.benchmark, demo.driver);
        case RunMode::Show:
            break;
    }
    return runShow(options.live, demo);
}
