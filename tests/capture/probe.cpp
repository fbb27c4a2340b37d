#include "capture/probe.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

const StreamFacts* VideoFacts::find(const std::string& type) const {
    for (const StreamFacts& s : streams)
        if (s.type == type) return &s;
    return nullptr;
}

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<uint8_t> commandOutput(const std::string& command) {
    std::vector<uint8_t> out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.insert(out.end(), buffer, buffer + n);
    pclose(pipe);
    return out;
}

VideoFacts probeVideo(const std::string& path) {
    VideoFacts facts;
    const std::vector<uint8_t> raw = commandOutput(
        "ffprobe -v error -count_frames -show_entries stream=codec_type,duration,nb_read_frames "
        "-show_entries format=duration -of compact " +
        shellQuoted(path));
    std::istringstream lines(std::string(raw.begin(), raw.end()));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string field, kind;
        std::getline(fields, kind, '|');
        StreamFacts stream;
        while (std::getline(fields, field, '|')) {
            const size_t eq = field.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            if (key == "codec_type") stream.type = value;
            if (key == "duration") stream.duration = std::atof(value.c_str());
            if (key == "nb_read_frames") stream.frames = std::atoi(value.c_str());
        }
        if (kind == "stream") facts.streams.push_back(stream);
        if (kind == "format") {
            facts.duration = stream.duration;
            facts.ok = true;
        }
    }
    return facts;
}
