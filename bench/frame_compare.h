#pragma once
// How far one packed 0x00RRGGBB frame is from another of the same size: what the
// GPU check needs to tell float rounding from a real fault.
#include <cstdint>
#include <cstddef>

struct FrameDifference {
    double psnr = 0.0;     // dB over the red, green and blue samples; infinity when equal
    int largest = 0;       // largest difference of one channel, 0..255
    double within2 = 0.0;  // share of pixels whose every channel is within 2 levels
    double within8 = 0.0;  // ... within 8 levels
};

// Both frames hold `pixels` words; the top byte is ignored.
FrameDifference compareFrames(const uint32_t* a, const uint32_t* b, size_t pixels);
