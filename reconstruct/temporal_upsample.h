#pragma once
// From the reconstructed frame at the render size to the output size, with a
// history at the output size: the render moves by a sub-pixel jitter every
// frame, so the history gathers detail finer than the render's pixels. The
// history is reprojected with the surfaces' motion and kept within the range
// the new frame's neighbourhood allows, so what moved or changed does not
// leave ghosts.
#include <cstdint>

#include "kernel/frame_data.h"
#include "reconstruct/image_plane.h"
#include "reconstruct/reconstruction_settings.h"

// The light at the render size as planes (red, green, blue), and the YCoCg
// mean and deviation over each pixel's 3 x 3 neighbourhood, one plane a value.
struct NeighbourhoodPlanes {
    float* light[3];
    float* mean[3];
    float* deviation[3];
};

// The reconstructed frame at the render size and what the upsampling needs
// to know about it.
struct RenderedFrame {
    const FrameData* record = nullptr;  // as rendered (jittered)
    const float* length = nullptr;      // the render history's length per pixel
    const PixelPos* previous = nullptr; // per pixel, in the previous rendered frame; null: no history
    NeighbourhoodPlanes neighbourhood{};   // neighbourhoodRows of the light, before the tone curve
};

// The output history as the next frame reads it.
struct OutputHistory {
    const FrameData* view = nullptr;      // the unjittered record at the output size; null: none
    const FrameData* rendered = nullptr;  // the record that frame was rendered with
    const float* colour = nullptr;        // 3 planes of output pixels (red, green, blue)
    const float* length = nullptr;        // 1 per output pixel
};

struct OutputFrame {
    float* colour;     // 3 planes of output pixels (red, green, blue)
    float* length;     // 1 per output pixel
    uint32_t* pixels;  // packed 0x00RRGGBB, the tone curve of the colour
};

// Rows [y0, y1) of w x h light (3 floats a pixel) into its planes and its
// neighbourhood's.
void neighbourhoodRows(int w, int h, const float* light, const NeighbourhoodPlanes& out, int y0, int y1);

// Rows [y0, y1) of the output (view's size).
void upsampleRows(const ReconstructionSettings& settings, const FrameData& view, const RenderedFrame& frame,
                  const OutputHistory& history, const OutputFrame& out, int y0, int y1);
