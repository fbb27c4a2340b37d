#pragma once
// Real frames for the reconstruction tests: the light scene seen from in
// front, rendered with its layers by the CPU backend at small sizes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"
#include "render/frame_driver.h"
#include "render/sampler_table.h"
#include "scene/presets.h"
#include "scene/world.h"

// Light (sphere 0), ground, red ball (sphere 2), blue ball (sphere 3), back wall.
inline FrameData lightScene(int width, int height, int samples = 4) {
    World world;
    buildSpheresScene(world);
    FrameData fd = world.frame;
    fd.camForward[2] = fd.camRight[0] = fd.camVertical[1] = -1;
    fd.camPosition[1] = 6;
    fd.camPosition[2] = 30;
    fd.samplesPerFrame = samples;
    setFrameSize(fd, width, height);
    return fd;
}

struct FrameLayersCopy {
    std::vector<float> radiance, guide;
};

// Renders records one after another (each a new pass) and keeps copies of their layers.
class LayerRenderer {
public:
    explicit LayerRenderer(const FrameData& first) {
        static const std::vector<unsigned char> table = buildSamplerTable();
        std::string why;
        testing::internal::CaptureStdout();
        ready_ = driver_.setup(first, table.data(), static_cast<int>(table.size()),
                               DriverOptions{BackendChoice::Cpu, 2}, why);
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(ready_) << why;
    }
    FrameLayersCopy render(const FrameData& record) {
        std::string why;
        FrameLayersCopy out;
        if (!ready_ || !driver_.renderFrameWithLayers(record, why) || !driver_.layersValid()) {
            ADD_FAILURE() << "no layers: " << why;
            return out;
        }
        const size_t n = static_cast<size_t>(record.width) * record.height;
        out.radiance.assign(driver_.radiance(), driver_.radiance() + 3 * n);
        out.guide.assign(driver_.guide(), driver_.guide() + guideFloats * n);
        return out;
    }

private:
    FrameDriver driver_;
    bool ready_ = false;
};

inline float guideValue(const std::vector<float>& guide, size_t p, int offset) {
    return guide[p * guideFloats + offset];
}
