#pragma once
// --dry-run: the checks a capture makes before its first frame, without the
// capture, so that a job split over many processes (tools/farm-capture.sh)
// can be refused before any of them renders.
#include "demo/demo.h"
#include "outputs/capture.h"

// Plans the range and, with a video, checks the video as a capture would (its
// name, codec and --crf, its folder, an existing file unless overwrite,
// ffmpeg and its encoders). Renders and writes nothing; the frame folder is
// not looked at. Returns the process exit code.
int runCaptureCheck(const CaptureSettings& capture, bool overwrite, const DemoOptions& demoOptions);
