#pragma once
// The CPU's two ways of shading pixels, both running the tracer's one source
// (kernel/transport.h). The scalar kernel moves one pixel's path at a time;
// the simd kernel moves one path per lane of the widest vector unit the CPU
// has. Both write the same bytes for the same record, pass and table.
#include <cstdint>

#include "kernel/frame_data.h"
#include "kernel/render_pixel.h"

enum class CpuKernel { Scalar, Simd };

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

// Writes pixel p of the frame from its accumulated light.
void finishPixel(const FrameWork& work, int p, Vec3 acc);

// Shades thread indices [begin, end) of the frame.
void shadeRunScalar(const FrameWork& work, int begin, int end);
// Fills guideFloats floats per pixel (kernel/pixel_guide.h) for thread indices [begin, end).
void guideRun(const FrameWork& work, float* guide, int begin, int end);

struct SimdTarget;
// The vector target the simd kernel runs on this CPU now (the vector
// library's choice, which tests may narrow), or null where this build or this
// CPU has none. Choosing asks the processor for its features, which under a
// hypervisor costs microseconds a question: a frame chooses once, not for
// every run of pixels.
const SimdTarget* simdKernelTarget();
// False when this build or this CPU has no vector target for the simd kernel.
bool simdKernelAvailable();
// Shades thread indices [begin, end) of the frame with the simd kernel on
// `target` (the scalar one where it is null).
void shadeRunSimd(const SimdTarget* target, const FrameWork& work, int begin, int end);
// guideRun with the light each surface sees tested a vector of pixels at once
// (the same values as guideRun).
void guideRunSimd(const SimdTarget* target, const FrameWork& work, float* guide, int begin, int end);
// The vector target the simd kernel picked on this CPU ("AVX3", "AVX2",
// "SSE4"; "none") and its number of float lanes.
const char* simdTargetName();
int simdLaneCount();
