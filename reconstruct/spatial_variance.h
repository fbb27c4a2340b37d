#pragma once
// A pixel with a short history has too few frames for its own moments to
// tell its noise: its variance is taken from its neighbourhood instead, from
// the pixels showing the same surface.
#include "reconstruct/reconstruction_settings.h"

// For the pixels of rows [y0, y1) whose length is below spatialVarianceBelow,
// writes into variance the luminance variance over the 5 x 5 pixels around
// it on the same object, weighted by how alike their normals and depths are.
// Other pixels are left as they are. moments: 2 per pixel; surface: the
// frame's surfacePlanes planes, as the accumulation writes them.
void spatialVarianceRows(const ReconstructionSettings& settings, int width, int height, const float* surface,
                         const float* moments, const float* length, float* variance, int y0, int y1);
