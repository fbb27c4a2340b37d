#include "live/show_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "base/exit_codes.h"
#include "live/fatal_error.h"
#include "live/frame_stats.h"
#include "live/music_player.h"
#include "live/show_controls.h"
#include "live/window.h"
#include "demo/live_quality.h"
#include "demo/surface.h"

namespace {

using Counter = std::chrono::steady_clock;

int64_t readCounter() {
    return Counter::now().time_since_epoch().count();
}

constexpr int64_t counterFrequency = Counter::period::den / Counter::period::num;

// One console line: which quality mode runs, and why.
void announceQuality(const LiveSettings& live, const DemoOptions& demo) {
    const bool temporal = demo.reuse == PictureReuse::Temporal;
    if (!live.adaptiveQuality)
        std::printf("quality: exact, every frame in full (--quality exact)\n");
    else if (temporal)
        std::printf("quality: %s, aiming at %g frames per second: fewer samples and pixels while frames take "
                    "longer, reconstructed over frames%s (--temporal off filters each frame alone, --quality "
                    "exact shows every frame in full)\n",
                    demo.reconstructFull ? "clean" : "adaptive", live.targetFps,
                    demo.reconstructFull ? ", the full frame too" : "; the full frame as rendered");
    else
        std::printf("quality: adaptive, aiming at %g frames per second: fewer samples and pixels (each frame "
                    "filtered alone: --temporal off) while frames take longer (--quality exact turns this off)\n",
                    live.targetFps);
}

// The display and the demo's picture at the size the setting draws: its own
// above the full setting, else 640 x 480. A display that cannot be had that
// large leaves the show at the full setting.
bool fitPicture(Demo& demo, LiveQuality& quality, std::string& error) {
    const RenderSetting& setting = quality.setting();
    const int width = quality.aboveFull() ? setting.width : frameWidth;
    const int height = quality.aboveFull() ? setting.height : frameHeight;
    const Surface* shown = displaySurface();
    if (shown->width == width && shown->height == height) return true;
    if (!setDisplaySize(width, height)) {
        std::printf("cannot draw a %dx%d picture: staying at %dx%d\n", width, height, frameWidth, frameHeight);
        quality.setWindowPicture(frameWidth, frameHeight);
        demo.setRenderSetting(quality.setting());
        if (shown->width == frameWidth && shown->height == frameHeight) return true;
        if (!setDisplaySize(frameWidth, frameHeight)) {
            error = "cannot draw the picture at 640 x 480";
            return false;
        }
    }
    return demo.setPictureSize(displaySurface()->width, displaySurface()->height, error);
}

}  // namespace

double frameMilliseconds(int64_t start, int64_t end, int64_t countsPerSecond) {
    const int64_t countsPerMs = countsPerSecond / 1000;
    return static_cast<double>(end - start) / static_cast<double>(countsPerMs);
}

void startShowMusic(const DemoOptions& demoOptions, double startSeconds) {
    if (!demoOptions.music) return;
    std::string why;
    if (!startMusic(demoOptions.dataDir + "/track.mp3", static_cast<float>(startSeconds), why))
        std::printf("music off: %s\n", why.c_str());
}

int runShow(const LiveSettings& live, const DemoOptions& demoOptions) {
    std::printf("application started.\n");
    std::string error;
    const WindowRequest window{live.software, live.fullscreen, live.windowWidth, live.windowHeight};
    if (!openWindow(window, error)) {
        reportFatalError(error);
        return exitError;
    }

    FrameStats stats;
    if (!live.statsPath.empty() && !stats.open(live.statsPath, error)) {
        reportFatalError(error);
        closeWindow();
        return exitError;
    }
    LiveQuality quality(live.targetFps, live.adaptiveQuality, demoOptions.reuse);
    quality.setFullReconstructed(demoOptions.reconstructFull);
    PictureArea windowArea = windowPicture();
    quality.setWindowPicture(windowArea.width, windowArea.height);
    announceQuality(live, demoOptions);

    FrameDriver driver;
    Demo demo(demoOptions, driver);
    demo.surface = displaySurface();
    int64_t lastFrameEnd = -1;
    ShowControls controls;
    bool initPending = true;
    double frameMs = 0.0;
    int exitCode = exitUserEnded;

    for (bool quit = false; !quit;) {
        presentDisplay();
        if (initPending) {
            if (!demo.init(error)) {
                exitCode = exitError;
                break;
            }
            initPending = false;
            startShowMusic(demoOptions, live.startSeconds);
            skipAhead(demo, live.startSeconds);
            // A CPU is far from a full frame per 33 ms: start low rather than
            // with a frame that takes seconds.
            if (driver.onCpu()) quality.startLow();
            demo.setRenderSetting(quality.setting());
        }

        // The window's size changes at a present: the rung above the full
        // setting follows it, and the picture is drawn at that rung's size.
        const PictureArea nowArea = windowPicture();
        if (nowArea.width != windowArea.width || nowArea.height != windowArea.height) {
            windowArea = nowArea;
            if (quality.setWindowPicture(windowArea.width, windowArea.height)) demo.setRenderSetting(quality.setting());
        }
        if (!fitPicture(demo, quality, error)) {
            exitCode = exitError;
            break;
        }

        applyShowKeys(demo, controls, takeShowKeys());
        demo.show.keys = readHeldKeys();
        beginFrame();
        const int64_t start = readCounter();
        const TickResult result = tickLiveShow(demo, controls, static_cast<float>(frameMs), error);
        const int64_t end = readCounter();
        frameMs = frameMilliseconds(start, end, counterFrequency);
        // The whole frame, presenting and events included, from one frame's end to the next.
        double presentedMs = frameMs;
        if (lastFrameEnd >= 0) {
            presentedMs = frameMilliseconds(lastFrameEnd, end, counterFrequency);
            const FrameData& made = demo.renderedRecord();
            stats.add(demo.show.demoTime, presentedMs, made.samplesPerFrame, made.width, made.height,
                      demo.reconstructMs());
            // A paused picture refines at full size: no measure of the running show.
            const double renderMs = demo.pictureMs() - demo.reconstructMs();
            if (!controls.paused && quality.frameDone(presentedMs, renderMs, static_cast<double>(end) / counterFrequency,
                                                      demo.reconstructMs()))
                demo.setRenderSetting(quality.setting());
        }
        lastFrameEnd = end;
        finishFrame(demo, controls, presentedMs);
        endFrame();
        if (result == TickResult::Failed) {
            exitCode = exitError;
            break;
        }
        if (result == TickResult::ShowOver) {
            exitCode = exitDone;
            break;
        }
        quit = drainEvents();
    }
    if (exitCode == exitError) reportFatalError(error);
    stopMusic();
    closeWindow();
    return exitCode;
}
