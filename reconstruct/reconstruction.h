#pragma once
// Temporal reconstruction of a reduced frame: the render (fewer pixels, few
// samples, a sub-pixel jitter each frame) is accumulated over frames where the
// same surface is seen, filtered by how noisy each pixel still is, and
// gathered into a history at the output size. One call per frame.
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/frame_data.h"
#include "reconstruct/clamped_light.h"
#include "reconstruct/image_plane.h"
#include "reconstruct/reconstruction_settings.h"
#include "render/row_pool.h"

class Reconstruction {
public:
    explicit Reconstruction(const ReconstructionSettings& settings = {});

    // Drops all history: for a scene change, a camera cut, a jump in time.
    // A change of the render or output size drops it by itself.
    void reset();

    // rendered: the record as rendered (render size, jittered or not); view:
    // the unjittered record at the output size; radiance: 3 floats per
    // rendered pixel, before the tone curve; guide: guideFloats per rendered
    // pixel. Writes view.width x view.height packed 0x00RRGGBB pixels to out.
    void addFrame(const FrameData& rendered, const FrameData& view, const float* radiance, const float* guide,
                  uint32_t* out);

    const ReconstructionSettings& settings() const { return settings_; }
    // The history at the render size after the last frame: frames gathered
    // per pixel, and its light (3 per pixel, divided by the surface colour).
    const std::vector<float>& historyLength() const { return lastLength_; }
    const std::vector<float>& historyColour() const { return lastColour_; }
    // The last frame's light at the output size, before the tone curve: the
    // red, then the green, then the blue plane.
    const std::vector<float>& outputLight() const { return lastOutColour_; }

private:
    // Everything of addFrame but keeping the history.
    void reconstruct(const FrameData& rendered, const FrameData& view, const float* radiance, const float* guide,
                     uint32_t* out);
    // After a frame: its records and layers become the history.
    void keep(const FrameData& rendered, const FrameData& view);

    ReconstructionSettings settings_;
    RowPool pool_;
    bool hasHistory_ = false;
    FrameData lastRendered_{}, lastView_{};
    // Render size: this frame's and the last frame's.
    std::vector<float> colour_, moments_, length_;
    std::vector<float> surface_;
    std::vector<float> lastColour_, lastMoments_, lastLength_, lastSurface_;
    std::vector<float> integrated_, variance_, cap_, modulated_, filtered_, neighbourhood_, luminance_, objects_;
    std::vector<PixelPos> previous_;
    std::vector<float> young_;
    ExcessCells excess_;
    std::vector<float> returned_;
    // Output size.
    std::vector<float> outColour_, outLength_, lastOutColour_, lastOutLength_;
};
