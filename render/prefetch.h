#pragma once
// Asks for memory a loop's gathers will read: the processor's own reading
// ahead follows loads, not gathers, which otherwise wait on memory.
#include <hwy/cache_control.h>

#include <cstddef>

// A hint only: it never faults, wherever `from` points.
inline void prefetchFloats(const float* from, size_t floats) {
    const char* bytes = reinterpret_cast<const char*>(from);
    for (size_t b = 0; b < floats * sizeof(float); b += 64) hwy::Prefetch(bytes + b);
}
