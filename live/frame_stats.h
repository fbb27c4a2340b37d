#pragma once
// --stats FILE: one line per presented frame of the live show, for measuring
// what a machine makes of the show: demo time in seconds, frame milliseconds,
// samples per pixel, render size WxH, and the milliseconds of the frame spent
// reconstructing the picture from the frames before (0 for a frame shown as
// rendered). Each line is written out whole as it is
// made, so a viewer following the file sees the frames as they come.
#include <cstdio>
#include <string>

class FrameStats {
public:
    FrameStats() = default;
    ~FrameStats();
    FrameStats(const FrameStats&) = delete;
    FrameStats& operator=(const FrameStats&) = delete;

    // Creates the file (a new name or an existing regular file), or writes
    // into a device (/dev/null, a terminal). False with error.
    bool open(const std::string& path, std::string& error);
    // A write that fails (a full disk) is reported once on stderr, naming the
    // file and the reason, and no more lines are written: the show goes on.
    void add(double demoSeconds, double frameMs, int samples, int width, int height, double reconstructMs);
    // Closes the file, reporting a failure no line has reported yet.
    void close();

private:
    void fail(int error);

    std::FILE* file_ = nullptr;
    std::string path_;
    bool failed_ = false;
};
