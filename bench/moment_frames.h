#pragma once
// Renders one moment on one backend for engine-check: the frame that is
// checked and the timing of the frames after it.
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/frame_data.h"
#include "render/frame_driver.h"

enum class Layers { None, Light, LightAndGuide };

// One moment on one backend: the checked frame (rendered first, with the layers
// asked for, not timed) and the median time of `runs` packed frames after it,
// each with the same pass. `repeatable` turns false when a timed frame has other
// pixels than the checked one; `failure` is set when the driver had to leave the
// backend it started with or gave no layers.
struct BackendFrames {
    std::vector<uint32_t> frame;
    std::vector<float> light, guide;
    double medianMs = -1.0;
    double kernelMs = -1.0;  // median of the device's own kernel times, where it has them
    bool repeatable = true;
    std::string failure;
};

BackendFrames renderMoment(FrameDriver& driver, const FrameData& record, int pass, Layers layers, int runs);
