#pragma once
// Which ticks a headless capture renders, on the show's own clock.
#include <string>

#include "anim/show_replay.h"

// The part of the show a capture, an assembly or a farm's list of parts covers.
struct ShowRange {
    int fps = 60;                          // --fps
    double fromSeconds = 0.0;              // --from
    double toSeconds = showLengthSeconds;  // --to
};

struct CapturePlan {
    int fps = 60;
    float frameMs = 0.0f;   // every tick but the first (which gets 0)
    int firstTick = 0;      // the first tick that is rendered and written
    int lastTick = -1;      // the last one, inclusive
    int lastShowTick = -1;  // the last tick the show presents (its clock not past the end)

    int frameCount() const { return lastTick >= firstTick ? lastTick - firstTick + 1 : 0; }
    // Where the first frame sits on the show's clock, and how long the frames last.
    double startSeconds() const { return static_cast<double>(firstTick) / fps; }
    double durationSeconds() const { return static_cast<double>(frameCount()) / fps; }
    // The duration a tick is given: 0 for tick 0, as in the live show.
    float tickMs(int tick) const { return replayTickMs(tick, frameMs); }
};

// Ticks at 1000/fps ms; tick k shows the moment k/fps. The part is every tick
// with from <= k/fps < to that the show presents (up to the show's last frame
// when to reaches the end of the show): the show ends on the first
// tick whose clock (accumulated in single precision like the demo's) passes
// showSeconds, and that tick is never presented, so it is not captured.
// False with a one-line reason for a bad rate or an empty part.
bool planCapture(int fps, double fromSeconds, double toSeconds, float showSeconds, CapturePlan& plan,
                 std::string& error);
inline bool planCapture(const ShowRange& range, CapturePlan& plan, std::string& error) {
    return planCapture(range.fps, range.fromSeconds, range.toSeconds, showLengthSeconds, plan, error);
}

// "frame_00042.png": files are numbered by tick, so a part's files carry the
// same names (and pixels) as in a capture of the whole show.
std::string frameFileName(int tick);
