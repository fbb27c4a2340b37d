#pragma once
// The video file a capture or an assembly makes: the checks made before the
// first frame and the encoder's settings (the sink, video_sink.h, makes it).
#include <string>

#include "outputs/capture_plan.h"
#include "outputs/video_encoder.h"

// The video asked for: --video, --codec, --crf.
struct VideoRequest {
    std::string path;
    std::string codec;  // empty: the container's default
    int crf = -1;       // -1: the codec's default quality
};

// Every check that can be made before rendering or reading a frame (the name,
// the codec it can hold and the picture size it takes, ffmpeg and its
// encoders, the output file, which is refused when it exists unless
// overwrite) and the settings for the frames of the plan: width x height,
// with the track of dataDir looped and faded on the show's clock from the
// plan's first frame; the output path is left for the sink. A track that
// cannot be used to its end (and no music asked for) gives a silent video;
// why the track was not used goes to warning. False with error when the video
// cannot be made. fromFrames: the frames exist already (an assembly), so a
// size the codec refuses cannot be changed with --size.
bool planVideo(const VideoRequest& request, bool overwrite, bool music, bool fromFrames, const std::string& dataDir,
               const CapturePlan& plan, int width, int height, VideoSettings& video, std::string& warning,
               std::string& error);
