#pragma once
// Headless capture: renders the show (or a part of it) tick by tick at a fixed
// frame time into numbered PNG files and/or a video with the music.
#include "app/options.h"
#include "demo/game.h"

constexpr int exitCaptureFailed = 2;         // the same code as every other error
constexpr int exitCaptureInterrupted = 130;  // Ctrl-C: what was done is kept

// Uses options.captureDir, videoPath, fps, fromSeconds, toSeconds and mute.
// Returns the process exit code: 0 when every frame was written.
int runCapture(const Options& options, const GameOptions& gameOptions);
