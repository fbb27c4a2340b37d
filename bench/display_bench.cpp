// What the display path adds to a frame beyond the render: the frame copy, the
// title overlays and, when a display is available, the present.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/data_dir.h"
#include "app/window.h"
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
        const std::string dir = findDataDir("");
        std::string error;
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

// The whole display path of the live show, present included (needs a display).
void withPresent(benchmark::State& state, float t, bool software) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no DISPLAY: run under xvfb-run to include the present");
        return;
    }
    static std::string error;
    static const bool opened = openWindow(software, error);
    if (!opened) {
        state.SkipWithError(error.c_str());
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
}

}  // namespace

BENCHMARK_CAPTURE(copyAndOverlays, no_overlay_t10, 10.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(copyAndOverlays, three_fading_t7_75, 7.75f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(copyAndOverlays, three_full_t15, 15.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(withPresent, opengl_t15, 15.0f, false)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
