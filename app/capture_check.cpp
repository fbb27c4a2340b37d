#include "app/capture_check.h"

#include <cstdio>
#include <string>

#include "app/capture_plan.h"
#include "app/exit_codes.h"
#include "app/video_output.h"

int runCaptureCheck(const Options& options, const GameOptions& gameOptions) {
    std::string error, warning;
    CapturePlan plan;
    bool ok = planCapture(options.fps, options.fromSeconds, options.toSeconds, showLengthSeconds, plan, error);
    if (ok && !options.videoPath.empty()) {
        VideoSettings video;
        ok = planVideo(options, gameOptions.dataDir, plan, gameOptions.pictureWidth, gameOptions.pictureHeight, video,
                       warning, error);
        if (!warning.empty()) std::fprintf(stderr, "capture: %s\n", warning.c_str());
    }
    if (!ok) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        return exitError;
    }
    std::printf("capture: %d %s (ticks %d to %d) can be captured%s; nothing was rendered (--dry-run)\n",
                plan.frameCount(), plan.frameCount() == 1 ? "frame" : "frames", plan.firstTick, plan.lastTick,
                options.videoPath.empty() ? "" : (" into " + options.videoPath).c_str());
    return exitDone;
}
