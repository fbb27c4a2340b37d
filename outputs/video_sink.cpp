#include "outputs/video_sink.h"

#include <unistd.h>

#include <filesystem>

#include "base/output_file.h"

namespace fs = std::filesystem;

bool VideoSink::start(VideoSettings settings, const std::string& path, std::string& error) {
    const int fd = createTemporaryBeside(path, ".partial" + fs::path(path).extension().string(), 0666, partial_, error);
    if (fd < 0) return false;
    close(fd);
    settings.outputPath = partial_;
    if (!encoder_.start(settings, error)) {
        discard();
        return false;
    }
    guard_.watchEncoder(encoder_.pid(), partial_);
    return true;
}

bool VideoSink::finish(std::string& error) {
    const bool clean = encoder_.finish(error);
    guard_.encoderDone();
    return clean;
}

bool VideoSink::place(const std::string& path, bool replace, std::string& error) {
    if (probeVideo(partial_, error)) return putInPlace(partial_, path, replace, error);
    discard();
    return false;
}

void VideoSink::discard() {
    if (partial_.empty()) return;
    std::error_code ignored;
    fs::remove(partial_, ignored);
}
