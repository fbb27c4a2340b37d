#include "outputs/video_sink.h"

#include <filesystem>

#include "base/output_file.h"

namespace fs = std::filesystem;

std::string partialVideoPath(const std::string& path) {
    const fs::path target(path);
    return (target.parent_path() / ("." + target.filename().string() + ".partial" + target.extension().string()))
        .string();
}

bool VideoSink::start(const VideoSettings& settings, std::string& error) {
    partial_ = settings.outputPath;
    discard();
    if (!encoder_.start(settings, error)) return false;
    guard_.watchEncoder(encoder_.pid(), partial_);
    return true;
}

bool VideoSink::finish(std::string& error) {
    const bool clean = encoder_.finish(error);
    guard_.encoderDone();
    return clean;
}

bool VideoSink::place(const std::string& path, std::string& error) {
    std::error_code failure;
    if (probeVideo(partial_, error) && checkOutputFile(path, error)) {
        fs::rename(partial_, path, failure);
        if (!failure) return true;
        error = failure.message();
    }
    fs::remove(partial_, failure);
    return false;
}

void VideoSink::discard() {
    std::error_code ignored;
    fs::remove(partial_, ignored);
}
