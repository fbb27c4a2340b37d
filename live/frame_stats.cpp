#include "live/frame_stats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/output_file.h"

namespace {

// A device (/dev/null, a terminal) is written through, never replaced.
bool isDevice(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

}  // namespace

FrameStats::~FrameStats() {
    close();
}

bool FrameStats::open(const std::string& path, std::string& error) {
    int fd = -1;
    if (isDevice(path)) {
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    } else {
        if (!checkOutputFile(path, error)) return false;
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    if (fd >= 0) file_ = fdopen(fd, "w");
    if (!file_) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    path_ = path;
    failed_ = false;
    return true;
}

void FrameStats::fail(int error) {
    if (failed_) return;
    failed_ = true;
    std::fprintf(stderr, "stats: cannot write %s: %s; the show goes on without them\n", path_.c_str(),
                 std::strerror(error));
}

void FrameStats::add(double demoSeconds, double frameMs, int samples, int width, int height, double reconstructMs) {
    if (!file_ || failed_) return;
    errno = 0;
    if (std::fprintf(file_, "%.3f %.2f %d %dx%d %.2f\n", demoSeconds, frameMs, samples, width, height,
                     reconstructMs) < 0 ||
        std::fflush(file_) != 0)
        fail(errno != 0 ? errno : EIO);
}

void FrameStats::close() {
    if (!file_) return;
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) fail(!flushed && flushError != 0 ? flushError : errno != 0 ? errno : EIO);
}
