#pragma once
// Headless capture: renders the show (or a part of it) tick by tick at a fixed
// frame time into numbered PNG files and/or a video with the music.
#include "app/exit_codes.h"
#include "app/options.h"
#include "demo/game.h"

// Uses options.captureDir, videoPath, fps, fromSeconds, toSeconds and mute.
// Returns the process exit code: 0 when every frame was written.
int runCapture(const Options& options, const GameOptions& gameOptions);
