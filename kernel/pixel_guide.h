#pragma once
// What a denoiser needs to know about a pixel besides its light: the first
// surface seen through it (normal, colour, distance), from one ray through the
// middle of the area its primary rays cover. One noise-free query per pixel.
#include "kernel/host_device.h"
#include "kernel/intersect.h"
#include "kernel/materials.h"
#include "kernel/render_pixel.h"

// Per pixel: normal x y z, albedo r g b, depth.
constexpr int guideFloats = 7;

struct PixelGuide {
    Vec3 normal;  // zero where the ray leaves the scene
    Vec3 albedo;  // the surface colour; 1 for the sky and the light
    float depth;  // missDistance where the ray leaves the scene
};

TPL_HD PixelGuide pixelGuide(const FrameData& fd, int p) {
    const PixelCorner corner = pixelCorner(fd, p);
    const Vec3 forward{fd.camForward[0], fd.camForward[1], fd.camForward[2]};
    const Vec3 vertical{fd.camVertical[0], fd.camVertical[1], fd.camVertical[2]};
    const Vec3 right{fd.camRight[0], fd.camRight[1], fd.camRight[2]};
    // The primary rays cover the pixel's width and the first primaryRowScale
    // times (samples / 32 rows) of its height; aim at the middle of that.
    const float u = (fd.invWidth * 0.5f + corner.u) - 0.5f;
    const float v = (fd.invWidth * 0.125f + corner.v) - 0.5f;
    Vec3 dir = (forward + u * right) + v * vertical;
    dir = dir * tracerRsqrt(dot(dir, dir));
    const HitRecord hit = traceNearest(fd, {fd.camPosition[0], fd.camPosition[1], fd.camPosition[2]}, dir);
    if (hit.objectId == missObjectId) return {{0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, missDistance};
    const Vec3 albedo = hit.objectId == 0 ? Vec3{1.0f, 1.0f, 1.0f} : materialColour(fd, hit.material);
    return {hit.normal, albedo, hit.t};
}
