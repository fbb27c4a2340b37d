#pragma once
#include <cstdint>

// A view of 32-bit pixels 0xAARRGGBB (bytes B, G, R, A in memory); row 0 is the top.
class Surface {
public:
    // Wraps pixels owned by someone else.
    Surface(int w, int h, uint32_t* p, int pitchInPixels) : pixels(p), width(w), height(h), pitch(pitchInPixels) {}
    // Loads an image file upright into a 64-byte-aligned buffer it owns.
    // A missing or undecodable file is fatal.
    explicit Surface(const char* path);

    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;  // pixels, not bytes
};
