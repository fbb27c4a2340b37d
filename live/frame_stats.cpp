#include "live/frame_stats.h"

#include "base/output_file.h"

FrameStats::~FrameStats() {
    if (file_) std::fclose(file_);
}

bool FrameStats::open(const std::string& path, std::string& error) {
    if (!checkOutputFile(path, error)) return false;
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void FrameStats::add(double demoSeconds, double frameMs, int samples, int width, int height) {
    if (file_) std::fprintf(file_, "%.3f %.2f %d %dx%d\n", demoSeconds, frameMs, samples, width, height);
}
