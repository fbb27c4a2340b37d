#include "app/video_output.h"

#include <filesystem>

#include "anim/show_state.h"
#include "app/output_file.h"
#include "app/video_format.h"
#include "demo/music.h"

namespace fs = std::filesystem;

bool hasVideoExtension(const std::string& path) {
    return !videoContainerOf(path).empty();
}

std::string partialVideoPath(const std::string& path) {
    const fs::path target(path);
    return (target.parent_path() / ("." + target.filename().string() + ".partial" + target.extension().string()))
        .string();
}

bool placeVideo(const std::string& partial, const std::string& path, std::string& error) {
    std::error_code failure;
    if (probeVideo(partial, error) && checkOutputFile(path, error)) {
        fs::rename(partial, path, failure);
        if (!failure) return true;
        error = failure.message();
    }
    fs::remove(partial, failure);
    return false;
}

bool planVideo(const Options& options, const std::string& dataDir, const CapturePlan& plan, int width, int height,
               VideoSettings& video, std::string& warning, std::string& error) {
    warning.clear();
    VideoFormat format;
    if (!videoFormatFor(options.videoPath, options.codec, options.crf, format, error)) return false;
    if (findOnPath(video.program).empty()) {
        error = "ffmpeg was not found on PATH; it is needed to write " + options.videoPath;
        return false;
    }
    if (!checkNewOutputFile(options.videoPath, options.overwrite, error)) return false;
    video.videoCodec = format.videoArguments;
    video.audioCodec = format.audioArguments;
    video.containerOptions = format.containerArguments;
    video.outputPath = partialVideoPath(options.videoPath);
    video.width = width;
    video.height = height;
    video.fps = plan.fps;
    video.frameCount = plan.frameCount();
    video.audioStartSeconds = plan.startSeconds();
    video.fadeStartSeconds = musicFadeStartSeconds;
    video.fadeSeconds = showLengthSeconds - musicFadeStartSeconds;
    video.audioPath.clear();
    if (!options.mute) {
        const std::string track = dataDir + "/track.mp3";
        std::string why;
        if (checkTrack(track, why) && checkAudioDecodes(video.program, track, why))
            video.audioPath = track;
        else
            warning = "no music in the video: " + why;
    }
    return checkEncoders(video.program, format, !video.audioPath.empty(), error);
}
