#pragma once
// An edge-aware filter for frames made with few samples: the edge-avoiding
// a-trous wavelet filter (a 5 x 5 B3-spline kernel applied with growing gaps),
// its taps weighted by how alike the first hits' normals, depths and the
// pixels' brightness are. The light is divided by the surface colour before
// filtering and multiplied back after, so textures stay sharp while lighting
// noise is smoothed.

// Filters w x h pixels of light (3 floats each, before the tone curve) guided
// by the guide layer (guideFloats each, kernel/pixel_guide.h); writes 3 floats
// per pixel to out (which may be radiance itself). passes: 1 to 5 (gaps 1, 2,
// 4, 8, 16).
void denoiseFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out);
