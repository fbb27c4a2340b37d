#pragma once
#include <cstdint>

// A view of 32-bit pixels 0xAARRGGBB (bytes B, G, R, A in memory); row 0 is the
// top. It never owns its pixels.
class Surface {
public:
    Surface() = default;
    Surface(int w, int h, uint32_t* p, int pitchInPixels) : pixels(p), width(w), height(h), pitch(pitchInPixels) {}

    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;  // pixels, not bytes
};
