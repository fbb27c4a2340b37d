#pragma once
#include "app/options.h"
#include "demo/game.h"

// Renders the frame the show presents at Options::stillSeconds when every tick
// takes Options::dtMs, and writes it as a PNG. Returns the exit code.
int runStill(const Options& options, const GameOptions& gameOptions);

// Tick count for a moment at a fixed frame time: tick 0 takes 0 ms, each later tick dtMs.
int tickForMoment(double seconds, double dtMs);
