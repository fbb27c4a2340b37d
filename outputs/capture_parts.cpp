#include "outputs/capture_parts.h"

#include <cstdio>

#include "base/exit_codes.h"
#include "base/decimal_text.h"

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
std::string partSecondsText(double seconds) {
    return decimalText(seconds, 12);
}
}  // namespace

std::string partLine(const CapturePart& part, const CapturePlan& plan, const std::string& toText) {
    if (part.empty()) return "0 -1 - -";
    const std::string from = part.firstTick == 0 ? "0" : partSecondsText((part.firstTick - 0.5) / plan.fps);
    const std::string to = part.lastTick == plan.lastTick ? toText : partSecondsText((part.lastTick + 0.5) / plan.fps);
    return std::to_string(part.firstTick) + " " + std::to_string(part.lastTick) + " " + from + " " + to;
}

int runListParts(const ShowRange& range, const PartSplitSettings& split) {
    CapturePlan plan;
    std::string error;
    if (!planCapture(range, plan, error)) {
        std::fprintf(stderr, "template: %s\n", error.c_str());
        return exitError;
    }
    const PartSplit how = split.partShares > 0 ? PartSplit::Shares : PartSplit::Frames;
    const int n = split.partShares > 0 ? split.partShares : split.partFrames;
    for (const CapturePart& part : splitCapture(plan, how, n, showLengthSeconds))
        std::printf("%s\n", partLine(part, plan, partSecondsText(range.toSeconds)).c_str());
    return exitDone;
}
