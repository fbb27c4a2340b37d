#pragma once
// --stats FILE: one line per presented frame of the live show, for measuring
// what a machine makes of the show: demo time in seconds, frame milliseconds,
// samples per pixel, render size WxH.
#include <cstdio>
#include <string>

class FrameStats {
public:
    FrameStats() = default;
    ~FrameStats();
    FrameStats(const FrameStats&) = delete;
    FrameStats& operator=(const FrameStats&) = delete;

    // Creates the file (a new name or an existing regular file). False with error.
    bool open(const std::string& path, std::string& error);
    void add(double demoSeconds, double frameMs, int samples, int width, int height);

private:
    std::FILE* file_ = nullptr;
};
