#pragma once
// Whether a frame from the device under test differs from the CPU's frame of
// the same pass by float rounding only. The yardstick is the CPU's frame of the
// next pass: a wrong seed, pass number or sampler table gives a frame like that,
// so rounding must stay well clear of it. A pixel the device never wrote shows
// in its top byte, which the driver's check mode sets before every frame.
#include <cstddef>
#include <cstdint>
#include <string>

#include "frame_compare.h"

struct PixelVerdict {
    FrameDifference difference;   // the device frame against the CPU frame of its pass
    double noiseFloorPsnr = 0.0;  // the CPU's next pass against that same frame
    double marginDb = 0.0;        // difference.psnr - noiseFloorPsnr (infinite when the device frame is exact)
    size_t unwritten = 0;         // pixels whose top byte is not 0
    bool passed = false;
    std::string why;  // what failed; empty when passed
};

// All three frames hold `pixels` packed 0x00RRGGBB words.
PixelVerdict judgePixels(const uint32_t* device, const uint32_t* cpu, const uint32_t* cpuNext, size_t pixels,
                         double minMarginDb, double minPsnr);

struct LightVerdict {
    // Root-mean-square error relative to the CPU light's own size, over values
    // limited to white (the tone curve shows nothing above it, and a single
    // bright stray sample would drown the rest).
    double error = 0.0;       // the device's light against the CPU's of the same pass
    double noiseFloor = 0.0;  // the CPU's next pass against the same
    double marginDb = 0.0;    // 20 log10(noiseFloor / error)
    size_t notFinite = 0;     // device values that are NaN or infinite (a skipped one reads as NaN)
    size_t offPixels = 0;     // pixels more than one level from the tone curve of their own light
    bool passed = false;
    std::string why;
};

// Three floats per pixel; devicePixels is the device's packed frame.
LightVerdict judgeLight(const float* deviceLight, const uint32_t* devicePixels, const float* cpuLight,
                        const float* cpuNextLight, size_t pixels, double minMarginDb);

struct GuideVerdict {
    size_t differing = 0;  // pixels whose guide sees another surface or first hit than the CPU's
    size_t allowed = 0;    // how many may: rounding moves a few rays across an edge
    size_t notFinite = 0;  // device values that are NaN or infinite where the CPU's are not
    bool passed = false;
    std::string why;
};

// guideFloats per pixel (kernel/pixel_guide.h). The guide has no noise: it
// must be the CPU's but for pixels on edges.
GuideVerdict judgeGuide(const float* deviceGuide, const float* cpuGuide, size_t pixels);
