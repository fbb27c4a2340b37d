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
#include "render/filter_taps.h"

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

// A border pixel's kind in the variance-guided filter: no object's.
constexpr float borderKind = -10.0f;

// The filter's planes, kept by each thread that filters from one frame to
// the next: fresh ones cost a page fault every few pixels.
struct FilterPlanes {
    std::vector<float> nx, ny, nz, depth, kind, variance, nextVariance, deviation, albedoR, albedoG, albedoB, lightR,
        lightG, lightB, luminance, nextR, nextG, nextB;
};

FilterPlanes& planesOfThisThread() {
    thread_local FilterPlanes planes;
    return planes;
}

// Sizes a plane of (w + 2 border) x (h + 2 border) pixels plus slack and
// sets its border and slack to value. Its pixels inside are each written
// before they are read: filling whole planes every frame took longer than
// the filter's setup itself.
void fillBorder(std::vector<float>& plane, size_t stored, float value, int w, int h, int border) {
    plane.resize(stored);
    if (stored == 0) return;
    const size_t pw = static_cast<size_t>(w) + 2 * border;
    float* const p = plane.data();
    std::fill(p, p + border * pw, value);
    for (size_t y = border; y < static_cast<size_t>(h) + border; ++y) {
        std::fill(p + y * pw, p + y * pw + border, value);
        std::fill(p + y * pw + border + w, p + (y + 1) * pw, value);
    }
    std::fill(p + (static_cast<size_t>(h) + border) * pw, p + stored, value);
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

void filterFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out,
                 const FilterVariance* guided) {
    if (w <= 0 || h <= 0) return;
    passes = std::clamp(passes, 1, largestPasses);
    // Planes with a border wide enough for the widest gap: the taps need no
    // bounds checks, and the loops over a row vectorise.
    const int border = 2 << (passes - 1);
    const int pw = w + 2 * border, ph = h + 2 * border;
    const size_t n = static_cast<size_t>(pw) * ph;
    // The taps read whole vectors past a row's end: the planes keep that slack.
    const size_t stored = n + filterRowSlack, varianceStored = guided ? stored : 0;
    FilterPlanes& planes = planesOfThisThread();
    // kind: 0 surface, 1 sky, 2 border; taps count only between pixels of one kind.
    std::vector<float>&nx = planes.nx, &ny = planes.ny, &nz = planes.nz, &depth = planes.depth, &kind = planes.kind;
    const auto edge = [&](std::vector<float>& plane, size_t size, float value) { fillBorder(plane, size, value, w, h, border); };
    edge(nx, stored, 1.0f), edge(ny, stored, 0.0f), edge(nz, stored, 0.0f), edge(depth, stored, missDistance);
    edge(kind, stored, guided ? borderKind : 2.0f);
    // The variance-guided filter's own planes: the variance, and its smoothed deviation's weight.
    std::vector<float>&variance = planes.variance, &nextVariance = planes.nextVariance, &deviation = planes.deviation;
    edge(variance, varianceStored, 0.0f), edge(nextVariance, varianceStored, 0.0f), edge(deviation, varianceStored, 0.0f);
    std::vector<float>&albedoR = planes.albedoR, &albedoG = planes.albedoG, &albedoB = planes.albedoB;
    edge(albedoR, n, 1.0f), edge(albedoG, n, 1.0f), edge(albedoB, n, 1.0f);
    std::vector<float>&lightR = planes.lightR, &lightG = planes.lightG, &lightB = planes.lightB,
        &luminance = planes.luminance;
    edge(lightR, stored, 0.0f), edge(lightG, stored, 0.0f), edge(lightB, stored, 0.0f);
    // Every pixel's luminance is worked out each pass; only the slack stays.
    luminance.resize(stored);
    std::fill(luminance.begin() + static_cast<ptrdiff_t>(n), luminance.end(), 0.0f);
    std::vector<float>&nextR = planes.nextR, &nextG = planes.nextG, &nextB = planes.nextB;
    edge(nextR, stored, 0.0f), edge(nextG, stored, 0.0f), edge(nextB, stored, 0.0f);
    forRows(h, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
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
            // the sky has a unit normal
            nx[q] = sky ? 1.0f : gp[guideNormal], ny[q] = sky ? 0.0f : gp[guideNormal + 1];
            nz[q] = sky ? 0.0f : gp[guideNormal + 2];
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
    });

    for (int pass = 0; pass < passes; ++pass) {
        const int gap = 1 << pass;
        const float brightnessTolerance = firstBrightnessTolerance / static_cast<float>(gap);
        const float depthScale = 1.0f / (depthTolerance * static_cast<float>(gap));
        for (size_t p = 0; p < n; ++p) luminance[p] = 0.2126f * lightR[p] + 0.7152f * lightG[p] + 0.0722f * lightB[p];
        if (guided) {
            forRows(h, [&](int y0, int y1) {
                for (int y = y0 + border; y < y1 + border; ++y) {
                    const size_t row = static_cast<size_t>(y) * pw + border;
                    deviationRow(static_cast<size_t>(w), static_cast<size_t>(pw), kind.data() + row,
                                 variance.data() + row, guided->phi, deviation.data() + row);
                }
            });
        }
        FilterKernel kernel{};
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 5; ++i) {
                kernel.offset[5 * j + i] = static_cast<ptrdiff_t>((j - 2) * gap) * pw + (i - 2) * gap;
                kernel.spline[5 * j + i] = splineWeights[i] * splineWeights[j];
            }
        kernel.brightnessTolerance = brightnessTolerance;
        kernel.depthScale = depthScale;
        forRows(h, [&](int y0, int y1) {
            const size_t sumsStored = static_cast<size_t>(w) + filterRowSlack;
            std::vector<float> sumW(sumsStored), sumR(sumsStored), sumG(sumsStored), sumB(sumsStored),
                sumV(guided ? sumsStored : 0);
            const FilterSums sums{sumW.data(), sumR.data(), sumG.data(), sumB.data(), guided ? sumV.data() : nullptr};
            for (int y = y0 + border; y < y1 + border; ++y) {
                const size_t row = static_cast<size_t>(y) * pw + border;
                const FilterRow centre{&nx[row],        &ny[row],     &nz[row],     &depth[row],
                                       &kind[row],      &luminance[row], &lightR[row], &lightG[row],
                                       &lightB[row],    guided ? &variance[row] : nullptr};
                if (guided)
                    sumVarianceTapsRow(static_cast<size_t>(w), centre, &deviation[row], kernel, sums);
                else
                    sumTapsRow(static_cast<size_t>(w), centre, kernel, sums);
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
