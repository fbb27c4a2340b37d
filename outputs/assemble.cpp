#include "outputs/assemble.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "anim/show_state.h"
#include "base/exit_codes.h"
#include "outputs/interrupt.h"
#include "outputs/progress_line.h"
#include "outputs/video_output.h"
#include "outputs/video_sink.h"
#include "demo/image_file.h"
#include "demo/png_layout.h"
#include "render/frame_driver.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t namesListed = 3;
// The largest side --size takes.
constexpr int maxFrameSide = 16384;

std::string framePath(const std::string& dir, int tick) {
    return (fs::path(dir) / frameFileName(tick)).string();
}

// What a name that is not a file holds, for a message.
const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

// The size of a frame file, from a look at the whole of it: a frame cut short
// or damaged is found here, before anything is encoded, and said how.
bool frameSize(const std::string& path, int& width, int& height, std::string& error) {
    std::string bytes, why;
    unsigned w = 0, h = 0;
    if (!readImageFile(path, bytes, why) || !checkPngLayout(bytes, w, h, why)) {
        error = "cannot read " + path + ": " + why;
        return false;
    }
    if (w == 0 || h == 0 || w > static_cast<unsigned>(maxFrameSide) || h > static_cast<unsigned>(maxFrameSide) ||
        static_cast<long long>(w) * h > maxFramePixels) {
        error = "cannot use " + path + ": " + std::to_string(w) + "x" + std::to_string(h) + " is not a frame size";
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// The frame as the capture had it before writing: top row first, 0x00RRGGBB
// (the alpha a 32-bit conversion adds is cleared so ffmpeg gets the same bytes).
bool readFrame(const std::string& path, int width, int height, std::vector<uint32_t>& pixels, std::string& error) {
    std::string bytes, why;
    Image image;
    if (!readImageFile(path, bytes, why) || !decodeImage(bytes, path, maxFrameSide, maxFrameSide, image, why)) {
        error = "cannot read " + path + ": " + why;
        return false;
    }
    const Surface& s = image.surface;
    if (s.width != width || s.height != height) {
        error = path + " changed while the video was being made";
        return false;
    }
    pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = s.pixels + static_cast<size_t>(y) * s.pitch;
        uint32_t* out = pixels.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) out[x] = row[x] & 0x00FFFFFFu;
    }
    return true;
}

// Every frame there as a file, whole, and all of one size; the size comes
// back. A stop asked for ends the look early (false, error empty).
bool checkFrames(const std::string& dir, const CapturePlan& plan, const InterruptGuard& guard, int& width,
                 int& height, std::string& error) {
    error.clear();
    const std::vector<std::string> missing = missingFrames(dir, plan);
    if (!missing.empty()) {
        error = std::to_string(missing.size()) + " of " + std::to_string(plan.frameCount()) + " frames are missing from " +
                dir + ": " + listFrames(missing);
        return false;
    }
    for (int tick = plan.firstTick; tick <= plan.lastTick; ++tick) {
        struct stat info {};
        const std::string path = framePath(dir, tick);
        if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            error = "cannot use " + path + ": it is " + kindOf(info.st_mode) + ", not a frame file";
            return false;
        }
    }
    for (int tick = plan.firstTick; tick <= plan.lastTick; ++tick) {
        if (guard.requested()) return false;
        int w = 0, h = 0;
        if (!frameSize(framePath(dir, tick), w, h, error)) return false;
        if (tick == plan.firstTick) {
            width = w;
            height = h;
        } else if (w != width || h != height) {
            error = "the frames in " + dir + " differ in size: " + frameFileName(plan.firstTick) + " is " +
                    std::to_string(width) + "x" + std::to_string(height) + ", " + frameFileName(tick) + " is " +
                    std::to_string(w) + "x" + std::to_string(h);
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<std::string> missingFrames(const std::string& dir, const CapturePlan& plan) {
    std::vector<std::string> missing;
    for (int tick = plan.firstTick; tick <= plan.lastTick; ++tick) {
        // A name that holds something else (a folder, a pipe) is not missing:
        // checkFrames says what it is.
        struct stat info {};
        if (stat(framePath(dir, tick).c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR))
            missing.push_back(frameFileName(tick));
    }
    return missing;
}

std::string listFrames(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size() && i < namesListed; ++i) text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > namesListed) text += " and " + std::to_string(names.size() - namesListed) + " more";
    return text;
}

int runAssemble(const CaptureSettings& capture, bool overwrite, const DemoOptions& demoOptions) {
    std::string error;
    auto fail = [&error](const std::string& what) {
        std::fprintf(stderr, "assemble: %s\n", what.empty() ? error.c_str() : what.c_str());
        return exitError;
    };

    const std::string& dir = capture.frameDir;
    if (!fs::is_directory(dir)) return fail("cannot read frames from " + dir + ": not a folder");
    CapturePlan plan;
    if (!planCapture(capture.range, plan, error)) return fail("");

    // A stop asked for during the checks ends the job as one during the encoding does.
    InterruptGuard interruptGuard;
    auto stopped = [&interruptGuard]() {
        if (!interruptGuard.requested()) return false;
        std::fprintf(stderr, "assemble: interrupted; no video was made\n");
        return true;
    };
    int width = 0, height = 0;
    if (!checkFrames(dir, plan, interruptGuard, width, height, error)) return stopped() ? exitInterrupted : fail("");

    VideoSettings video;
    std::string warning;
    if (!planVideo(capture.video, overwrite, demoOptions.music, true, demoOptions.dataDir, plan, width, height, video,
                   warning, error))
        return stopped() ? exitInterrupted : fail("");
    if (!warning.empty()) std::fprintf(stderr, "assemble: %s\n", warning.c_str());
    if (stopped()) return exitInterrupted;

    VideoSink sink(interruptGuard);
    if (!sink.start(video, capture.video.path, error)) return fail("");

    std::string failure;
    std::vector<uint32_t> pixels;
    ProgressLine progress(plan.frameCount(), 1);
    int encoded = 0;
    for (int tick = plan.firstTick; tick <= plan.lastTick && failure.empty() && !interruptGuard.requested(); ++tick) {
        if (!readFrame(framePath(dir, tick), width, height, pixels, error)) {
            failure = error;
        } else if (!sink.writeFrame(pixels.data(), width, error)) {
            failure = "cannot encode " + capture.video.path + ": " + error;
        } else {
            ++encoded;
            progress.update(encoded, encoded == plan.frameCount());
        }
    }
    progress.close();
    const bool interrupted = interruptGuard.requested() && failure.empty();
    if (!sink.finish(error) && !interrupted)
        failure = failure.empty() ? "cannot encode " + capture.video.path + ": " + error : failure + "; " + error;
    if (failure.empty() && !interrupted && !sink.place(capture.video.path, overwrite, error))
        failure = "cannot encode " + capture.video.path + ": " + error;
    if (!failure.empty() || interrupted) {
        sink.discard();
        if (interrupted) {
            std::fprintf(stderr, "assemble: interrupted; no video was made\n");
            return exitInterrupted;
        }
        return fail(failure);
    }
    std::printf("assembled %d %s (ticks %d to %d, %.3f s at %d frames/s) from %s into %s%s\n", plan.frameCount(),
                plan.frameCount() == 1 ? "frame" : "frames", plan.firstTick, plan.lastTick, plan.durationSeconds(),
                plan.fps, dir.c_str(), capture.video.path.c_str(), video.audioPath.empty() ? " (no music)" : "");
    return exitDone;
}
