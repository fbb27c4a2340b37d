#include "render/denoise.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
constexpr float smallestAlbedo = smallestFilterAlbedo;
constexpr int largestPasses = 5;

struct Planes {
    const float *nx, *ny, *nz, *depth, *kind, *r, *g, *b, *luminance;
};
struct Sums {
    float *w, *r, *g, *b;
};
// Keeps the brightness weight defined where a pixel has no noise left.
constexpr float tinyDeviation = 1e-4f;
// A border pixel's kind in the variance-guided filter: no object's.
constexpr float borderKind = -10.0f;
constexpr float gaussian3[3] = {0.25f, 0.5f, 0.25f};

// How much two first surfaces are alike: their normals' cosine to the eighth
// power where the pixels are of one kind, 0 where not (kinds are whole
// numbers, so the kind factor is exactly 0 or 1).
inline float surfacesAlike(float nx, float ny, float nz, float kind, float qnx, float qny, float qnz, float qkind) {
    float facing = std::max(nx * qnx + ny * qny + nz * qnz, 0.0f);
    facing *= facing;
    facing *= facing;
    facing *= facing;
    return std::max(1.0f - std::fabs(kind - qkind), 0.0f) * facing;
}

// e^-x for x >= 0 (to about 1e-6 relative) from plain arithmetic, so the
// loops that call it vectorise and round alike on every target.
inline float expNegative(float x) {
    const float t = std::min(x, 80.0f) * 1.44269504f;  // e^-x = 2^-t
    const int32_t whole = static_cast<int32_t>(t);
    const float y = (t - static_cast<float>(whole)) * 0.693147182f;  // e^-y = 2^-(t - whole), y in [0, ln 2)
    float p = 1.0f / 5040.0f;
    p = p * -y + 1.0f / 720.0f;
    p = p * -y + 1.0f / 120.0f;
    p = p * -y + 1.0f / 24.0f;
    p = p * -y + 1.0f / 6.0f;
    p = p * -y + 0.5f;
    p = p * -y + 1.0f;
    p = p * -y + 1.0f;
    const int32_t bits = (127 - whole) << 23;
    float scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return p * scale;
}

// The variance-guided tap: as addTap, with the brightness weighed against the
// centre's deviation (phi times it) and the
// variance summed with squared weights.
void addVarianceTap(size_t w, const float* __restrict nx, const float* __restrict ny, const float* __restrict nz,
                    const float* __restrict depth, const float* __restrict kind, const float* __restrict luminance,
                    const float* __restrict deviation, const float* __restrict qnx, const float* __restrict qny,
                    const float* __restrict qnz, const float* __restrict qdepth, const float* __restrict qkind,
                    const float* __restrict qluminance, const float* __restrict qr, const float* __restrict qg,
                    const float* __restrict qb, const float* __restrict qvariance, float spline, float depthScale,
                    float* __restrict sumW, float* __restrict sumR, float* __restrict sumG, float* __restrict sumB,
                    float* __restrict sumV) {
    for (size_t x = 0; x < w; ++x) {
        const float alike = surfacesAlike(nx[x], ny[x], nz[x], kind[x], qnx[x], qny[x], qnz[x], qkind[x]);
        const float depthDifference = (depth[x] - qdepth[x]) * depthScale, depthTolerance2 = depth[x] * depth[x];
        // However noisy the pixels, light many times brighter than the darker
        // of the two does not count: a bright edge (the light's, seen past a
        // ball's rim) keeps its light, and its surroundings do not take it.
        const float tolerance =
            std::min(deviation[x], firstBrightnessTolerance * std::min(luminance[x], qluminance[x])) + tinyDeviation;
        const float brightness = expNegative(std::fabs(luminance[x] - qluminance[x]) / std::max(tolerance, tinyDeviation));
        const float weight = spline * alike * brightness * depthTolerance2 /
                             (depthTolerance2 + depthDifference * depthDifference);
        sumW[x] += weight;
        sumR[x] += weight * qr[x];
        sumG[x] += weight * qg[x];
        sumB[x] += weight * qb[x];
        sumV[x] += weight * weight * qvariance[x];
    }
}


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
        const float alike = surfacesAlike(nx[x], ny[x], nz[x], kind[x], qnx[x], qny[x], qnz[x], qkind[x]);
        // How much the tap counts for a difference d at tolerance t is
        // 1 / (1 + (d / t)^2): 1 for equal values, 1/2 at the tolerance, falling
        // off beyond. Depth and brightness together, with one division.
        const float depthDifference = (depth[x] - qdepth[x]) * depthScale, depthTolerance2 = depth[x] * depth[x];
        const float brightness = luminance[x] - qluminance[x];
        const float tolerance = brightnessTolerance * (0.5f * (luminance[x] + qluminance[x]) + 1e-4f);
        const float tolerance2 = tolerance * tolerance;
        const float weight = spline * alike * (depthTolerance2 * tolerance2) /
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

