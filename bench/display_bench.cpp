// What the display path adds to a frame beyond the render: the frame copy, the
// title overlays and, when a display is available, the present.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "entry/data_dir.h"
#include "demo/letterbox.h"
#include "live/window.h"
#include "demo/image_file.h"
#include "demo/surface.h"
#include "demo/overlays.h"
#include "demo/sprite.h"
#include "kernel/frame_data.h"

namespace {

struct Overlays {
    Image images[overlayCount];
    std::unique_ptr<Sprite> owned[overlayCount];
    OverlaySprites sprites{};
    Overlays() {
        std::string note, error;
        const std::string dir = findDataDir("", note);
        for (int i = 0; i < overlayCount; ++i)
            if (loadImage(dir + "/" + overlayFileNames[i], images[i], error))
                sprites[i] = (owned[i] = std::make_unique<Sprite>(&images[i].surface, 1)).get();
    }
};

const Overlays& overlays() {
    static const Overlays loaded;
    return loaded;
}

// A noisy frame, like a rendered one.
std::vector<uint32_t> renderedFrame() {
    std::vector<uint32_t> frame(frameWidth * frameHeight);
    uint32_t x = 12345;
    for (auto& p : frame) {
        x = x * 1664525u + 1013904223u;
        p = (x >> 8) & 0xFFFFFFu;
    }
    return frame;
}

void copyAndOverlays(benchmark::State& state, float t) {
    const std::vector<uint32_t> frame = renderedFrame();
    std::vector<uint32_t> display(frameWidth * frameHeight);
    Surface surface(frameWidth, frameHeight, display.data(), frameWidth);
    const Overlays& o = overlays();
    for (auto _ : state) {
        copyFrame(surface, frame.data());
        drawDueOverlays(surface, t, o.sprites);
        benchmark::DoNotOptimize(display.data());
    }
}

// The software display's scaling alone, into a window-sized buffer.
void scaleNearestOnly(benchmark::State& state, int width, int height) {
    const std::vector<uint32_t> frame = renderedFrame();
    std::vector<uint32_t> window(size_t(width) * size_t(height));
    for (auto _ : state) {
        scaleNearest(frame.data(), frameWidth, frameHeight, frameWidth, window.data(), width, height, width);
        benchmark::DoNotOptimize(window.data());
    }
}

// The whole display path of the live show, present included, in a window of
// the given size (needs a display; the X server's screen must hold the window).
void withPresent(benchmark::State& state, float t, bool software, int width, int height) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no DISPLAY: run under xvfb-run to include the present");
        return;
    }
    static std::string error;
    WindowRequest request;
    request.software = software;
    request.width = width;
    request.height = height;
    if (!openWindow(request, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    if (usingGL() == software) {
        closeWindow();
        state.SkipWithError("OpenGL could not be set up");
        return;
    }
    const std::vector<uint32_t> frame = renderedFrame();
    const Overlays& o = overlays();
    for (auto _ : state) {
        presentDisplay();
        beginFrame();
        copyFrame(*displaySurface(), frame.data());
        drawDueOverlays(*displaySurface(), t, o.sprites);
        endFrame();
    }
    closeWindow();
}

}  // namespace

BENCHMARK_CAPTURE(copyAndOverlays, no_overlay_t10, 10.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(copyAndOverlays, three_fading_t7_75, 7.75f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(copyAndOverlays, three_full_t15, 15.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scaleNearestOnly, to_1280x960, 1280, 960)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scaleNearestOnly, to_1000x750, 1000, 750)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(withPresent, opengl_t15, 15.0f, false, 640, 480)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(withPresent, opengl_1280x960_t15, 15.0f, false, 1280, 960)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(withPresent, software_t15, 15.0f, true, 640, 480)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(withPresent, software_1280x960_t15, 15.0f, true, 1280, 960)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

BENCHMARK_MAIN();
