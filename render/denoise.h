#pragma once
// An edge-aware filter for frames made with few samples: the edge-avoiding
// a-trous wavelet filter (a 5 x 5 B3-spline kernel applied with growing gaps),
// its taps weighted by how alike the first hits' normals, depths and the
// pixels' brightness are. The light is divided by the surface colour before
// filtering and multiplied back after, so textures stay sharp while lighting
// noise is smoothed.

class RowPool;

// Filters w x h pixels of light (3 floats each, before the tone curve) guided
// by the guide layer (guideFloats each, kernel/pixel_guide.h); writes 3 floats
// per pixel to out (which may be radiance itself). passes: 1 to 5 (gaps 1, 2,
// 4, 8, 16). Rows are filtered on the pool's threads, or without one on
// threads started for each step.
void denoiseFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out,
                  RowPool* pool = nullptr);

// The light is divided by the surface colour, but by no less than this.
constexpr float smallestFilterAlbedo = 1e-3f;

// What a temporal history knows about each pixel's noise. Given it, the filter
// weighs a difference in brightness against the pixels' deviation instead of
// their brightness: a tap counts exp(-|dl| / (phi * deviation + tiny) - dz^2)
// (dz: the depth difference over its tolerance, weighed 1 / (1 + dz^2) by
// the plain filter), with the variance (3 x 3 smoothed) filtered alongside
// the light, so each pass knows the noise left. It then never mixes pixels whose first hits are other
// objects, nor pixels seen through mirror or glass with the rest.
struct FilterVariance {
    const float* variance = nullptr;  // 1 per pixel: of the luminance of the light divided by the surface colour
    float phi = 4.0f;
    // Colours below this are not divided out: light on a channel a surface
    // hardly reflects (the edges of a red ball seen against the light) would
    // grow a thousandfold and spread over the surface.
    float smallestAlbedo = smallestFilterAlbedo;
    float* firstPass = nullptr;  // if set: 3 per pixel, the first pass's light divided by the surface colour
    // Where a whole vector of pixels has a deviation (phi times the noise)
    // below this share of its brightness, it keeps its light: the taps would
    // move it by a fraction of that. 0: every pixel is filtered.
    float settledDeviation = 0.0f;
    // A tap whose surface sees another share of the light (the guide's
    // guideLightSeen: across a shadow's edge) counts as if its brightness
    // differed by this many deviations more per whole light (0: not at all).
    float shadowStop = 0.0f;
};

// denoiseFrame guided by the variance (see FilterVariance).
void denoiseFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out,
                  const FilterVariance& variance, RowPool* pool = nullptr);