// phi times the deviation of the 3 x 3 smoothed variance over pixels of the
// centre's kind, for the w pixels of a row.
void deviationRow(size_t w, size_t pw, const float* kind, const float* variance, float phi, float* out) {
    for (size_t x = 0; x < w; ++x) {
        float sum = 0.0f, sumW = 0.0f;
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                const size_t q = x + (static_cast<size_t>(j) - 1) * pw + static_cast<size_t>(i) - 1;
                const float g = gaussian3[i] * gaussian3[j] * std::max(1.0f - std::fabs(kind[x] - kind[q]), 0.0f);
                sumW += g;
                sum += g * variance[q];
            }
        out[x] = phi * std::sqrt(sum / sumW);
    }
}

void filterFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out,
                 const FilterVariance* guided) {
    if (w <= 0 || h <= 0) return;
    passes = std::clamp(passes, 1, largestPasses);
    // Planes with a border wide enough for the widest gap: the taps need no
    // bounds checks, and the loops over a row vectorise.
    const int border = 2 << (passes - 1);
    const int pw = w + 2 * border, ph = h + 2 * border;
    const size_t n = static_cast<size_t>(pw) * ph;
    // kind: 0 surface, 1 sky, 2 border; taps count only between pixels of one kind.
    std::vector<float> nx(n, 1.0f), ny(n, 0.0f), nz(n, 0.0f), depth(n, missDistance), kind(n, guided ? borderKind : 2.0f);
    // The variance-guided filter's own planes: the variance, and its smoothed deviation's weight.
    std::vector<float> variance(guided ? n : 0, 0.0f), nextVariance(guided ? n : 0, 0.0f), deviation(guided ? n : 0, 0.0f);
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
            // Objects apart, and the polished first hits apart from the rest.
            if (guided) {
                kind[q] = 2.0f * gp[guideObject] + gp[guideSpecular];
                variance[q] = std::max(guided->variance[p], 0.0f);
            }
            // the sky keeps a unit normal
            if (!sky) nx[q] = gp[guideNormal], ny[q] = gp[guideNormal + 1], nz[q] = gp[guideNormal + 2];
            depth[q] = gp[guideDepth];
            const float floor = guided ? guided->smallestAlbedo : smallestAlbedo;
            albedoR[q] = std::max(gp[guideAlbedo], floor);
            albedoG[q] = std::max(gp[guideAlbedo + 1], floor);
            albedoB[q] = std::max(gp[guideAlbedo + 2], floor);
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
        if (guided) {
            forRows(h, [&](int y0, int y1) {
                for (int y = y0 + border; y < y1 + border; ++y) {
                    const size_t row = static_cast<size_t>(y) * pw + border;
                    deviationRow(static_cast<size_t>(w), static_cast<size_t>(pw), kind.data() + row,
                                 variance.data() + row, guided->phi, deviation.data() + row);
                }
            });
        }
        forRows(h, [&](int y0, int y1) {
            std::vector<float> sumW(w), sumR(w), sumG(w), sumB(w), sumV(guided ? w : 0);
            const Sums sums{sumW.data(), sumR.data(), sumG.data(), sumB.data()};
            for (int y = y0 + border; y < y1 + border; ++y) {
                std::fill(sumW.begin(), sumW.end(), 0.0f);
                std::fill(sumR.begin(), sumR.end(), 0.0f);
                std::fill(sumG.begin(), sumG.end(), 0.0f);
                std::fill(sumB.begin(), sumB.end(), 0.0f);
                std::fill(sumV.begin(), sumV.end(), 0.0f);
                const size_t row = static_cast<size_t>(y) * pw + border;
                for (int j = 0; j < 5; ++j) {
                    for (int i = 0; i < 5; ++i) {
                        const ptrdiff_t offset = static_cast<ptrdiff_t>((j - 2) * gap) * pw + (i - 2) * gap;
                        const float spline = splineWeights[i] * splineWeights[j];
                        if (!guided) {
                            tapRow(w, row, offset, spline, brightnessTolerance, depthScale, planes, sums);
                            continue;
                        }
                        const size_t q = static_cast<size_t>(static_cast<ptrdiff_t>(row) + offset);
                        addVarianceTap(static_cast<size_t>(w), &nx[row], &ny[row], &nz[row], &depth[row], &kind[row],
                                       &luminance[row], &deviation[row], &nx[q], &ny[q], &nz[q], &depth[q],
                                       &kind[q], &luminance[q], &lightR[q], &lightG[q], &lightB[q], &variance[q],
                                       spline, depthScale, sums.w, sums.r, sums.g, sums.b, sumV.data());
                    }
                }
                if (guided) {
                    for (int x = 0; x < w; ++x) {
                        const size_t p = row + x;
                        nextVariance[p] = sumW[x] > 0.0f ? sumV[x] / (sumW[x] * sumW[x]) : variance[p];
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
        if (guided) std::swap(variance, nextVariance);
        if (guided && guided->firstPass && pass == 0) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const size_t p = static_cast<size_t>(y) * w + x;
                    const size_t q = static_cast<size_t>(y + border) * pw + x + border;
                    guided->firstPass[3 * p] = lightR[q];
                    guided->firstPass[3 * p + 1] = lightG[q];
                    guided->firstPass[3 * p + 2] = lightB[q];
                }
        }
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

void denoiseFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out) {
    filterFrame(w, h, radiance, guide, passes, out, nullptr);
}

void denoiseFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out,
                  const FilterVariance& variance) {
    filterFrame(w, h, radiance, guide, passes, out, variance.variance ? &variance : nullptr);
}
