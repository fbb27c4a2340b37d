#include "anim/show_clock.h"

ShowClockRun runShowClock(float frameMs, int untilTick, float endSeconds) {
    ShowClockRun run;
    while (run.tick < untilTick) {
        const float next = advanceClock(run.seconds, frameMs);
        if (next > endSeconds) {
            run.ended = true;
            break;
        }
        if (next == run.seconds) {
            run.stalled = true;
            break;
        }
        run.seconds = next;
        ++run.tick;
    }
    return run;
}
