#pragma once
// From a frame's light before the tone curve to display pixels of any size.
#include <cstdint>

// Applies the tone curve to w x h pixels of light (3 floats each) and scales
// the result to outW x outH packed 0x00RRGGBB pixels, bilinearly. At the same
// size each pixel is packLight of its light, exactly as the tracer packs it.
void toneAndScale(int w, int h, const float* light, int outW, int outH, uint32_t* out);

// Scales w x h packed pixels to outW x outH, bilinearly per channel.
void scalePixels(int w, int h, const uint32_t* pixels, int outW, int outH, uint32_t* out);
