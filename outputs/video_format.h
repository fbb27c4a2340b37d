#pragma once
// How a video is encoded: the container its file name asks for, the codec
// (--codec, or the container's own), its quality (--crf) and the ffmpeg
// arguments for all of it, refused before anything is rendered when the
// combination cannot be made.
#include <string>
#include <vector>

struct VideoFormat {
    std::string container;                       // "mp4", "mov", "mkv" or "webm"
    std::string codec;                           // "h264", "h265", "prores", "ffv1", "vp9" or "av1"
    std::string videoEncoder;                    // ffmpeg's encoder for it, e.g. "libx264"
    std::string audioEncoder;                    // "aac", or "libopus" in .webm
    std::vector<std::string> videoArguments;     // -c:v and its settings
    std::vector<std::string> audioArguments;     // -c:a and its settings
    std::vector<std::string> containerArguments;  // e.g. -movflags +faststart
};

// The container of a video name from its extension in any case (.mp4, .mov,
// .mkv, .webm); empty for any other name.
std::string videoContainerOf(const std::string& path);

// The format for path, with codec empty for the container's own (H.264 in
// .mp4, ProRes in .mov, FFV1 in .mkv, VP9 in .webm) and crf -1 for the codec's
// usual quality. False with a one-line reason for an unknown name, a codec the
// container cannot hold, or a --crf the codec does not take.
bool videoFormatFor(const std::string& path, const std::string& codec, int crf, VideoFormat& format,
                    std::string& error);

// Whether the format's codec encodes pictures of width x height: H.264 and
// H.265 need both sides even, the others take any size. False with why
// ("h264 video needs an even width and height").
bool videoSizeFits(const VideoFormat& format, int width, int height, std::string& why);

// The codecs the container holds that take any size: "prores or ffv1".
std::string codecsTakingAnySize(const std::string& container);

// The encoder names `program -hide_banner -encoders` lists.
bool listEncoders(const std::string& program, std::vector<std::string>& names, std::string& error);

// Asks the installed ffmpeg whether it has the format's video encoder, and its
// audio encoder when withAudio; false with a message naming what is missing.
bool checkEncoders(const std::string& program, const VideoFormat& format, bool withAudio, std::string& error);
