#pragma once
// The show's clock exactly as the tick keeps it: tick 0 takes 0 ms, every later
// tick adds frameMs * 0.001 seconds in single precision (see advanceShow). Headless
// jobs run it ahead of time to learn which ticks a fixed frame time reaches.

// One tick of the show's clock: dtMs milliseconds added to it in single precision.
inline float advanceClock(float seconds, float dtMs) {
    return seconds + dtMs * 0.001f;
}

struct ShowClockRun {
    int tick = 0;          // the last tick stepped to
    float seconds = 0.0f;  // the clock at that tick
    bool ended = false;    // the next tick passes the end: `tick` is the show's last presented frame
    bool stalled = false;  // adding frameMs no longer moves the clock: it would never reach the end
};

// Steps from tick 0 up to untilTick, stopping early on the show's last frame
// (the next tick's clock passes endSeconds, and the show ends on it without
// presenting it) or where the clock stops advancing.
ShowClockRun runShowClock(float frameMs, int untilTick, float endSeconds);
