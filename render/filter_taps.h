#pragma once
// The taps of the edge-aware filter's 5 x 5 kernel over a row of pixels: each
// pixel's weights for the pixels around it, and the weighted mean of their light.
// Vectorised for the best target the CPU has; the arithmetic is the same on
// every target, in the same order, so the sums are the same to the bit.
#include <cstddef>

// The loops run in whole vectors: a row's planes are read up to this many
// floats past the row's last pixel, which the caller keeps allocated (and
// initialised).
constexpr size_t filterRowSlack = 64;

// A row of the filter's planes, from the row's first pixel.
struct FilterRow {
    const float *nx, *ny, *nz, *depth, *kind, *luminance, *r, *g, *b;
    const float* variance;  // the variance-guided filter's only
    const float* seen = nullptr;  // the variance-guided filter's: the share of the light each surface sees
};

// Where a pass puts each pixel of a row: the taps' weighted mean of its light
// (a pixel no tap counts for keeps its own), that light's luminance for the
// next pass, and (the variance-guided filter) the variance of the mean. A
// null plane is not written. Only the row's w pixels are written: past them
// lie the border and the next row, another thread's.
struct FilterNext {
    float *r, *g, *b, *luminance;
    float* variance;  // the variance-guided filter's only
};

// The 5 x 5 taps of one pass: where each lies from the centre (in floats of
// the planes) and its spline weight, in the order they are summed; the first
// `taps` of them are summed.
constexpr int filterTaps = 25;
struct FilterKernel {
    ptrdiff_t offset[filterTaps];
    float spline[filterTaps];
    int taps;
    float brightnessTolerance;  // the plain filter's
    float depthScale;
    // The variance-guided filter's: a block of 16 pixels of a row whose every
    // deviation lies below this share of its luminance keeps its light, which
    // the taps would move by a fraction of that (0: every pixel is filtered).
    float settledDeviation;
    // The variance-guided filter's: a difference in the share of the light
    // the surfaces see (a shadow's edge) counts as this many deviations of
    // brightness per whole light (0: not at all; then the rows' seen is not read).
    float shadowStop = 0.0f;
};

// A pass of the plain filter over the w pixels of a row: surfaces alike
// (normals, kind), depth and brightness each weighed 1 / (1 + (d / t)^2).
void filterPassRow(size_t w, const FilterRow& centre, const FilterKernel& kernel, const FilterNext& next);

// A pass of the variance-guided filter: brightness weighed against the
// centre's deviation (already scaled by phi), the variance summed with
// squared weights (where next.variance is set).
void varianceFilterPassRow(size_t w, const FilterRow& centre, const float* deviation, const FilterKernel& kernel,
                           const FilterNext& next);

// The variance-guided filter's deviation for the w pixels of a row: phi times
// the square root of the variance smoothed over 3 x 3 (a Gaussian, over
// pixels of the centre's kind). pw: the planes' row pitch.
void deviationRow(size_t w, size_t pw, const float* kind, const float* variance, float phi, float* out);
