#pragma once
// When nothing of the last frame can be reused: the picture changed as a whole.
#include "kernel/frame_data.h"

// A camera that moves further than this in one frame has cut to another view
// (the show's camera flies a fraction of a unit per frame, the flight keys
// under two; a new camera segment starts tens of units away).
constexpr float cutDistance = 5.0f;
// ... or turns further than this (cosine of 10 degrees).
constexpr float cutTurnCosine = 0.98480775f;

// Another scene, another render size, or a camera cut between the two records.
bool historyBreaks(const FrameData& before, const FrameData& now);
