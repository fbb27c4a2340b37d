#pragma once
// The per-pixel entry shared by the CUDA kernel and the CPU backend.
#include <cstdint>

#include "kernel/tracer_math.h"
#include "kernel/host_device.h"
#include "kernel/rng.h"
#include "kernel/transport.h"
#include "kernel/vec3.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"

// Vertical jitter scale: with either setting the primary rays cover the first
// quarter of the pixel's height.
constexpr float primaryRowScale = samplesPerFrame == 32 ? 0.25f : 0.125f;
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

// Pixel p's corner in the image plane. The plane is one unit wide for a 4:3
// frame; invWidth is the size of a pixel in it (see setFrameSize), so a frame
// of any other shape sees the same height of the scene and more or less of
// its width.
struct PixelCorner {
    float u;
    float v;
};

TPL_HD PixelCorner pixelCorner(const FrameData& fd, int p) {
    const int width = fd.width;
    const int height = fd.height;
    const float invW = fd.invWidth;
    const int x = p % width;
    const int y = p / width;
    // Pixels from the 4:3 view's left edge to this frame's: (4h/3 - w) / 2,
    // exactly 0 for a 4:3 frame, whose pixels then stay what they always were.
    const float wider = static_cast<float>(4 * height - 3 * width) * (1.0f / 6.0f);
    const float u = (static_cast<float>(x) + wider) * invW;
    const float v = (static_cast<float>(y) + (static_cast<float>(width - height) * 0.5f + wider)) * invW;
    return {u, v};
}

// Primary rays per pixel. The sampler table has rows for samplesPerFrame
// samples only; a record asking for more is held to what the table covers.
TPL_HD int primaryRayCount(const FrameData& fd) {
    int rays = fd.samplesPerFrame >> 2;
    if (rays > (samplesPerFrame >> 2)) rays = samplesPerFrame >> 2;
    return rays;
}

// Unit direction of primary ray s; two draws jitter it within the pixel.
TPL_HD Vec3 primaryDirection(const FrameData& fd, PixelCorner corner, int s, PixelRng& rng) {
    const float invW = fd.invWidth;
    const Vec3 forward{fd.camForward[0], fd.camForward[1], fd.camForward[2]};
    const Vec3 vertical{fd.camVertical[0], fd.camVertical[1], fd.camVertical[2]};
    const Vec3 right{fd.camRight[0], fd.camRight[1], fd.camRight[2]};
    const float r1 = nextRandom(rng);
    const float r2 = nextRandom(rng);
    const float jx = (static_cast<float>(s & 7) + r1) * 0.125f;
    const float jy = (static_cast<float>(s >> 3) + r2) * primaryRowScale;
    const float u = (invW * jx + corner.u) - 0.5f;
    const float v = (invW * jy + corner.v) - 0.5f;
    const Vec3 dir = (forward + u * right) + v * vertical;
    return dir * tracerRsqrt(dot(dir, dir));
}

// Traces pixel p of the record for frame counter pass and returns its
// accumulated light (packPixel makes the pixel of it).
TPL_HD Vec3 tracePixel(const FrameData& fd, int p, int pass, const unsigned char* sdata) {
    const PixelCorner corner = pixelCorner(fd, p);
    PixelRng rng = seedPixelRng(p, pass);
    const Vec3 origin{fd.camPosition[0], fd.camPosition[1], fd.camPosition[2]};
    const int rays = primaryRayCount(fd);
    Vec3 acc{0.0f, 0.0f, 0.0f};
    for (int s = 0; s < rays; ++s) {
        const Vec3 dir = primaryDirection(fd, corner, s, rng);
        traceSample(fd, sdata, s, origin, dir, rng, acc);
    }
    return acc;
}

// Traces pixel p of the record for frame counter pass and returns it packed 0x00RRGGBB.
TPL_HD uint32_t shadePixel(const FrameData& fd, int p, int pass, const unsigned char* sdata) {
    return packPixel(tracePixel(fd, p, pass, sdata), fd.samplesPerFrame);
}
