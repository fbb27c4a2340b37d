#pragma once
// Joins frames captured earlier (in one run or in parts, on one machine or
// many) into a video with the music, without rendering anything.
#include <string>
#include <vector>

#include "outputs/capture.h"
#include "outputs/capture_plan.h"

// The frame files of the plan that are not in dir, in tick order.
std::vector<std::string> missingFrames(const std::string& dir, const CapturePlan& plan);

// "frame_00130.png, frame_00131.png, frame_00132.png and 7 more": the first
// few names, then a count, so a folder missing thousands stays one line.
std::string listFrames(const std::vector<std::string>& names);

// Makes capture.video from the frames in capture.frameDir, with the music of
// demoOptions.dataDir unless demoOptions.music is off; the frames are those a
// capture of the same range writes. Refuses, before ffmpeg starts, a folder missing any
// of them (naming them) or holding frames of different sizes. Returns the
// process exit code.
int runAssemble(const CaptureSettings& capture, bool overwrite, const DemoOptions& demoOptions);
