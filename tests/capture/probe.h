#pragma once
// Looks inside encoded videos with ffprobe and ffmpeg, for the capture tests.
#include <cstdint>
#include <string>
#include <vector>

struct StreamFacts {
    std::string type;  // "video" or "audio"
    double duration = 0.0;
    int frames = 0;  // decoded frame count (video)
};

struct VideoFacts {
    bool ok = false;
    double duration = 0.0;
    std::vector<StreamFacts> streams;
    const StreamFacts* find(const std::string& type) const;
};

VideoFacts probeVideo(const std::string& path);
// Everything a shell command writes to stdout.
std::vector<uint8_t> commandOutput(const std::string& command);
std::string shellQuoted(const std::string& text);
