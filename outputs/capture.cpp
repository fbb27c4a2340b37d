#include "outputs/capture.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "outputs/capture_plan.h"
#include "outputs/interrupt.h"
#include "base/output_file.h"
#include "outputs/image_writer.h"
#include "outputs/progress_line.h"
#include "outputs/headless_demo.h"
#include "outputs/video_output.h"
#include "outputs/video_sink.h"
#include "demo/music.h"
#include "kernel/frame_data.h"
#include "render/frame_driver.h"

namespace fs = std::filesystem;

namespace {

const char* plural(int count, const char* one, const char* many) {
    return count == 1 ? one : many;
}

// Makes the folder if needed and proves a file can be created in it.
bool prepareFolder(const std::string& dir, std::string& error) {
    std::error_code failure;
    fs::create_directories(dir, failure);
    if (failure || !fs::is_directory(dir)) {
        error = "cannot use " + dir + " for frames: " + (failure ? failure.message() : "not a folder");
        return false;
    }
    // A name of its own: a file of the user's called like the probe is left alone.
    std::string probe, ignored;
    const int fd = createTemporaryBeside((fs::path(dir) / "capture-probe").string(), "", 0644, probe, ignored);
    if (fd < 0) {
        error = "cannot write frames into " + dir + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

// Every frame name of the plan must be free or a regular file; an existing
// frame is replaced only when asked to, so that a capture into the wrong
// folder does not silently write over another one.
bool checkFrameFiles(const std::string& dir, const CapturePlan& plan, bool overwrite, std::string& error) {
    std::string firstTaken;
    int taken = 0;
    for (int tick = plan.firstTick; tick <= plan.lastTick; ++tick) {
        const std::string path = (fs::path(dir) / frameFileName(tick)).string();
        if (!checkOutputFile(path, error)) return false;
        std::error_code ignored;
        if (!overwrite && fs::exists(fs::symlink_status(path, ignored)) && taken++ == 0) firstTaken = path;
    }
    if (taken == 0) return true;
    error = firstTaken + " exists";
    if (taken > 1) error += " (and " + std::to_string(taken - 1) + " more of the range)";
    error += ": use --overwrite to replace " + std::string(taken > 1 ? "them" : "it");
    return false;
}

}  // namespace

int runCapture(const CaptureSettings& capture, const OutputChoices& output, const DemoOptions& demoOptions) {
    std::string error;
    auto fail = [&error](const std::string& what) {
        std::fprintf(stderr, "capture: %s\n", what.empty() ? error.c_str() : what.c_str());
        return exitError;
    };

    const bool toFrames = !capture.frameDir.empty();
    const bool toVideo = !capture.video.path.empty();
    if (!toFrames && !toVideo) return fail("nothing to do: give a folder for frames or a video file");

    CapturePlan plan;
    if (!planCapture(capture.range, plan, error)) return fail("");

    // From here a stop asked for ends the job between steps, with the same code
    // as a stop between frames, however long the checks take.
    InterruptGuard interruptGuard;
    auto stopped = [&interruptGuard]() {
        if (!interruptGuard.requested()) return false;
        std::fprintf(stderr, "capture: interrupted before the first frame; nothing was kept\n");
        return true;
    };

    // Every check that can be made before rendering is made here.
    VideoSettings video;
    if (toVideo) {
        std::string warning;
        if (!planVideo(capture.video, output.overwrite, demoOptions.music, false, demoOptions.dataDir, plan,
                       demoOptions.pictureWidth, demoOptions.pictureHeight, video, warning, error))
            return stopped() ? exitInterrupted : fail("");
        if (!warning.empty()) std::fprintf(stderr, "capture: %s\n", warning.c_str());
    }
    if (stopped()) return exitInterrupted;
    if (toFrames) {
        if (!prepareFolder(capture.frameDir, error)) return fail("");
        if (!checkFrameFiles(capture.frameDir, plan, output.overwrite, error)) return fail("");
    }

    HeadlessDemo headless(demoOptions);  // the sound goes into the video, not to a device
    if (!headless.init(output, error)) return fail("");
    Demo& demo = headless.demo();
    FrameDriver& driver = headless.driver();
    const Surface& surface = headless.picture();
    if (stopped()) return exitInterrupted;

    VideoSink sink(interruptGuard);
    if (toVideo && !sink.start(video, capture.video.path, error)) return fail("");

    ProgressLine progress(plan.frameCount(), demoOptions.passes);
    int written = 0;  // frames done, in every output asked for
    int saved = 0;    // frame files written: a failed video write leaves them one ahead
    demo.onPassDone = [&](int pass, int) { progress.update(written, false, pass); };
    int lastWrittenTick = -1;
    std::string failure;
    // A reconstructed picture is made of the frames before it: the first
    // frame's second before is rendered first, unwritten, as the live show
    // would have rendered it.
    const int warmFrom = plan.firstTick - demo.warmUpTicks(plan.firstTick, plan.frameMs);
    replayShow(demo.show, 0, warmFrom, plan.frameMs);
    for (int tick = warmFrom; tick < plan.firstTick && !interruptGuard.requested(); ++tick) {
        driver.setPassCounter(tick * demoOptions.passes);
        if (demo.tick(plan.tickMs(tick), error) == TickResult::Failed) {
            failure = error;
            break;
        }
    }
    for (int tick = plan.firstTick; failure.empty() && tick <= plan.lastTick && !interruptGuard.requested(); ++tick) {
        // The kernel seeds its noise from the pass number: keep it the tick
        // number (tick * passes on, with several passes) so that a part
        // renders the same pixels as the whole show.
        driver.setPassCounter(tick * demoOptions.passes);
        const TickResult result = demo.tick(plan.tickMs(tick), error);
        if (result == TickResult::Failed) {
            failure = error;
            break;
        }
        if (result == TickResult::ShowOver) break;  // never presented

        if (toFrames) {
            const std::string path = (fs::path(capture.frameDir) / frameFileName(tick)).string();
            if (!writeStill(path.c_str(), StillFormat::Png, surface.pixels, surface.width, surface.height, surface.pitch,
                            output.overwrite, error)) {
                failure = error;
                break;
            }
            ++saved;
        }
        if (toVideo && !sink.writeFrame(surface.pixels, surface.pitch, error)) {
            failure = "cannot encode " + capture.video.path + ": " + error;
            std::string status;
            if (!sink.finish(status)) failure += "; " + status;
            break;
        }
        ++written;
        lastWrittenTick = tick;
        progress.update(written, written == plan.frameCount());
    }
    progress.close();

    const bool interrupted = interruptGuard.requested() && failure.empty() && written < plan.frameCount();
    // With no frame at all ffmpeg has nothing to make a video of; its complaint is moot.
    if (sink.running() && !sink.finish(error) && !(interrupted && written == 0)) {
        const std::string why = "cannot encode " + capture.video.path + ": " + error;
        failure = failure.empty() ? why : failure + "; " + why;
    }
    interruptGuard.puttingVideoInPlace();
    const double keptSeconds = static_cast<double>(written) / plan.fps;
    bool videoKept = toVideo && failure.empty() && written > 0;
    if (videoKept) {
        if (interrupted && !video.audioPath.empty() && !trimVideo(video.program, sink.partialPath(), keptSeconds, error))
            std::fprintf(stderr, "capture: the music in %s runs on past the last frame: %s\n",
                         capture.video.path.c_str(), error.c_str());
        videoKept = sink.place(capture.video.path, output.overwrite, error);
        if (!videoKept && !interrupted) failure = "cannot encode " + capture.video.path + ": " + error;
        if (!videoKept && interrupted)
            std::fprintf(stderr, "capture: cannot keep %s: %s\n", capture.video.path.c_str(), error.c_str());
    } else if (toVideo) {
        sink.discard();
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "capture: %s\n", failure.c_str());
        if (saved > 0)
            std::fprintf(stderr, "capture: %d %s written to %s before that\n", saved,
                         plural(saved, "frame was", "frames were"), capture.frameDir.c_str());
        return exitError;
    }

    if (interrupted) {
        if (written == 0) {
            std::fprintf(stderr, "capture: interrupted before the first frame; nothing was kept\n");
        } else {
            std::fprintf(stderr, "capture: interrupted; kept %d of %d frames (ticks %d to %d, %.3f s)", written,
                         plan.frameCount(), plan.firstTick, lastWrittenTick, keptSeconds);
            if (toFrames) std::fprintf(stderr, " in %s", capture.frameDir.c_str());
            if (videoKept) std::fprintf(stderr, "%s%s", toFrames ? " and " : " in ", capture.video.path.c_str());
            std::fprintf(stderr, "\n");
        }
        return exitInterrupted;
    }

    std::printf("captured %d %s (ticks %d to %d, %.3f s at %d frames/s)", written, plural(written, "frame", "frames"),
                plan.firstTick, lastWrittenTick, keptSeconds, plan.fps);
    if (toFrames) std::printf(" into %s", capture.frameDir.c_str());
    if (toVideo)
        std::printf("%s%s%s", toFrames ? " and " : " into ", capture.video.path.c_str(),
                    video.audioPath.empty() ? " (no music)" : "");
    std::printf("\n");
    return 0;
}
