#include "app/capture_parts.h"

#include <cstdio>

#include "app/exit_codes.h"

std::vector<CapturePart> splitCapture(const CapturePlan& plan, PartSplit split, int n, float showSeconds) {
    const int count = plan.frameCount();
    std::vector<int> starts;
    if (split == PartSplit::Frames) {
        for (int tick = plan.firstTick; tick <= plan.lastTick; tick += n) starts.push_back(tick);
    } else {
        for (int i = 0; i < n; ++i)
            starts.push_back(plan.firstTick + static_cast<int>(static_cast<long long>(i) * count / n));
    }
    const double lastStart = static_cast<double>(showSeconds) * plan.fps;
    std::vector<CapturePart> parts;
    int open = -1;  // the last part with ticks
    for (size_t i = 0; i < starts.size(); ++i) {
        CapturePart part{starts[i], i + 1 < starts.size() ? starts[i + 1] - 1 : plan.lastTick};
        if (!part.empty() && part.firstTick > lastStart && open >= 0) {
            parts[open].lastTick = part.lastTick;
            part = CapturePart{};
        }
        if (part.empty() && split == PartSplit::Frames) continue;
        parts.push_back(part);
        if (!part.empty()) open = static_cast<int>(parts.size()) - 1;
    }
    return parts;
}

namespace {
// Seconds as short decimal text that reads back as the same double's tick.
std::string secondsText(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.12f", seconds);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}
}  // namespace

std::string partLine(const CapturePart& part, const CapturePlan& plan, const std::string& toText) {
    if (part.empty()) return "0 -1 - -";
    const std::string from = part.firstTick == 0 ? "0" : secondsText((part.firstTick - 0.5) / plan.fps);
    const std::string to = part.lastTick == plan.lastTick ? toText : secondsText((part.lastTick + 0.5) / plan.fps);
    return std::to_string(part.firstTick) + " " + std::to_string(part.lastTick) + " " + from + " " + to;
}

int runListParts(const Options& options) {
    CapturePlan plan;
    std::string error;
    if (!planCapture(options.fps, options.fromSeconds, options.toSeconds, showLengthSeconds, plan, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    const PartSplit split = options.partShares > 0 ? PartSplit::Shares : PartSplit::Frames;
    const int n = options.partShares > 0 ? options.partShares : options.partFrames;
    for (const CapturePart& part : splitCapture(plan, split, n, showLengthSeconds))
        std::printf("%s\n", partLine(part, plan, secondsText(options.toSeconds)).c_str());
    return exitDone;
}
