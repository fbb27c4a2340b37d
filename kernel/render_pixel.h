#pragma once
// The per-pixel entry shared by the CUDA kernel and the CPU's scalar kernel.
#include <cstdint>

#include "kernel/tracer_math.h"
#include "kernel/host_device.h"
#include "kernel/primary_rays.h"
#include "kernel/rng.h"
#include "kernel/transport.h"
#include "kernel/vec3.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"

constexpr int permutationRun = 2048;

// Thread index g -> pixel index p: 8 x 4 pixel tiles per 32 threads.
TPL_HD int permutePixelIndex(int g) {
    return (g & ~2047) + (g & 7) + ((g & 24) << 6) + (((g >> 5) & 63) << 3);
}

// The pixel thread g shades in a frame of pixelCount pixels, -1 for none. The
// permutation maps each aligned run of 2048 onto itself; a trailing partial run
// (frames whose size is not a multiple of 2048) is shaded in plain order so no
// thread writes outside the frame.
TPL_HD int pixelForThread(int g, int pixelCount) {
    if (g < 0 || g >= pixelCount) return -1;
    if (g >= pixelCount - pixelCount % permutationRun) return g;
    return permutePixelIndex(g);
}

// The tone curve 1.13 sqrt(q) - 0.13 q: a gamma-like lift of the dark values
// that still maps 0 to 0 and 1 to 1.
constexpr float toneSqrtWeight = 1.13f;
constexpr float toneLinearWeight = 0.13f;
constexpr float byteScale = 255.0f;
// The exposure: a pixel's accumulated light is scaled by this over its sample count.
constexpr float exposure = 22.5f;

// Saturates to [0, 1] (NaN to 0), applies the tone curve and scales to a byte
// (truncated).
TPL_HD uint32_t toneByte(float value) {
    const float q = value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f;
    const float curved = toneSqrtWeight * tracerSqrt(q) - toneLinearWeight * q;
    return static_cast<uint32_t>(curved * byteScale);
}

// The accumulated light scaled by exposure / S: the pixel's light before the
// tone curve.
TPL_HD Vec3 exposedLight(Vec3 acc, int samples) {
    const float k = tracerDiv(exposure, static_cast<float>(samples));
    return {k * acc.x, k * acc.y, k * acc.z};
}

// Light before the tone curve, packed as 0x00RRGGBB.
TPL_HD uint32_t packLight(Vec3 light) {
    return (toneByte(light.x) << 16) + (toneByte(light.y) << 8) + toneByte(light.z);
}

// Scales the accumulated light by exposure / S and packs it as 0x00RRGGBB.
TPL_HD uint32_t packPixel(Vec3 acc, int samples) {
    return packLight(exposedLight(acc, samples));
}

// Traces pixel p of the record for frame counter pass and returns its
// accumulated light (packPixel makes the pixel of it): one path moved on a
// round at a time until its pixel has all its primary rays.
TPL_HD Vec3 tracePixel(const FrameData& fd, int p, int pass, const unsigned char* sdata) {
    const PixelCorner corner = pixelCorner(fd, p);
    const PixelRays<float> rays{fd, primaryRayCount(fd)};
    const SampleBlock block = pixelSampleBlock(fd, pass, p);
    PathState<float> st{};
    startPixel(rays, st, true, corner.u, corner.v, seedPixelRng(p, pass), block.firstRay, block.firstSubPath);
    while (st.phase != phaseDone) advancePaths(fd, sdata, rays, st);
    return st.acc;
}

// Traces pixel p of the record for frame counter pass and returns it packed 0x00RRGGBB.
TPL_HD uint32_t shadePixel(const FrameData& fd, int p, int pass, const unsigned char* sdata) {
    return packPixel(tracePixel(fd, p, pass, sdata), fd.samplesPerFrame);
}
