#include "anim/show_replay.h"

#include <algorithm>
#include <cmath>

int replayShow(ShowState& show, int fromTick, int untilTick, float dtMs) {
    for (int tick = fromTick; tick < untilTick; ++tick) advanceShow(show, replayTickMs(tick, dtMs));
    return std::max(fromTick, untilTick);
}

MomentTick momentTick(double seconds, double dtMs) {
    MomentTick moment;
    moment.ticks = std::round(seconds * 1000.0 / dtMs);
    if (!(moment.ticks <= maxReplayTicks)) {
        moment.reach = MomentReach::BeyondTickLimit;
        return moment;
    }
    moment.run = runShowClock(static_cast<float>(dtMs), static_cast<int>(moment.ticks), showLengthSeconds);
    moment.tickSeconds = moment.ticks * dtMs / 1000.0;
    if (moment.run.stalled)
        moment.reach = MomentReach::ClockStalled;
    else if (moment.run.ended)
        moment.reach = MomentReach::AfterShow;
    // The show's single-precision clock drifts from the tick's moment when the
    // frame time is tiny against the time it sums up to.
    else if (std::fabs(moment.run.seconds - moment.tickSeconds) > dtMs / 2000.0)
        moment.reach = MomentReach::ClockDrifted;
    return moment;
}
