#pragma once
// Light that changed under a surface: the light sphere moves and changes its
// size and brightness with the show, and a history gathered under the old
// light would lag behind for many frames. Where the direct light at a pixel's
// surface changed, its history is cut short.
#include "kernel/frame_data.h"
#include "kernel/vec3.h"
#include "reconstruct/reconstruction_settings.h"

// The light sphere's unshadowed direct light at a point whose surface faces
// `normal` (as luminance, weighted as the tracer weights a light sample: the
// cosine over the squared distance to the light). A zero normal faces the light.
float directLightAt(const FrameData& fd, Vec3 point, Vec3 normal);

// The luminance of what the light sphere emits.
float emittedLuminance(const FrameData& fd);

// How much the light at a pixel's surface changed between the records, as a
// fraction of the larger value: the emitted light for the light itself, none
// for the sky, else the direct light at the first hit (the guide's values:
// guideFloats per pixel) under each record's light.
float lightChange(const FrameData& now, const FrameData& before, const float* pixelGuide, int x, int y);

// The longest history the change allows: longestHistory below the threshold,
// else lightChangeFrames / change, at least one frame.
float historyCapForChange(const ReconstructionSettings& settings, float change);

// historyCapForChange of every pixel in rows [y0, y1) into cap (one per pixel).
void lightChangeCaps(const ReconstructionSettings& settings, const FrameData& now, const FrameData& before,
                     const float* guide, float* cap, int y0, int y1);
