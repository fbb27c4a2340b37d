#include "outputs/capture_check.h"

#include <cstdio>
#include <string>

#include "base/exit_codes.h"
#include "outputs/capture_plan.h"
#include "outputs/video_output.h"

int runCaptureCheck(const CaptureSettings& capture, bool overwrite, const DemoOptions& demoOptions) {
    std::string error, warning;
    CapturePlan plan;
    bool ok = planCapture(capture.range, plan, error);
    if (ok && !capture.video.path.empty()) {
        VideoSettings video;
        ok = planVideo(capture.video, overwrite, demoOptions.music, false, demoOptions.dataDir, plan,
                       demoOptions.pictureWidth, demoOptions.pictureHeight, video, warning, error);
        if (!warning.empty()) std::fprintf(stderr, "capture: %s\n", warning.c_str());
    }
    if (!ok) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        return exitError;
    }
    std::printf("capture: %d %s (ticks %d to %d) can be captured%s; nothing was rendered (--dry-run)\n",
                plan.frameCount(), plan.frameCount() == 1 ? "frame" : "frames", plan.firstTick, plan.lastTick,
                capture.video.path.empty() ? "" : (" into " + capture.video.path).c_str());
    return exitDone;
}
