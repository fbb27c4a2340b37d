#pragma once
// Where a pixel's primary rays go: its corner in the image plane and the
// jittered directions through it.
#include "kernel/host_device.h"
#include "kernel/rng.h"
#include "kernel/tracer_math.h"
#include "kernel/vec3.h"
#include "kernel/build_setting.h"
#include "kernel/frame_data.h"

// Vertical jitter scale: with either setting the primary rays cover the first
// quarter of the pixel's height.
constexpr float primaryRowScale = samplesPerFrame == 32 ? 0.25f : 0.125f;

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

// The most sub-paths a primary ray carries. The sampler table's rows are
// laid out for this many per ray whatever a record asks for.
constexpr int subPathsPerRay = 4;

// Primary rays per pixel: one per subPathsPerRay samples, and one for a record
// of fewer samples than that (1 to 3), which gives it fewer sub-paths. The
// sampler table has rows for samplesPerFrame samples only; a record asking
// for more is held to what the table covers.
TPL_HD int primaryRayCount(const FrameData& fd) {
    if (fd.samplesPerFrame <= 0) return 0;
    if (fd.samplesPerFrame < subPathsPerRay) return 1;
    int rays = fd.samplesPerFrame >> 2;
    if (rays > (samplesPerFrame >> 2)) rays = samplesPerFrame >> 2;
    return rays;
}

// Sub-paths of each primary ray: subPathsPerRay, or one per sample for a
// record of fewer samples. The pixel's light is scaled by exposure over the
// samples, so a frame of one sample is as bright as one of four.
TPL_HD int subPathCount(const FrameData& fd) {
    if (fd.samplesPerFrame >= subPathsPerRay) return subPathsPerRay;
    return fd.samplesPerFrame > 0 ? fd.samplesPerFrame : 0;
}

// Unit direction of primary ray s through the pixel with the given corner;
// two draws jitter it within the pixel.
template <class F>
TPL_HD Vec3T<F> primaryDirection(const FrameData& fd, F cornerU, F cornerV, IntOf<F> s, RngState<UIntOf<F>>& rng) {
    const F invW(fd.invWidth);
    const Vec3T<F> forward{F(fd.camForward[0]), F(fd.camForward[1]), F(fd.camForward[2])};
    const Vec3T<F> vertical{F(fd.camVertical[0]), F(fd.camVertical[1]), F(fd.camVertical[2])};
    const Vec3T<F> right{F(fd.camRight[0]), F(fd.camRight[1]), F(fd.camRight[2])};
    const F r1 = nextRandom(rng);
    const F r2 = nextRandom(rng);
    const F jx = (toFloat(s & 7) + r1) * 0.125f;
    const F jy = (toFloat(s >> 3) + r2) * primaryRowScale;
    const F u = (invW * jx + cornerU) - 0.5f;
    const F v = (invW * jy + cornerV) - 0.5f;
    const Vec3T<F> dir = (forward + u * right) + v * vertical;
    return dir * tracerRsqrt(dot(dir, dir));
}
