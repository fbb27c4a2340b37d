#pragma once
// A history far outside what the new frame shows around the pixel: a shadow
// drew back from the surface (the light rose) or light came onto it, and the
// light-seen test's few points of the light did not see it. Such a history
// is cut short. Only what one frame's noise cannot explain counts: the
// history darker than half the darkest of the new 3 x 3 neighbourhood (on
// the same object), or brighter than one and a half times its brightest.
#include "kernel/frame_data.h"
#include "reconstruct/image_plane.h"
#include "reconstruct/reconstruction_settings.h"

// The new frame's light at a pixel (3 floats, before the tone curve), divided
// by the surface colour as the accumulation divides it (g: the pixel's guide),
// as luminance.
float demodulatedLuminanceAt(const ReconstructionSettings& settings, const float* light, const float* g);

// That luminance and each pixel's first-hit object (from the guide layer):
// one of each per pixel of rows [y0, y1), in planes the range test reads nine
// times a pixel.
void demodulatedLuminance(const ReconstructionSettings& settings, int width, const float* radiance,
                          const float* guide, float* luminance, float* object, int y0, int y1);

// The last frame's history as the test reads it.
struct RangeHistory {
    int width = 0;
    int height = 0;
    const float* colour = nullptr;  // 3 per pixel, divided by the surface colour
    const float* length = nullptr;  // frames gathered
};

// Caps (cap, one per pixel, already holding other caps) at
// settings.outOfRangeFrames where a pixel's history, at the pixel nearest its
// previous position and at least that long, lies outside the range of the
// new frame's luminance around it. Rows [y0, y1) of a width x height frame.
void historyRangeCaps(const ReconstructionSettings& settings, int width, int height, const float* object,
                      const float* luminance, const PixelPos* previous, const RangeHistory& history, float* cap,
                      int y0, int y1);
