#pragma once
// engine-check's command line. Numbers follow the program's rules: plain
// decimal for seconds and dB, digits only for counts and sizes, each within
// its range.
#include <string>
#include <vector>

#include "kernel/frame_data.h"

struct FrameSize {
    int width = frameWidth;
    int height = frameHeight;
};

struct CheckOptions {
    std::vector<double> moments = {0.5, 13, 30, 60, 97};
    std::vector<FrameSize> sizes = {FrameSize{}};
    int runs = 30;
    int cpuRuns = 3;
    int threads = 0;        // 0: one per core
    double minPsnr = 30.0;  // least PSNR of a device frame against the CPU frame
    double minMargin = 10.0;  // how much closer than the CPU's next pass it must be, in dB
    bool layers = false;      // also compare the light and guide layers
    bool cpuDevice = false;   // a second CPU backend stands in for the GPU
    std::string ppmDir;
    bool allowNoGpu = false;
    bool help = false;
};

// The sides a size may have, as for the program's --size.
constexpr int minFrameSide = 16, maxFrameSide = 16384;

extern const char* const checkUsage;

// False with a one-line reason when the command line is refused.
bool parseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& error);
