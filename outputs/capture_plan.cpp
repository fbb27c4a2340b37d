#include "outputs/capture_plan.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "anim/show_clock.h"

namespace {
// Slack for seconds typed in decimal: 12.3 s at 10 frames/s is tick 123.
constexpr double tickSlack = 1e-6;
constexpr int maxFps = 1000;
}  // namespace

bool planCapture(int fps, double fromSeconds, double toSeconds, float showSeconds, CapturePlan& plan,
                 std::string& error) {
    if (fps < 1 || fps > maxFps) {
        error = "the frame rate must be between 1 and " + std::to_string(maxFps) + " frames per second";
        return false;
    }
    if (!std::isfinite(fromSeconds) || !std::isfinite(toSeconds) || fromSeconds < 0.0 || toSeconds < fromSeconds) {
        error = "the part to capture must satisfy 0 <= from <= to";
        return false;
    }
    plan = CapturePlan{};
    plan.fps = fps;
    plan.frameMs = 1000.0f / static_cast<float>(fps);

    // The demo clock exactly as the tick runs it finds the show's last frame.
    plan.lastShowTick = runShowClock(plan.frameMs, INT_MAX, showSeconds).tick;

    const double firstWanted = std::ceil(fromSeconds * fps - tickSlack);
    plan.firstTick = firstWanted > plan.lastShowTick ? plan.lastShowTick + 1 : static_cast<int>(firstWanted);
    // A part ends before `to`, so --from 0 --to 20 lasts exactly 20 s; a part
    // that reaches the end of the show takes every frame the show presents.
    const double lastWanted =
        toSeconds >= showSeconds ? plan.lastShowTick : std::ceil(toSeconds * fps - tickSlack) - 1.0;
    plan.lastTick = lastWanted < plan.lastShowTick ? static_cast<int>(lastWanted) : plan.lastShowTick;
    if (plan.frameCount() == 0) {
        char text[160];
        std::snprintf(text, sizeof text, "no frame to capture between %g s and %g s (the show ends at %g s)",
                      fromSeconds, toSeconds, static_cast<double>(showSeconds));
        error = text;
        return false;
    }
    return true;
}

std::string frameFileName(int tick) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.png", tick);
    return name;
}
