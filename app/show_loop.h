#pragma once
// The live show: window, timed ticks, events.
#include <cstdint>

#include "app/options.h"
#include "demo/game.h"

// Milliseconds between two counter readings, counts-per-millisecond truncated
// to a whole number first (as the tick timing has always been measured).
double frameMilliseconds(int64_t start, int64_t end, int64_t countsPerSecond);

// Runs the show until Esc or a window close (returns 1). The end of the show
// ends the process with code 0; fatal errors with code 2.
int runShow(const Options& options, const GameOptions& gameOptions);
