#pragma once
// The command line: the live show by default, or one of the headless jobs.
#include <string>
#include <vector>

#include "anim/show_state.h"
#include "scene/frame_driver.h"

enum class RunMode { Show, Still, Capture, Assemble, ListParts, Benchmark, Help, Version };

struct Options {
    RunMode mode = RunMode::Show;
    // --still SECONDS [--out FILE] [--dt MS]
    double stillSeconds = 0.0;
    std::string outPath = "still.png";
    double dtMs = 10.0;
    // --capture DIR and/or --video FILE [--fps N] [--from S] [--to S]
    std::string captureDir;
    std::string videoPath;
    int fps = 60;
    double fromSeconds = 0.0;
    double toSeconds = showLengthSeconds;
    // --benchmark [--moments A,B,...] [--runs N]
    std::vector<double> benchmarkMoments = {0.5, 13, 30, 60, 97};
    int benchmarkRuns = 3;  // timed frames per moment, after one warm-up
    // live show
    double startSeconds = 0.0;  // --start: jump into the show
    bool software = false;      // --software: skip OpenGL
    bool fullscreen = false;    // --fullscreen: start on the whole screen
    int windowWidth = 640;      // --window WxH: the window's size
    int windowHeight = 480;
    double targetFps = 30.0;       // --target-fps: the adaptive quality's aim
    bool adaptiveQuality = true;   // --quality adaptive|exact
    std::string statsPath;         // --stats FILE: a line per presented frame
    // stills and captures
    bool preview = false;     // --preview: the lowest live setting, filtered
    int outputWidth = 640;    // --size WxH: the picture's size
    int outputHeight = 480;
    bool keepAspect = false;  // --keep-aspect: a 4:3 picture between bars instead of a wider view
    int passes = 1;           // --passes N: passes of each moment averaged
    bool overwrite = false;   // --overwrite: replace existing outputs
    bool dryRun = false;      // --dry-run: a capture's checks, then stop before the first frame
    // videos
    std::string codec;    // --codec; empty: the container's default
    int crf = -1;         // --crf; -1: the codec's default quality
    // --assemble DIR --video FILE: frames already captured into one video
    std::string assembleDir;
    // --list-parts [--part-frames N | --parts N]: a capture's parts for a farm
    int partFrames = 60;
    int partShares = 0;  // 0: parts of partFrames frames
    // shared
    bool overlays = true;  // --no-overlays
    bool mute = false;     // --mute
    std::string dataDir;   // --data; empty = look in the usual places
    DriverOptions driver;  // --backend, --threads, --cpu-kernel
};

// Each option that takes a value takes it as the next word or after '='
// (--still=60). False with a one-line reason, giving the allowed range, for
// anything malformed.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
std::string usageText(const char* program);
// Every option the parser knows, in --help order.
std::vector<std::string> optionNames();
