#pragma once
// The live show: window, timed ticks, events.
#include <cstdint>

#include "app/options.h"
#include "demo/game.h"

// Milliseconds between two counter readings, counts-per-millisecond truncated
// to a whole number first (the tick timing measures in whole counts per millisecond).
double frameMilliseconds(int64_t start, int64_t end, int64_t countsPerSecond);

// Runs the show until its end (exitDone), Esc or a window close (exitUserEnded)
// or an error that stops it (exitError, reported on the console and in the caption).
int runShow(const Options& options, const GameOptions& gameOptions);
