#include "live/show_controls.h"

#include <algorithm>
#include <cstdio>

#include "demo/music.h"
#include "live/music_player.h"
#include "demo/readout_font.h"
#include "demo/surface.h"

namespace {

// The fixed step of a jump into the show; the same as the headless modes use.
constexpr float skipStepMs = 10.0f;
// The share of a new frame time in the smoothed one.
constexpr double frameTimeWeight = 0.1;
constexpr int readoutMargin = 4;

void setPaused(Demo& demo, ShowControls& controls, bool paused) {
    controls.paused = paused;
    // A paused picture converges: its frames are averaged pass by pass.
    demo.setRefining(paused);
    if (paused) {
        controls.pausedAt = demo.show;
        pauseMusic();
    } else {
        demo.show = controls.pausedAt;
        resumeMusic();
    }
}

std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

void noteFrameTime(FrameRateMeter& meter, double frameMs) {
    meter.lastMs = frameMs;
    meter.smoothedMs = meter.smoothedMs > 0.0 ? meter.smoothedMs + (frameMs - meter.smoothedMs) * frameTimeWeight
                                              : frameMs;
}

double framesPerSecond(const FrameRateMeter& meter) {
    return meter.smoothedMs > 0.0 ? 1000.0 / meter.smoothedMs : 0.0;
}

// Beyond the show's end there is nothing to skip to (and a float clock would
// stop advancing long before an arbitrary target).
void skipAhead(Demo& demo, double seconds) {
    if (seconds <= 0.0) return;
    const float target = static_cast<float>(std::min(seconds, static_cast<double>(showLengthSeconds)));
    demo.advance(0.0f);
    while (demo.show.demoTime < target) demo.advance(skipStepMs);
}

void seekShow(Demo& demo, double seconds) {
    const double target = std::clamp(seconds, 0.0, static_cast<double>(showLengthSeconds));
    if (target < demo.show.demoTime) {
        demo.show = ShowState{};
        startShow(demo.show, demo.options().cameraFile);
    }
    // Held flight keys would fly the camera through every skipped step; the
    // window reads them again before the next tick.
    demo.show.keys = HeldKeys{};
    skipAhead(demo, target);
    demo.dropHistory();
    seekMusic(static_cast<float>(target));
}

void applyShowKeys(Demo& demo, ShowControls& controls, const ShowKeys& keys) {
    if (keys.seekSteps != 0) {
        if (controls.paused) demo.show = controls.pausedAt;
        seekShow(demo, demo.show.demoTime + seekStepSeconds * keys.seekSteps);
        if (controls.paused) controls.pausedAt = demo.show;
    }
    if (keys.pausePresses % 2 != 0) setPaused(demo, controls, !controls.paused);
    if (keys.readoutPresses % 2 != 0) controls.readout = !controls.readout;
}

namespace {

TickResult tickRunningOrPaused(Demo& demo, ShowControls& controls, float frameMs, std::string& error) {
    if (!controls.paused) return demo.tick(frameMs, error);
    // Always from the paused state: a 0 ms tick moves nothing, except a step
    // boundary that a long frame left due, which must not be crossed while
    // paused. The frame driver numbers each render of the paused moment as the
    // next pass, so successive frames here are further passes of one moment.
    const HeldKeys keys = demo.show.keys;
    demo.show = controls.pausedAt;
    demo.show.keys = keys;
    return demo.tick(0.0f, error);
}

}  // namespace

TickResult tickLiveShow(Demo& demo, ShowControls& controls, float frameMs, std::string& error) {
    const TickResult result = tickRunningOrPaused(demo, controls, frameMs, error);
    const float t = demo.show.demoTime;
    if (result != TickResult::Failed && demo.options().music && t > musicFadeStartSeconds)
        setMusicVolume(musicFadeVolume(t));
    return result;
}

void finishFrame(const Demo& demo, ShowControls& controls, double frameMs) {
    noteFrameTime(controls.meter, frameMs);
    if (!controls.readout || !demo.surface || !demo.surface->pixels) return;
    drawTextBox(*demo.surface, readoutMargin, readoutMargin, readoutFor(demo, controls));
}

std::vector<std::string> readoutFor(const Demo& demo, const ShowControls& controls) {
    const RenderBackend* backend = demo.driver().backend();
    // A refined picture holds the samples of all its passes.
    FrameData shown = demo.renderedRecord();
    if (demo.refinedPasses() > 1) shown.samplesPerFrame *= demo.refinedPasses();
    return readoutLines(controls.meter, shown, backend ? backend->describe() : "no backend",
                        demo.show.demoTime, controls.paused);
}

std::vector<std::string> readoutLines(const FrameRateMeter& meter, const FrameData& rendered,
                                      const std::string& backend, float demoTime, bool paused) {
    return {fixed(framesPerSecond(meter), 1) + " fps  " + fixed(meter.lastMs, 1) + " ms",
            std::to_string(rendered.samplesPerFrame) + " spp  " + std::to_string(rendered.width) + "x" +
                std::to_string(rendered.height),
            backend, "t " + fixed(demoTime, 2) + " s" + (paused ? "  paused" : "")};
}
