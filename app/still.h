#pragma once
#include <string>

#include "app/options.h"
#include "demo/game.h"

// Renders the frame the show presents at Options::stillSeconds when every tick
// takes Options::dtMs, and writes it as a PNG. Returns the exit code.
int runStill(const Options& options, const GameOptions& gameOptions);

// The tick showing a moment at a fixed frame time (tick 0 takes 0 ms, each later
// one dtMs), checked on the show's own clock: false, with the allowed range, when
// the tick is beyond 10 million, after the show's last frame, or when the clock
// there is more than half a frame from the tick's moment or has stopped advancing.
bool stillTick(double seconds, double dtMs, int& tick, std::string& error);
