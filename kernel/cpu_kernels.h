#pragma once
// The CPU's two ways of shading pixels. The scalar kernel is the CUDA kernel's
// own source run one pixel at a time; the batched kernel carries many pixels'
// rays through the tracer's stages together, in the lanes of the widest vector
// unit the CPU has. Both write the same bytes for the same record, pass and table.
#include <cstdint>

#include "kernel/frame_data.h"
#include "kernel/render_pixel.h"

enum class CpuKernel { Scalar, Batched };

// One frame's work: pixels are shaded in thread order g (see pixelForThread),
// written to out at their pixel index.
struct FrameWork {
    const FrameData* record = nullptr;
    const unsigned char* sdata = nullptr;  // the sampler table
    int pass = 0;
    int pixelCount = 0;
    uint32_t* out = nullptr;
    // Optional, three floats per pixel: the light before the tone curve
    // (packLight of it gives the pixel).
    float* radiance = nullptr;
};

// Writes pixel p's light before the tone curve into work.radiance.
inline void storeRadiance(const FrameWork& work, int p, Vec3 acc) {
    const Vec3 light = exposedLight(acc, work.record->samplesPerFrame);
    float* out = work.radiance + static_cast<size_t>(p) * 3;
    out[0] = light.x;
    out[1] = light.y;
    out[2] = light.z;
}

// Shades thread indices [begin, end) of the frame.
void shadeRunScalar(const FrameWork& work, int begin, int end);
// Fills guideFloats floats per pixel (kernel/pixel_guide.h) for thread indices [begin, end).
void guideRun(const FrameWork& work, float* guide, int begin, int end);

// False when this build has no batched kernel (no vector library at build time).
bool batchedKernelAvailable();
// Shades thread indices [begin, end) of the frame with the batched kernel.
void shadeRunBatched(const FrameWork& work, int begin, int end);
// The vector target the batched kernel picked on this CPU ("AVX3", "AVX2",
// "SSE4", "EMU128" ...) and its number of float lanes.
const char* batchedTargetName();
int batchedLaneCount();
