#pragma once
// The history at the render size: each pixel's light (divided by its surface
// colour) blended with what the same surface showed in earlier frames, and
// the first two moments of its luminance, from which the filter learns how
// noisy each pixel still is.
#include "kernel/frame_data.h"
#include "reconstruct/image_plane.h"
#include "reconstruct/reconstruction_settings.h"

// What the reprojection compares of a pixel's surface, as the accumulation
// keeps it for the next frame: a plane of its own for each (plane k of a
// w x h frame at surface + k * w * h). The taps of a vector of pixels then
// mostly read neighbouring floats, where the guide's records would take a
// gather per field.
constexpr int surfaceNormal = 0;  // x y z
constexpr int surfaceDepth = 3;
constexpr int surfaceHitDepth = 4;
constexpr int surfaceObject = 5;
constexpr int surfaceSpecular = 6;
constexpr int surfaceLightSeen = 7;
constexpr int surfacePlanes = 8;

// Last frame's history, as the reprojection reads it.
struct HistoryView {
    int width = 0;
    int height = 0;
    const float* colour = nullptr;   // 3 per pixel
    const float* moments = nullptr;  // 2 per pixel: mean luminance, mean squared luminance
    const float* length = nullptr;   // frames gathered, 1 for a new pixel
    const float* surface = nullptr;  // surfacePlanes planes of that frame's surfaces
};

struct AccumulationInput {
    int width = 0;
    int height = 0;
    const float* radiance = nullptr;  // 3 per pixel, before the tone curve
    const float* guide = nullptr;     // guideFloats per pixel
    const PixelPos* previous = nullptr;  // per pixel, in the history's pixels; null: every pixel is new
    const float* lengthCap = nullptr;    // per pixel, the longest history its light allows; null: no cap
    // 3 per pixel, or null: light to add to the clamped light, divided by the
    // surface colour (what the clamp took, given back: reconstruct/clamped_light.h).
    const float* returned = nullptr;
    float cameraStep = 0.0f;             // how far the camera moved, for the depth test
    // The least weight of the new light where the surface sees part of the
    // light (or its taps saw different parts): 0 unless the light moved.
    float penumbraAlpha = 0.0f;
    // Or null: a pixel's position in the output (unjittered) view, from its
    // place in this frame and from its previous position in the last frame.
    // Where the surface stood still in the view, the history may weigh more
    // (ReconstructionSettings::stillAlpha).
    const PixelMap* toView = nullptr;
    const PixelMap* lastToView = nullptr;
};

struct AccumulatedFrame {
    float* colour;    // 3 per pixel, divided by the surface colour
    float* moments;   // 2 per pixel
    float* length;    // 1 per pixel
    float* variance;  // 1 per pixel: m2 - m1^2 (the neighbourhood's estimate comes later for short histories)
    // 3 per pixel, or null: the accumulated light times its surface colour
    // (no less than smallestAlbedo), as the filter takes it.
    float* modulated = nullptr;
    // surfacePlanes planes, or null: each pixel's surface, for the next frame's HistoryView.
    float* surface = nullptr;
};

// The light divided by the surface colour, but by no less than smallest (as the filter divides it).
float demodulated(float light, float albedo, float smallest);

// Rows [y0, y1) of the new history; each pixel reads only its own inputs and
// the history around its previous position.
void accumulateRows(const ReconstructionSettings& settings, const AccumulationInput& in, const HistoryView& history,
                    const AccumulatedFrame& out, int y0, int y1);
