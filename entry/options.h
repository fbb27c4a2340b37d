#pragma once
// The command line: the live show by default, or one of the headless jobs.
// Every value is parsed once, into the settings of the job that uses it.
#include <string>
#include <vector>

#include "outputs/benchmark_mode.h"
#include "outputs/capture.h"
#include "outputs/capture_parts.h"
#include "live/show_loop.h"
#include "outputs/still.h"
#include "demo/demo.h"

enum class RunMode { Show, Still, Capture, Assemble, ListParts, Benchmark, Help, Version };

struct Options {
    RunMode mode = RunMode::Show;
    LiveSettings live;                  // --start ... --stats
    StillSettings still;                // --still, --out, --dt
    CaptureSettings capture;            // --capture or --assemble DIR, --video, --codec, --crf, --fps, --from, --to,
                                        // --dry-run
    PartSplitSettings parts;            // --part-frames, --parts
    BenchmarkSettings benchmark;        // --moments, --runs
    OutputChoices output;               // --preview, --overwrite
    DemoOptions demo;                   // --size, --keep-aspect, --passes, --no-overlays, --mute, the renderer
    std::string dataDir;                // --data as given; empty: look in the usual places
};

// Each option that takes a value takes it as the next word or after '='
// (--still=60). False with a one-line reason, giving the allowed range, for
// anything malformed, and for options that do not apply to the job asked for.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
std::string usageText(const char* program);
// Every option the parser knows, in --help order.
std::vector<std::string> optionNames();
