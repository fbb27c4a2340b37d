#include "app/assemble.h"

#include <FreeImage.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "anim/show_state.h"
#include "app/exit_codes.h"
#include "app/interrupt.h"
#include "app/progress_line.h"
#include "app/video_encoder.h"
#include "app/video_output.h"
#include "scene/frame_driver.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t namesListed = 3;

struct BitmapDeleter {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// The size a PNG declares, from its header alone.
bool frameSize(const std::string& path, int& width, int& height, std::string& error) {
    const Bitmap header(FreeImage_Load(FIF_PNG, path.c_str(), FIF_LOAD_NOPIXELS));
    if (!header) {
        error = "cannot read " + path + ": not a PNG file";
        return false;
    }
    width = static_cast<int>(FreeImage_GetWidth(header.get()));
    height = static_cast<int>(FreeImage_GetHeight(header.get()));
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > maxFramePixels) {
        error = "cannot use " + path + ": " + std::to_string(width) + "x" + std::to_string(height) +
                " is not a frame size";
        return false;
    }
    return true;
}

// The frame as the capture had it before writing: top row first, 0x00RRGGBB
// (the alpha a 32-bit conversion adds is cleared so ffmpeg gets the same bytes).
bool readFrame(const std::string& path, int width, int height, std::vector<uint32_t>& pixels, std::string& error) {
    const Bitmap file(FreeImage_Load(FIF_PNG, path.c_str(), 0));
    const Bitmap wide(file ? FreeImage_ConvertTo32Bits(file.get()) : nullptr);
    if (!wide) {
        error = "cannot read " + path;
        return false;
    }
    if (static_cast<int>(FreeImage_GetWidth(wide.get())) != width ||
        static_cast<int>(FreeImage_GetHeight(wide.get())) != height) {
        error = path + " changed while the video was being made";
        return false;
    }
    pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(wide.get(), height - 1 - y));
        uint32_t* out = pixels.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) out[x] = row[x] & 0x00FFFFFFu;
    }
    return true;
}

std::string framePath(const std::string& dir, int tick) {
    return (fs::path(dir) / frameFileName(tick)).string();
}

// Every frame there, and all of one size; the size comes back.
bool checkFrames(const std::string& dir, const CapturePlan& plan, int& width, int& height, std::string& error) {
    const std::vector<std::string> missing = missingFrames(dir, plan);
    if (!missing.empty()) {
        error = std::to_string(missing.size()) + " of " + std::to_string(plan.frameCount()) + " frames are missing from " +
                dir + ": " + listFrames(missing);
        return false;
    }
    for (int tick = plan.firstTick; tick <= plan.lastTick; ++tick) {
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
        struct stat info {};
        if (stat(framePath(dir, tick).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
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

int runAssemble(const Options& options, const std::string& dataDir) {
    std::string error;
    auto fail = [&error](const std::string& what) {
        std::fprintf(stderr, "assemble: %s\n", what.empty() ? error.c_str() : what.c_str());
        return exitError;
    };

    const std::string& dir = options.assembleDir;
    if (!fs::is_directory(dir)) return fail("cannot read frames from " + dir + ": not a folder");
    CapturePlan plan;
    if (!planCapture(options.fps, options.fromSeconds, options.toSeconds, showLengthSeconds, plan, error))
        return fail("");
    int width = 0, height = 0;
    if (!checkFrames(dir, plan, width, height, error)) return fail("");

    VideoSettings video;
    std::string warning;
    if (!planVideo(options, dataDir, plan, width, height, video, warning, error)) return fail("");
    if (!warning.empty()) std::fprintf(stderr, "assemble: %s\n", warning.c_str());

    InterruptGuard interruptGuard;
    VideoEncoder encoder;
    std::error_code ignored;
    fs::remove(video.outputPath, ignored);  // ffmpeg would write through a link left there
    if (!encoder.start(video, error)) return fail("");
    interruptGuard.watchEncoder(encoder.pid(), video.outputPath);

    std::string failure;
    std::vector<uint32_t> pixels;
    ProgressLine progress(plan.frameCount(), 1);
    int encoded = 0;
    for (int tick = plan.firstTick; tick <= plan.lastTick && failure.empty() && !interruptGuard.requested(); ++tick) {
        if (!readFrame(framePath(dir, tick), width, height, pixels, error)) {
            failure = error;
        } else if (!encoder.writeFrame(pixels.data(), width, error)) {
            failure = "cannot encode " + options.videoPath + ": " + error;
        } else {
            ++encoded;
            progress.update(encoded, encoded == plan.frameCount());
        }
    }
    progress.close();
    const bool interrupted = interruptGuard.requested() && failure.empty();
    if (!encoder.finish(error) && !interrupted)
        failure = failure.empty() ? "cannot encode " + options.videoPath + ": " + error : failure + "; " + error;
    interruptGuard.encoderDone();
    if (failure.empty() && !interrupted && !placeVideo(video.outputPath, options.videoPath, error))
        failure = "cannot encode " + options.videoPath + ": " + error;
    if (!failure.empty() || interrupted) {
        fs::remove(video.outputPath, ignored);
        if (interrupted) {
            std::fprintf(stderr, "assemble: interrupted; no video was made\n");
            return exitInterrupted;
        }
        return fail(failure);
    }
    std::printf("assembled %d %s (ticks %d to %d, %.3f s at %d frames/s) from %s into %s%s\n", plan.frameCount(),
                plan.frameCount() == 1 ? "frame" : "frames", plan.firstTick, plan.lastTick, plan.durationSeconds(),
                plan.fps, dir.c_str(), options.videoPath.c_str(), video.audioPath.empty() ? " (no music)" : "");
    return exitDone;
}
