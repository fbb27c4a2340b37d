#pragma once
// The edge-aware filter's planes filled from a row of the layers (the light
// and the guide), and its result written back: a vector of pixels at a time
// on the best target the CPU has, with the same bytes on every target.
#include <cstddef>

// A row of the filter's planes, from the row's first pixel. Only the row's w
// pixels are written: past them lie the border and the next row.
struct FilterPlaneRow {
    float *nx, *ny, *nz, *depth, *kind;
    float *albedoR, *albedoG, *albedoB;
    float *lightR, *lightG, *lightB, *luminance;
    float* variance;  // the variance-guided filter's, else null
    float* seen;      // where shadows stop the taps, else null
};

// From w pixels of light (3 floats each) and their guide records (guideFloats
// each): the sky's normal is (1, 0, 0); kind is 1 for the sky and 0 else, or
// (the variance-guided filter, given its variance row) 2 object + specular;
// the surface colour is no less than smallestAlbedo, and the light is
// divided by it.
void filterPlanesRow(size_t w, const float* radiance, const float* guide, const float* variance, float smallestAlbedo,
                     const FilterPlaneRow& out);

// The filtered light of w pixels times their surface colour, 3 floats each to out.
void filterResultRow(size_t w, const float* lightR, const float* lightG, const float* lightB, const float* albedoR,
                     const float* albedoG, const float* albedoB, float* out);
