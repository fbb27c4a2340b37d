#pragma once
// The video file a capture or an assembly makes: the checks made before the
// first frame, the hidden file it is encoded into, and putting it in place.
#include <string>

#include "app/capture_plan.h"
#include "app/options.h"
#include "app/video_encoder.h"

// ffmpeg picks the container from the name: .mp4, .mov, .mkv or .webm.
bool hasVideoExtension(const std::string& path);

// The video is encoded beside its place into a hidden file of this run's own
// with the same extension ("dir/.show.mp4.k3Xq9a.partial.mp4"), made here,
// and only renamed into place once it reads back, so neither a failed nor an
// abandoned encoding leaves a broken file under the name asked for, and two
// runs making one video never write into each other's.
bool createPartialVideo(const std::string& path, std::string& partial, std::string& error);

// Probes the finished partial file and renames it to path; removes it
// otherwise. Without replace nothing under path is replaced, not even a video
// another run put there meanwhile.
bool placeVideo(const std::string& partial, const std::string& path, bool replace, std::string& error);

// Every check that can be made before rendering or reading a frame (the name,
// the codec it can hold and the picture size it takes, ffmpeg and its
// encoders, the output file, which is refused when it exists unless
// options.overwrite) and the settings for the frames of the plan: width x
// height, with the track of dataDir looped and faded on the show's clock from
// the plan's first frame; the output path is left for createPartialVideo. A
// track that cannot be used to its end (and --mute) gives a silent video; why
// the track was not used goes to warning. False with error when the video
// cannot be made.
bool planVideo(const Options& options, const std::string& dataDir, const CapturePlan& plan, int width, int height,
               VideoSettings& video, std::string& warning, std::string& error);
