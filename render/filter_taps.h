#pragma once
// The taps of the edge-aware filter's 5 x 5 kernel over a row of pixels: each
// pixel's weights for the pixels around it, summed with the weighted light.
// Vectorised for the best target the CPU has; the arithmetic is the same on
// every target, in the same order, so the sums are the same to the bit.
#include <cstddef>

// The loops run in whole vectors: a row's planes and sums are read and
// written up to this many floats past the row's last pixel, which the caller
// keeps allocated (and initialised).
constexpr size_t filterRowSlack = 64;

// A row of the filter's planes, from the row's first pixel.
struct FilterRow {
    const float *nx, *ny, *nz, *depth, *kind, *luminance, *r, *g, *b;
    const float* variance;  // the variance-guided filter's only
};

struct FilterSums {
    float *w, *r, *g, *b;
    float* v;  // the variance-guided filter's only
};

// The 5 x 5 taps of one pass: where each lies from the centre (in floats of
// the planes) and its spline weight, in the order they are summed.
constexpr int filterTaps = 25;
struct FilterKernel {
    ptrdiff_t offset[filterTaps];
    float spline[filterTaps];
    float brightnessTolerance;  // the plain filter's
    float depthScale;
};

// The plain filter's sums for the w pixels of a row: surfaces alike (normals,
// kind), depth and brightness each weighed 1 / (1 + (d / t)^2).
void sumTapsRow(size_t w, const FilterRow& centre, const FilterKernel& kernel, const FilterSums& sums);

// The variance-guided filter's: brightness weighed against the centre's
// deviation (already scaled by phi), the variance summed with squared weights.
void sumVarianceTapsRow(size_t w, const FilterRow& centre, const float* deviation, const FilterKernel& kernel,
                        const FilterSums& sums);

// The variance-guided filter's deviation for the w pixels of a row: phi times
// the square root of the variance smoothed over 3 x 3 (a Gaussian, over
// pixels of the centre's kind). pw: the planes' row pitch.
void deviationRow(size_t w, size_t pw, const float* kind, const float* variance, float phi, float* out);
