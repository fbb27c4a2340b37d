#pragma once
// Headless capture: renders the show (or a part of it) tick by tick at a fixed
// frame time into numbered PNG files and/or a video with the music.
#include <string>

#include "outputs/capture_plan.h"
#include "base/exit_codes.h"
#include "outputs/output_choices.h"
#include "outputs/video_output.h"
#include "demo/demo.h"

// What a capture makes (frames and/or a video) of which part of the show; an
// assembly reads its frames from frameDir into the video.
struct CaptureSettings {
    std::string frameDir;  // --capture (or --assemble) DIR; empty: no frame files
    VideoRequest video;    // empty path: no video
    ShowRange range;
    bool dryRun = false;   // --dry-run: the checks before the first frame, then stop
};

// Renders the range into capture.frameDir and/or capture.video (with the
// music unless demoOptions.music is off). Returns the process exit code: 0
// when every frame was written.
int runCapture(const CaptureSettings& capture, const OutputChoices& output, const DemoOptions& demoOptions);
