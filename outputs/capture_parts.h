#pragma once
// A capture split into parts for a render farm: each part is a range of
// ticks and the --from/--to that make the program render exactly those, so
// parts rendered anywhere fill one folder as a one-machine capture would.
#include <string>
#include <vector>

#include "outputs/capture_plan.h"

struct CapturePart {
    int firstTick = 0;
    int lastTick = -1;  // below firstTick: a share with nothing to render
    bool empty() const { return lastTick < firstTick; }
};

// --part-frames N or --parts N.
struct PartSplitSettings {
    int partFrames = 60;
    int partShares = 0;  // 0: parts of partFrames frames
};

enum class PartSplit {
    Frames,  // parts of n frames (the last one shorter)
    Shares,  // n parts as equal as whole frames allow; some may be empty
};

// The plan's ticks in order, every one in exactly one part. A part never
// starts past showSeconds * fps (a --from cannot say so): at high rates the
// show's single-precision clock runs slow and presents a few ticks more,
// and the part before takes them.
std::vector<CapturePart> splitCapture(const CapturePlan& plan, PartSplit split, int n, float showSeconds);

// "first-tick last-tick from to", one line a part: from and to are half a
// tick outside the part's ticks, so they select exactly its own whatever the
// rounding of the decimal text; the first part from tick 0 says 0 and the
// last says toText (at the end of the show it means "to the last frame").
// An empty share is "0 -1 - -"; in Frames mode there is none.
std::string partLine(const CapturePart& part, const CapturePlan& plan, const std::string& toText);

// --list-parts: prints the parts of the range split by --part-frames or
// --parts. Returns the process exit code.
int runListParts(const ShowRange& range, const PartSplitSettings& split);
