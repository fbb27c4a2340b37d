// Entry: the live show by default, or a headless still, capture or benchmark.
#include <cstdio>
#include <string>

#include "app/assemble.h"
#include "app/benchmark_mode.h"
#include "app/capture.h"
#include "app/capture_check.h"
#include "app/capture_parts.h"
#include "app/exit_codes.h"
#include "app/console.h"
#include "app/data_dir.h"
#include "app/options.h"
#include "app/show_loop.h"
#include "app/still.h"
#include "demo/game.h"

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
    GameOptions game;
    std::string dataNote;
    game.dataDir = findDataDir(options.dataDir, dataNote);
    if (job && options.mode != RunMode::Benchmark && !dataNote.empty())
        std::fprintf(stderr, "data: %s\n", dataNote.c_str());
    game.overlays = options.overlays;
    game.music = !options.mute;
    game.musicStartSeconds = static_cast<float>(options.startSeconds);
    game.driver = options.driver;
    game.pictureWidth = options.outputWidth;
    game.pictureHeight = options.outputHeight;
    game.keepAspect = options.keepAspect;
    game.passes = options.passes;

    switch (options.mode) {
        case RunMode::Help:
            std::fputs(usageText(argv[0]).c_str(), stdout);
            return exitDone;
        case RunMode::Version:
            std::printf("template %s (%d samples per frame)\n", TEMPLATE_VERSION, TPL_SAMPLES_PER_FRAME);
            return exitDone;
        case RunMode::Still:
            game.music = false;
            return runStill(options, game);
        case RunMode::Capture:
            game.music = false;  // the video muxes the track itself
            if (options.dryRun) return runCaptureCheck(options, game);
            return runCapture(options, game);
        case RunMode::Assemble:
            return runAssemble(options, game.dataDir);
        case RunMode::ListParts:
            return runListParts(options);
        case RunMode::Benchmark:
            return runBenchmark(options);
        case RunMode::Show:
            break;
    }
    return runShow(options, game);
}
