#pragma once
// Joins frames captured earlier (in one run or in parts, on one machine or
// many) into a video with the music, without rendering anything.
#include <string>
#include <vector>

#include "app/capture_plan.h"
#include "app/options.h"

// The frame files of the plan that are not in dir, in tick order.
std::vector<std::string> missingFrames(const std::string& dir, const CapturePlan& plan);

// "frame_00130.png, frame_00131.png, frame_00132.png and 7 more": the first
// few names, then a count, so a folder missing thousands stays one line.
std::string listFrames(const std::vector<std::string>& names);

// Uses options.assembleDir, videoPath, fps, fromSeconds, toSeconds, mute and
// the video settings; the frames are those a capture with the same --fps,
// --from and --to writes. Refuses, before ffmpeg starts, a folder missing any
// of them (naming them) or holding frames of different sizes. Returns the
// process exit code.
int runAssemble(const Options& options, const std::string& dataDir);
