#pragma once
// What the batched kernel's per-target code shares with the rest of the CPU kernel.
#include <cstddef>

// Float lanes of the widest vector any target has (512 bits).
constexpr size_t maxPathLanes = 16;

// The library's cosine and sine of x, taken exactly as the scalar kernel takes
// them (vector sine and cosine would give other bits).
void laneCosSin(float x, float& cosine, float& sine);
