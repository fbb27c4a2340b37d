#pragma once
// The video file a capture or an assembly makes: the checks made before the
// first frame, the hidden name it is encoded under, and putting it in place.
#include <string>

#include "app/capture_plan.h"
#include "app/options.h"
#include "app/video_encoder.h"

// ffmpeg picks the container from the name: .mp4, .mov, .mkv or .webm.
bool hasVideoExtension(const std::string& path);

// The video is encoded beside its place under a hidden name with the same
// extension ("dir/.show.mp4.partial.mp4") and only renamed into place once it
// reads back, so neither a failed nor an abandoned encoding leaves a broken
// file under the name asked for.
std::string partialVideoPath(const std::string& path);

// Probes the finished partial file and renames it to path; removes it otherwise.
bool placeVideo(const std::string& partial, const std::string& path, std::string& error);

// Every check that can be made before rendering or reading a frame (the name,
// the codec it can hold, ffmpeg and its encoders, the output file, which is
// refused when it exists unless options.overwrite) and the settings for the
// frames of the plan:
// width x height, encoded to partialVideoPath(options.videoPath), with the
// track of dataDir looped and faded on the show's clock from the plan's first
// frame. A track that cannot be used (and --mute) gives a silent video; why
// the track was not used goes to warning. False with error when the video
// cannot be made.
bool planVideo(const Options& options, const std::string& dataDir, const CapturePlan& plan, int width, int height,
               VideoSettings& video, std::string& warning, std::string& error);
