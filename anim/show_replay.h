#pragma once
// The show replayed headless at a fixed frame time, as every job that makes the
// frame of a moment replays it: tick 0 takes 0 ms, every later tick dtMs. A
// still, a capture, the benchmark and engine-check all step through here, so a
// moment's frame is the same whoever makes it.
#include "anim/show_clock.h"
#include "anim/show_state.h"

// Running further than this many ticks ahead would take minutes; an int would wrap soon after.
constexpr int maxReplayTicks = 10000000;

// The duration a replayed tick is given.
inline float replayTickMs(int tick, float dtMs) {
    return tick == 0 ? 0.0f : dtMs;
}

// Steps the show through the ticks from fromTick up to, not including,
// untilTick; returns the tick a later call goes on from.
int replayShow(ShowState& show, int fromTick, int untilTick, float dtMs);

// Whether the show's own clock reaches a moment at a fixed frame time.
enum class MomentReach {
    Reached,
    BeyondTickLimit,  // the moment's tick is past maxReplayTicks
    ClockStalled,     // the clock stops advancing before it
    AfterShow,        // the show has ended by then
    ClockDrifted,     // the clock there is more than half a frame from the moment
};

struct MomentTick {
    MomentReach reach = MomentReach::Reached;
    double ticks = 0.0;        // round(seconds * 1000 / dtMs), before any limit
    double tickSeconds = 0.0;  // the moment that tick stands for
    ShowClockRun run;          // the show's clock stepped towards it (tick: the moment's tick when reached)
};

// The tick that shows a moment when every tick but the first takes dtMs.
MomentTick momentTick(double seconds, double dtMs);
