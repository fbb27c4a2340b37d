#pragma once
// How far a long job has come, on stderr. On a terminal one line is rewritten
// in place a few times a second; into a file or a pipe (a log) a plain line is
// written every few seconds instead, so that the log reads line by line.
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

// "H:MM:SS", whole seconds rounded; negative times read as 0.
std::string clockText(double seconds);

class ProgressLine {
public:
    // `total` frames of `passes` passes each; `out` is a terminal or not.
    ProgressLine(int total, int passes, std::FILE* out, bool terminal);
    // On stderr, in place when stderr is a terminal.
    ProgressLine(int total, int passes);

    // `done` frames written, and `pass` passes of the next: with many passes a
    // frame can take minutes, and the rate and time left count the passes too.
    // `force` shows it whatever the time since the last one (the last frame).
    void update(int done, bool force = false, int pass = 0);
    // Ends the line so that the next message starts on a fresh one.
    void close();

private:
    using Clock = std::chrono::steady_clock;
    std::string text(int done, int pass, Clock::time_point now) const;

    int total_;
    int passes_;
    std::FILE* out_;
    bool terminal_;
    size_t width_ = 0;  // the longest line shown in place
    Clock::time_point start_;
    Clock::time_point lastShown_;
    bool open_ = false;  // a line rewritten in place is waiting for its end
};
