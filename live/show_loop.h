#pragma once
// The live show: window, timed ticks, events.
#include <cstdint>

#include <string>

#include "demo/demo.h"

struct LiveSettings {
    double startSeconds = 0.0;        // --start: jump into the show
    bool software = false;            // --software: skip OpenGL
    bool fullscreen = false;          // --fullscreen: start on the whole screen
    int windowWidth = frameWidth;     // --window WxH: the window's size
    int windowHeight = frameHeight;
    double targetFps = 30.0;          // --target-fps: the adaptive quality's aim
    bool adaptiveQuality = true;      // --quality adaptive or clean; false: exact
    std::string statsPath;            // --stats FILE: a line per presented frame
};

// Milliseconds between two counter readings, counts-per-millisecond truncated
// to a whole number first (the tick timing measures in whole counts per millisecond).
double frameMilliseconds(int64_t start, int64_t end, int64_t countsPerSecond);

// Runs the show until its end (exitDone), Esc or a window close (exitUserEnded)
// or an error that stops it (exitError, reported on the console and in the caption).
int runShow(const LiveSettings& live, const DemoOptions& demoOptions);

// Starts the track of demoOptions.dataDir at the show's moment startSeconds
// unless the music is off; a track that cannot play costs one console line
// ("music off: why") and the show goes on silently.
void startShowMusic(const DemoOptions& demoOptions, double startSeconds);
