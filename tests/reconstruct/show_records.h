#pragma once
// Records of the show for the reconstruction tests: two successive ticks as
// the live show makes them.
#include "anim/show_replay.h"
#include "scene/world.h"

// A live tick at 30 frames a second.
constexpr float liveTickMs = 33.333333f;

struct TickPair {
    FrameData before;
    FrameData now;
};

// The records of ticks tick - 1 and tick, both at the given frame size.
inline TickPair successiveTicks(int tick, int width, int height) {
    ShowState show;
    startShow(show, nullptr);
    TickPair pair;
    replayShow(show, 0, tick, liveTickMs);
    pair.before = show.world.frame;
    replayShow(show, tick, tick + 1, liveTickMs);
    pair.now = show.world.frame;
    setFrameSize(pair.before, width, height);
    setFrameSize(pair.now, width, height);
    return pair;
}
