#include "reconstruct/temporal_accumulation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"

namespace {

float luminanceOf(const float* c) {
    return 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2];
}

bool isSky(const float* g) {
    return g[guideObject] == static_cast<float>(missObjectId);
}

// How much the first-hit distance may change per pixel here: the largest step
// to a neighbour on the same object (the taps lie within a pixel of the point).
float depthSlope(const AccumulationInput& in, int x, int y) {
    const float* g = in.guide + (static_cast<size_t>(y) * in.width + x) * guideFloats;
    float slope = 0.0f;
    const int dx[4] = {-1, 1, 0, 0}, dy[4] = {0, 0, -1, 1};
    for (int k = 0; k < 4; ++k) {
        const int nx = x + dx[k], ny = y + dy[k];
        if (nx < 0 || ny < 0 || nx >= in.width || ny >= in.height) continue;
        const float* n = in.guide + (static_cast<size_t>(ny) * in.width + nx) * guideFloats;
        if (n[guideObject] == g[guideObject]) slope = std::max(slope, std::fabs(n[guideHitDepth] - g[guideHitDepth]));
    }
    return slope;
}

// Whether the history's pixel shows the same surface as the current one.
bool sameSurface(const ReconstructionSettings& s, const float* g, const float* h, float tolerance) {
    if (h[guideObject] != g[guideObject] || h[guideSpecular] != g[guideSpecular]) return false;
    if (isSky(g)) return true;
    if (std::fabs(h[guideHitDepth] - g[guideHitDepth]) > tolerance) return false;
    // A chain that ends in the sky has no normal to compare.
    if (g[guideDepth] >= missDistance || h[guideDepth] >= missDistance) return g[guideDepth] == h[guideDepth];
    const float facing = g[guideNormal] * h[guideNormal] + g[guideNormal + 1] * h[guideNormal + 1] +
                         g[guideNormal + 2] * h[guideNormal + 2];
    return facing >= s.normalAgreement;
}

struct Reprojected {
    float weight = 0.0f;
    float colour[3] = {0.0f, 0.0f, 0.0f};
    float moments[2] = {0.0f, 0.0f};
    float length = 0.0f;
    // The range of the light seen at the taps.
    float leastSeen = 1.0f, mostSeen = 0.0f;
};

// The four bilinear taps around the previous position that show the same
// surface, their weights renormalised.
Reprojected reproject(const ReconstructionSettings& s, const AccumulationInput& in, const HistoryView& hist, int x,
                      int y) {
    Reprojected r;
    const PixelPos at = in.previous[static_cast<size_t>(y) * in.width + x];
    if (!std::isfinite(at.x) || !std::isfinite(at.y)) return r;
    const float fx = std::floor(at.x), fy = std::floor(at.y);
    if (fx < -1.0f || fy < -1.0f || fx >= static_cast<float>(hist.width) || fy >= static_cast<float>(hist.height))
        return r;
    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    const float ax = at.x - fx, ay = at.y - fy;
    const float* g = in.guide + (static_cast<size_t>(y) * in.width + x) * guideFloats;
    const float tolerance = s.depthAgreement * g[guideHitDepth] + depthSlope(in, x, y) + in.cameraStep;
    for (int k = 0; k < 4; ++k) {
        const int tx = x0 + (k & 1), ty = y0 + (k >> 1);
        if (tx < 0 || ty < 0 || tx >= hist.width || ty >= hist.height) continue;
        const float w = ((k & 1) ? ax : 1.0f - ax) * ((k >> 1) ? ay : 1.0f - ay);
        if (!(w > 0.0f)) continue;
        const size_t q = static_cast<size_t>(ty) * hist.width + tx;
        if (!sameSurface(s, g, hist.guide + q * guideFloats, tolerance)) continue;
        r.weight += w;
        for (int c = 0; c < 3; ++c) r.colour[c] += w * hist.colour[3 * q + c];
        r.moments[0] += w * hist.moments[2 * q];
        r.moments[1] += w * hist.moments[2 * q + 1];
        r.length += w * hist.length[q];
        const float seen = hist.guide[q * guideFloats + guideLightSeen];
        r.leastSeen = std::min(r.leastSeen, seen);
        r.mostSeen = std::max(r.mostSeen, seen);
    }
    // Taps that barely count are rounding, not history.
    if (r.weight < 1e-3f) {
        r.weight = 0.0f;
        return r;
    }
    const float inv = 1.0f / r.weight;
    for (float& c : r.colour) c *= inv;
    r.moments[0] *= inv;
    r.moments[1] *= inv;
    r.length *= inv;
    return r;
}

}  // namespace

float demodulated(float light, float albedo, float smallest) {
    return light / std::max(albedo, smallest);
}

void accumulateRows(const ReconstructionSettings& s, const AccumulationInput& in, const HistoryView& hist,
                    const AccumulatedFrame& out, int y0, int y1) {
    const float longest = static_cast<float>(std::max(1, s.longestHistory));
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < in.width; ++x) {
            const size_t p = static_cast<size_t>(y) * in.width + x;
            const float* g = in.guide + p * guideFloats;
            const Reprojected r = in.previous ? reproject(s, in, hist, x, y) : Reprojected{};
            float light[3];
            for (int c = 0; c < 3; ++c)
                light[c] = demodulated(std::min(in.radiance[3 * p + c], s.brightestLight), g[guideAlbedo + c],
                                       s.smallestAlbedo);
            const float l = luminanceOf(light);
            float* colour = out.colour + 3 * p;
            float* moments = out.moments + 2 * p;
            if (r.weight == 0.0f) {
                for (int c = 0; c < 3; ++c) colour[c] = light[c];
                moments[0] = l;
                moments[1] = l * l;
                out.length[p] = 1.0f;
                out.variance[p] = 0.0f;
                continue;
            }
            float length = std::min(r.length + 1.0f, longest);
            if (in.lengthCap) length = std::min(length, in.lengthCap[p]);
            // A shadow moved over the surface: what it had gathered is the old
            // light. (Cut short in proportion instead, the trail measured longer.)
            const float seen = g[guideLightSeen];
            if (seen > r.mostSeen || seen < r.leastSeen) length = 1.0f;
            length = std::max(length, 1.0f);
            const float least = g[guideSpecular] != 0.0f ? std::max(s.alpha, s.specularAlpha) : s.alpha;
            const float a = std::max(least, 1.0f / length), am = std::max(s.momentsAlpha, 1.0f / length);
            for (int c = 0; c < 3; ++c) colour[c] = r.colour[c] + a * (light[c] - r.colour[c]);
            moments[0] = r.moments[0] + am * (l - r.moments[0]);
            moments[1] = r.moments[1] + am * (l * l - r.moments[1]);
            out.length[p] = length;
            // The moments tell one frame's noise; the history averages about
            // `length` frames of it, and the filter needs to know what noise is left.
            out.variance[p] = std::max(0.0f, moments[1] - moments[0] * moments[0]) / length;
        }
}
