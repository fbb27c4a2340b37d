#include "render/denoise.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <thread>
#include <utility>
#include <vector>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"

namespace {

constexpr float splineWeights[5] = {1.0f / 16.0f, 1.0f / 4.0f, 3.0f / 8.0f, 1.0f / 4.0f, 1.0f / 16.0f};
// Relative depth difference (per unit of gap) at which a tap counts half.
constexpr float depthTolerance = 0.05f;
// Relative brightness difference at which a tap counts half in the first
// pass; halved every pass, as the noise left to remove shrinks.
constexpr float firstBrightnessTolerance = 2.0f;
// Keeps the surface colour away from zero when dividing by it.
constexpr float smallestAlbedo = 1e-3f;
constexpr int largestPasses = 5;

struct Planes {
    const float *nx, *ny, *nz, *depth, *kind, *r, *g, *b, *luminance;
};
struct Sums {
    float *w, *r, *g, *b;
};


// One tap of the 5 x 5 kernel for the w pixels of a row: adds its weight and
// weighted light into the sums. Plain loops over restrict pointers, so the
// compiler vectorises them.
void addTap(size_t w, const float* __restrict nx, const float* __restrict ny, const float* __restrict nz,
            const float* __restrict depth, const float* __restrict kind, const float* __restrict luminance,
            const float* __restrict qnx, const float* __restrict qny, const float* __restrict qnz,
            const float* __restrict qdepth, const float* __restrict qkind, const float* __restrict qluminance,
            const float* __restrict qr, const float* __restrict qg, const float* __restrict qb, float spline,
            float brightnessTolerance, float depthScale, float* __restrict sumW, float* __restrict sumR,
            float* __restrict sumG, float* __restrict sumB) {
    for (size_t x = 0; x < w; ++x) {
        float facing = std::max(nx[x] * qnx[x] + ny[x] * qny[x] + nz[x] * qnz[x], 0.0f);
        facing *= facing;
        facing *= facing;
        facing *= facing;
        // 1 for the same kind of pixel, 0 for another (kinds differ by at least 1).
        const float sameKind = std::max(1.0f - std::fabs(kind[x] - qkind[x]), 0.0f);
        // How much the tap counts for a difference d at tolerance t is
        // 1 / (1 + (d / t)^2): 1 for equal values, 1/2 at the tolerance, falling
        // off beyond. Depth and brightness together, with one division.
        const float depthDifference = (depth[x] - qdepth[x]) * depthScale, depthTolerance2 = depth[x] * depth[x];
        const float brightness = luminance[x] - qluminance[x];
        const float tolerance = brightnessTolerance * (0.5f * (luminance[x] + qluminance[x]) + 1e-4f);
        const float tolerance2 = tolerance * tolerance;
        const float weight = spline * sameKind * facing * (depthTolerance2 * tolerance2) /
                             ((depthTolerance2 + depthDifference * depthDifference) *
                              (tolerance2 + brightness * brightness));
        sumW[x] += weight;
        sumR[x] += weight * qr[x];
        sumG[x] += weight * qg[x];
        sumB[x] += weight * qb[x];
    }
}

void tapRow(int w, size_t row, ptrdiff_t offset, float spline, float brightnessTolerance, float depthScale,
            const Planes& in, const Sums& sums) {
    const size_t q = static_cast<size_t>(static_cast<ptrdiff_t>(row) + offset);
    addTap(static_cast<size_t>(w), in.nx + row, in.ny + row, in.nz + row, in.depth + row, in.kind + row,
           in.luminance + row, in.nx + q, in.ny + q, in.nz + q, in.depth + q, in.kind + q, in.luminance + q, in.r + q,
           in.g + q, in.b + q, spline, brightnessTolerance, depthScale, sums.w, sums.r, sums.g, sums.b);
}

// Runs rows(y0, y1) over [0, h) on the machine's cores.
template <class Rows>
void forRows(int h, Rows rows) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int parts = std::clamp(h / 32, 1, std::min(cores, 8));
    if (parts == 1) {
        rows(0, h);
        return;
    }
    std::vector<std::thread> helpers;
    const int per = (h + parts - 1) / parts;
    for (int k = 1; k < parts; ++k) helpers.emplace_back(rows, k * per, std::min(h, (k + 1) * per));
    rows(0, std::min(h, per));
    for (std::thread& t : helpers) t.join();
}


}  // namespace

void denoiseFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out) {
    if (w <= 0 || h <= 0) return;
    passes = std::clamp(passes, 1, largestPasses);
    // Planes with a border wide enough for the widest gap: the taps need no
    // bounds checks, and the loops over a row vectorise.
    const int border = 2 << (passes - 1);
    const int pw = w + 2 * border, ph = h + 2 * border;
    const size_t n = static_cast<size_t>(pw) * ph;
    // kind: 0 surface, 1 sky, 2 border; taps count only between pixels of one kind.
    std::vector<float> nx(n, 1.0f), ny(n, 0.0f), nz(n, 0.0f), depth(n, missDistance), kind(n, 2.0f);
    std::vector<float> albedoR(n, 1.0f), albedoG(n, 1.0f), albedoB(n, 1.0f);
    std::vector<float> lightR(n, 0.0f), lightG(n, 0.0f), lightB(n, 0.0f), luminance(n, 0.0f);
    std::vector<float> nextR(n, 0.0f), nextG(n, 0.0f), nextB(n, 0.0f);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t p = static_cast<size_t>(y) * w + x;
            const size_t q = static_cast<size_t>(y + border) * pw + x + border;
            const float* gp = guide + p * guideFloats;
            const bool sky = gp[guideDepth] >= missDistance;
            kind[q] = sky ? 1.0f : 0.0f;
            // the sky keeps a unit normal
            if (!sky) nx[q] = gp[guideNormal], ny[q] = gp[guideNormal + 1], nz[q] = gp[guideNormal + 2];
            depth[q] = gp[guideDepth];
            albedoR[q] = std::max(gp[guideAlbedo], smallestAlbedo);
            albedoG[q] = std::max(gp[guideAlbedo + 1], smallestAlbedo);
            albedoB[q] = std::max(gp[guideAlbedo + 2], smallestAlbedo);
            lightR[q] = radiance[3 * p] / albedoR[q];
            lightG[q] = radiance[3 * p + 1] / albedoG[q];
            lightB[q] = radiance[3 * p + 2] / albedoB[q];
        }
    }

    for (int pass = 0; pass < passes; ++pass) {
        const int gap = 1 << pass;
        const float brightnessTolerance = firstBrightnessTolerance / static_cast<float>(gap);
        const float depthScale = 1.0f / (depthTolerance * static_cast<float>(gap));
        for (size_t p = 0; p < n; ++p) luminance[p] = 0.2126f * lightR[p] + 0.7152f * lightG[p] + 0.0722f * lightB[p];
        const Planes planes{nx.data(),     ny.data(),     nz.data(),     depth.data(),    kind.data(),
                            lightR.data(), lightG.data(), lightB.data(), luminance.data()};
        forRows(h, [&](int y0, int y1) {
            std::vector<float> sumW(w), sumR(w), sumG(w), sumB(w);
            const Sums sums{sumW.data(), sumR.data(), sumG.data(), sumB.data()};
            for (int y = y0 + border; y < y1 + border; ++y) {
                std::fill(sumW.begin(), sumW.end(), 0.0f);
                std::fill(sumR.begin(), sumR.end(), 0.0f);
                std::fill(sumG.begin(), sumG.end(), 0.0f);
                std::fill(sumB.begin(), sumB.end(), 0.0f);
                const size_t row = static_cast<size_t>(y) * pw + border;
                for (int j = 0; j < 5; ++j) {
                    for (int i = 0; i < 5; ++i) {
                        const ptrdiff_t offset = static_cast<ptrdiff_t>((j - 2) * gap) * pw + (i - 2) * gap;
                        const float spline = splineWeights[i] * splineWeights[j];
                        tapRow(w, row, offset, spline, brightnessTolerance, depthScale, planes, sums);
                    }
                }
                for (int x = 0; x < w; ++x) {
                    const size_t p = row + x;
                    // A surface without a usable normal keeps its value.
                    const bool any = sumW[x] > 0.0f;
                    nextR[p] = any ? sumR[x] / sumW[x] : lightR[p];
                    nextG[p] = any ? sumG[x] / sumW[x] : lightG[p];
                    nextB[p] = any ? sumB[x] / sumW[x] : lightB[p];
                }
            }
        });
        std::swap(lightR, nextR);
        std::swap(lightG, nextG);
        std::swap(lightB, nextB);
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t p = static_cast<size_t>(y) * w + x;
            const size_t q = static_cast<size_t>(y + border) * pw + x + border;
            out[3 * p] = lightR[q] * albedoR[q];
            out[3 * p + 1] = lightG[q] * albedoG[q];
            out[3 * p + 2] = lightB[q] * albedoB[q];
        }
    }
}
