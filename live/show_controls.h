#pragma once
// What the viewer can do to the live show besides flying the camera: pause it,
// jump back or forward, and show a readout of the renderer over the picture.
#include <string>
#include <vector>

#include "anim/show_state.h"
#include "live/show_keys.h"
#include "demo/demo.h"

// How far Left and Right jump.
constexpr double seekStepSeconds = 5.0;

// Frame times, smoothed so that the readout's rate does not flicker.
struct FrameRateMeter {
    double lastMs = 0.0;
    double smoothedMs = 0.0;  // 0 until the first frame
};
void noteFrameTime(FrameRateMeter& meter, double frameMs);
double framesPerSecond(const FrameRateMeter& meter);

struct ShowControls {
    bool paused = false;
    ShowState pausedAt;  // the moment on screen when the show was paused
    bool readout = false;
    FrameRateMeter meter;
};

// Runs the show's animation without rendering up to `seconds` of demo time
// (at most the show's length), in the 10 ms steps the headless jobs take.
void skipAhead(Demo& demo, double seconds);
// Puts the show at `seconds`, clamped to the show: later moments are reached by
// running on from the current one, earlier ones by starting the show afresh,
// as Demo::init does, and skipping ahead. The music follows.
void seekShow(Demo& demo, double seconds);

// Applies the presses of one frame: jumps, then pause or resume (with the
// music), then the readout.
void applyShowKeys(Demo& demo, ShowControls& controls, const ShowKeys& keys);
// One tick of the show: the running show advances by frameMs; a paused show
// renders its paused moment again. The music follows the fade.
TickResult tickLiveShow(Demo& demo, ShowControls& controls, float frameMs, std::string& error);
// After a tick, while the surface is still drawable: notes the frame's time and
// draws the readout over the picture when it is on.
void finishFrame(const Demo& demo, ShowControls& controls, double frameMs);

// The readout's lines for the frame just made: rate and frame time, samples
// per pixel and size of the record it was rendered from, the backend, the demo clock.
std::vector<std::string> readoutFor(const Demo& demo, const ShowControls& controls);
std::vector<std::string> readoutLines(const FrameRateMeter& meter, const FrameData& rendered,
                                      const std::string& backend, float demoTime, bool paused);
