#pragma once
#include <string>

#include "outputs/output_choices.h"
#include "demo/demo.h"

struct StillSettings {
    double seconds = 0.0;             // --still: the moment
    std::string outPath = "still.png";  // --out
    double dtMs = 10.0;               // --dt: the frame time of every tick but the first
};

// Renders the frame the show presents at still.seconds when every tick takes
// still.dtMs, and writes it in the format its name asks for (PNG,
// JPEG, TIFF, or OpenEXR for the light before the tone curve). Returns the exit code.
int runStill(const StillSettings& still, const OutputChoices& output, const DemoOptions& demoOptions);

// The tick showing a moment at a fixed frame time (tick 0 takes 0 ms, each later
// one dtMs), checked on the show's own clock: false, with the allowed range, when
// the tick is beyond 10 million, after the show's last frame, or when the clock
// there is more than half a frame from the tick's moment or has stopped advancing.
bool stillTick(double seconds, double dtMs, int& tick, std::string& error);
