#pragma once
// --dry-run: the checks a capture makes before its first frame, without the
// capture, so that a job split over many processes (tools/farm-capture.sh)
// can be refused before any of them renders.
#include "app/options.h"
#include "demo/game.h"

// Plans the range and, with --video, checks the video as a capture would (its
// name, codec and --crf, its folder, an existing file without --overwrite,
// ffmpeg and its encoders). Renders and writes nothing; the frame folder is
// not looked at. Returns the process exit code.
int runCaptureCheck(const Options& options, const GameOptions& gameOptions);
