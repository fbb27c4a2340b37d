#include "reconstruct/light_change.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"
#include "reconstruct/image_plane.h"

namespace {

float luminanceOf(float r, float g, float b) {
    return 0.2126f * r + 0.7152f * g + 0.0722f * b;
}

float relativeChange(float a, float b) {
    const float larger = std::max(std::fabs(a), std::fabs(b));
    return larger > 1e-20f ? std::fabs(a - b) / larger : 0.0f;
}

}  // namespace

float emittedLuminance(const FrameData& fd) {
    const MaterialEntry& e = fd.materials[0];
    return luminanceOf(e.red, e.green, e.blue);
}

float directLightAt(const FrameData& fd, Vec3 point, Vec3 normal) {
    const Vec3 toLight = sphereCentre(fd, 0) - point;
    const float d2 = dot(toLight, toLight);
    if (!(d2 > 0.0f)) return 0.0f;
    const bool facing = normal.x == 0.0f && normal.y == 0.0f && normal.z == 0.0f;
    const float cosine = facing ? 1.0f : std::max(dot(normal, toLight) / std::sqrt(d2), 0.0f);
    return emittedLuminance(fd) * cosine / d2;
}

float lightChange(const FrameData& now, const FrameData& before, const float* g, int x, int y) {
    const float id = g[guideObject];
    if (id == static_cast<float>(missObjectId)) return 0.0f;
    if (id == 0.0f) return relativeChange(emittedLuminance(now), emittedLuminance(before));
    Vec3 unit = directionThrough(now, {static_cast<float>(x), static_cast<float>(y)});
    unit = unit * (1.0f / std::sqrt(dot(unit, unit)));
    const Vec3 camera{now.camPosition[0], now.camPosition[1], now.camPosition[2]};
    const Vec3 point = camera + g[guideHitDepth] * unit;
    // Through mirror and glass the guide's normal is another surface's: the
    // polished surface is taken to face the light.
    const Vec3 normal = g[guideSpecular] != 0.0f
                            ? Vec3{0.0f, 0.0f, 0.0f}
                            : Vec3{g[guideNormal], g[guideNormal + 1], g[guideNormal + 2]};
    return relativeChange(directLightAt(now, point, normal), directLightAt(before, point, normal));
}

float historyCapForChange(const ReconstructionSettings& settings, float change) {
    const float longest = static_cast<float>(settings.longestHistory);
    if (!(change > settings.lightChangeThreshold)) return longest;
    return std::clamp(settings.lightChangeFrames / change, 1.0f, longest);
}

void lightChangeCaps(const ReconstructionSettings& settings, const FrameData& now, const FrameData& before,
                     const float* guide, float* cap, int y0, int y1) {
    const int w = now.width;
    // Most frames neither move nor dim the light: nothing changed anywhere.
    const Vec3 a = sphereCentre(now, 0), b = sphereCentre(before, 0);
    if (a.x == b.x && a.y == b.y && a.z == b.z && emittedLuminance(now) == emittedLuminance(before)) {
        std::fill(cap + static_cast<size_t>(y0) * w, cap + static_cast<size_t>(y1) * w, historyCapForChange(settings, 0.0f));
        return;
    }
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t p = static_cast<size_t>(y) * w + x;
            cap[p] = historyCapForChange(settings, lightChange(now, before, guide + p * guideFloats, x, y));
        }
}
