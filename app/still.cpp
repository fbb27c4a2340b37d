#include "app/still.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "app/exit_codes.h"
#include "app/output_file.h"
#include "app/image_writer.h"
#include "anim/show_clock.h"
#include "demo/surface.h"

namespace {
// Running further than this many ticks ahead would take minutes; an int would wrap soon after.
constexpr int maxStillTicks = 10000000;
}  // namespace

bool stillTick(double seconds, double dtMs, int& tick, std::string& error) {
    char text[320];
    const double ticks = std::round(seconds * 1000.0 / dtMs);
    if (!(ticks <= maxStillTicks)) {
        std::snprintf(text, sizeof text,
                      "--still %g at --dt %g ms is tick %.10g, beyond the limit of %d ticks: "
                      "for that moment --dt must be from %g to 10000 ms",
                      seconds, dtMs, ticks, maxStillTicks, seconds * 1000.0 / maxStillTicks);
        error = text;
        return false;
    }
    const ShowClockRun run = runShowClock(static_cast<float>(dtMs), static_cast<int>(ticks), showLengthSeconds);
    const double tickSeconds = ticks * dtMs / 1000.0;
    if (run.stalled) {
        std::snprintf(text, sizeof text,
                      "--still %g at --dt %g ms: the show's clock stops advancing at %.6f s (tick %d), "
                      "so only moments up to there are reached: use a longer --dt",
                      seconds, dtMs, run.seconds, run.tick);
    } else if (run.ended) {
        std::snprintf(text, sizeof text,
                      "--still %g at --dt %g ms is after the show's last frame (tick %d): "
                      "the still must be from 0 to %g s",
                      seconds, dtMs, run.tick, run.tick * dtMs / 1000.0);
    } else if (std::fabs(run.seconds - tickSeconds) > dtMs / 2000.0) {
        // The show's single-precision clock drifts from the tick's moment when
        // the frame time is tiny against the time it sums up to.
        std::snprintf(text, sizeof text,
                      "--still %g at --dt %g ms: the show's clock reads %.6f s at tick %.0f, more than half a frame "
                      "from %g s (it must be within %g s): use a longer --dt",
                      seconds, dtMs, run.seconds, ticks, tickSeconds, dtMs / 2000.0);
    } else {
        tick = run.tick;
        return true;
    }
    error = text;
    return false;
}

int runStill(const Options& options, const GameOptions& gameOptions) {
    std::string error;
    int last = 0;
    StillFormat format = StillFormat::Png;
    if (!stillFormatFor(options.outPath, format, error) || !stillTick(options.stillSeconds, options.dtMs, last, error) ||
        !checkNewOutputFile(options.outPath, options.overwrite, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    const bool exr = format == StillFormat::Exr;
    if (exr && options.preview) {
        std::fprintf(stderr, "template: %s holds the exact frame's light: a --preview has none to give\n",
                     options.outPath.c_str());
        return exitError;
    }
    if (static_cast<long long>(last) * options.passes > std::numeric_limits<int>::max()) {
        std::fprintf(stderr, "template: --still %g with --passes %d runs past the pass counter: use fewer passes\n",
                     options.stillSeconds, options.passes);
        return exitError;
    }
    GameOptions stillOptions = gameOptions;
    stillOptions.keepLight = exr;  // the light before the tone curve is what an .exr keeps
    Game game(stillOptions);
    const int width = gameOptions.pictureWidth, height = gameOptions.pictureHeight;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0u);
    Surface surface(width, height, pixels.data(), width);
    game.surface = &surface;
    if (!game.init(error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    if (options.preview) usePreviewSetting(game);
    const float dt = static_cast<float>(options.dtMs);
    for (int tick = 0; tick < last; ++tick) game.advance(tick == 0 ? 0.0f : dt);
    // The frame counter seeds the noise: a still is the capture's frame of that tick.
    // With several passes a tick takes the pass numbers tick * passes on.
    frameDriver().setPassCounter(last * options.passes);
    if (game.tick(last == 0 ? 0.0f : dt, error) == TickResult::Failed) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }

    bool written = false;
    if (!exr)
        written = writeStill(options.outPath.c_str(), format, pixels.data(), width, height, width, options.overwrite,
                             error);
    else if (game.light())
        written = writeExr(options.outPath.c_str(), game.light(), game.viewArea().width, game.viewArea().height,
                           options.overwrite, error);
    else
        error = "this renderer gave no light for " + options.outPath;
    if (!written) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    std::printf("wrote %s (t = %.3f s, tick %d)\n", options.outPath.c_str(), game.show.demoTime, last);
    return exitDone;
}
