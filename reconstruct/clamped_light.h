#pragma once
// The light the accumulation's clamp takes off, given back where it fell.
//
// A sample brighter than brightestLight is clamped: one bright path caught by
// one pixel would otherwise stay a white blotch for many frames. But where the
// light comes mostly bounced (the closed room) the rare bright paths carry a
// tenth of it, and the clamped picture is that much too dark. So the light
// above the clamp is summed over cells of the frame, per object, and each
// pixel of that object gets the mean of its cells back (blended between the
// cells' centres): the light is kept, its noise spread too thin to see.
//
// Left out, so they keep only the clamped light:
// - pixels seen through mirror or glass, whose light comes from elsewhere;
// - the light itself and the sky;
// - pixels beside another object or a polished surface (their primary
//   rays, spread over the pixel, may have met it: the light itself, or the
//   light in a mirror, whose light belongs at that edge, not on the surface
//   around; a wall's light would tint the wall beside it);
// - cells where many pixels were clamped: there the light is bright all over
//   (a surface next to the light) and changes faster than a cell's mean.
#include <vector>

#include "reconstruct/reconstruction_settings.h"

// What the cells gathered, one record a cell and object.
struct ExcessCells {
    int width = 0;   // cells across
    int height = 0;  // cells down
    int cellPixels = 0;
    // Per cell and object slot (see excessSlots): the mean light above the
    // clamp (3, divided by the surface colour; 0 in a dense cell) and the
    // weight the cell's centre has (by its pixels of the object; 0: none).
    std::vector<float> mean;
    std::vector<char> rowGives;  // per cell row: whether any of its cells has light to give back
    // Per pixel: its object's slot, or -1 where it neither gives nor takes.
    std::vector<float> slots;
};

// Object slots: every sphere's and box's id (the light's slot is never used).
constexpr int excessSlots = 24;
constexpr int excessCellFloats = 4;

// Makes the cells for a width x height frame (no light in them yet).
void prepareExcessCells(const ReconstructionSettings& settings, int width, int height, ExcessCells& cells);

// Gathers the cell rows [cy0, cy1) from the frame's light (3 floats a pixel,
// before the tone curve) and its guide layer (guideFloats a pixel). Each cell
// is summed by one call, in the same order whatever the rows' split. Where
// luminance and object are not null it also writes the range test's planes
// for those rows (as demodulatedLuminance, reconstruct/history_range.h): they
// come from the same light and guide, and reading those again in a pass of
// their own cost as much as this pass.
void gatherExcessRows(const ReconstructionSettings& settings, int width, int height, const float* radiance,
                      const float* guide, ExcessCells& cells, int cy0, int cy1, float* luminance = nullptr,
                      float* object = nullptr);

// Whether cells has light to give back (after every cell row is gathered).
bool excessToReturn(const ExcessCells& cells);

// The light given back to each pixel of rows [y0, y1) (of the frame the
// cells were gathered from): 3 floats a pixel, divided by the surface colour;
// zero where nothing is given back.
void returnedLightRows(const ExcessCells& cells, int width, float* returned, int y0, int y1);
