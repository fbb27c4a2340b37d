#include "outputs/still.h"

#include <cstdio>
#include <limits>
#include <vector>

#include "base/exit_codes.h"
#include "base/output_file.h"
#include "outputs/image_writer.h"
#include "anim/show_replay.h"
#include "outputs/headless_demo.h"

bool stillTick(double seconds, double dtMs, int& tick, std::string& error) {
    const MomentTick moment = momentTick(seconds, dtMs);
    const ShowClockRun& run = moment.run;
    char text[320];
    switch (moment.reach) {
        case MomentReach::Reached:
            tick = run.tick;
            return true;
        case MomentReach::BeyondTickLimit:
            std::snprintf(text, sizeof text,
                          "--still %g at --dt %g ms is tick %.10g, beyond the limit of %d ticks: "
                          "for that moment --dt must be from %g to 10000 ms",
                          seconds, dtMs, moment.ticks, maxReplayTicks, seconds * 1000.0 / maxReplayTicks);
            break;
        case MomentReach::ClockStalled:
            std::snprintf(text, sizeof text,
                          "--still %g at --dt %g ms: the show's clock stops advancing at %.6f s (tick %d), "
                          "so only moments up to there are reached: use a longer --dt",
                          seconds, dtMs, run.seconds, run.tick);
            break;
        case MomentReach::AfterShow:
            std::snprintf(text, sizeof text,
                          "--still %g at --dt %g ms is after the show's last frame (tick %d): "
                          "the still must be from 0 to %g s",
                          seconds, dtMs, run.tick, run.tick * dtMs / 1000.0);
            break;
        case MomentReach::ClockDrifted:
            std::snprintf(text, sizeof text,
                          "--still %g at --dt %g ms: the show's clock reads %.6f s at tick %.0f, more than half a "
                          "frame from %g s (it must be within %g s): use a longer --dt",
                          seconds, dtMs, run.seconds, moment.ticks, moment.tickSeconds, dtMs / 2000.0);
            break;
    }
    error = text;
    return false;
}

int runStill(const StillSettings& still, const OutputChoices& output, const DemoOptions& demoOptions) {
    std::string error;
    int last = 0;
    StillFormat format = StillFormat::Png;
    if (!stillFormatFor(still.outPath, format, error) || !stillTick(still.seconds, still.dtMs, last, error) ||
        !checkNewOutputFile(still.outPath, output.overwrite, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    const bool exr = format == StillFormat::Exr;
    if (exr && (output.preview || !output.rung.empty())) {
        std::fprintf(stderr, "template: %s holds the exact frame's light: a %s has none to give\n",
                     still.outPath.c_str(), output.preview ? "--preview" : "--rung");
        return exitError;
    }
    if (static_cast<long long>(last) * demoOptions.passes > std::numeric_limits<int>::max()) {
        std::fprintf(stderr, "template: --still %g with --passes %d runs past the pass counter: use fewer passes\n",
                     still.seconds, demoOptions.passes);
        return exitError;
    }
    DemoOptions stillOptions = demoOptions;
    stillOptions.keepLight = exr;  // the light before the tone curve is what an .exr keeps
    HeadlessDemo headless(stillOptions);
    if (!headless.init(output, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    Demo& demo = headless.demo();
    FrameDriver& driver = headless.driver();
    const Surface& picture = headless.picture();
    const float dt = static_cast<float>(still.dtMs);
    // A reconstructed picture is made of the frames before it: those of the
    // second before the moment are rendered first, as the live show would have.
    const int first = last - demo.warmUpTicks(last, dt);
    replayShow(demo.show, 0, first, dt);
    for (int tick = first; tick <= last; ++tick) {
        // The frame counter seeds the noise: a still is the capture's frame of that tick.
        // With several passes a tick takes the pass numbers tick * passes on.
        driver.setPassCounter(tick * demoOptions.passes);
        if (demo.tick(replayTickMs(tick, dt), error) == TickResult::Failed) {
            std::fprintf(stderr, "template: %s\n", error.c_str());
            return exitError;
        }
    }

    bool written = false;
    if (!exr)
        written = writeStill(still.outPath.c_str(), format, picture.pixels, picture.width, picture.height,
                             picture.pitch, output.overwrite, error);
    else if (demo.light())
        written = writeExr(still.outPath.c_str(), demo.light(), demo.viewArea().width, demo.viewArea().height,
                           output.overwrite, error);
    else
        error = "this renderer gave no light for " + still.outPath;
    if (!written) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    std::printf("wrote %s (t = %.3f s, tick %d)\n", still.outPath.c_str(), demo.show.demoTime, last);
    return exitDone;
}
