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
#include "render/filter_setup.h"
#include "render/filter_taps.h"
#include "render/row_pool.h"

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

// A plane of the filter. Large allocations all start at one offset in a
// page, and a pass reads ten planes at one pixel: at the same offset they
// fall in one set of the first-level cache and evict each other (the setup
// took half as long as both passes). So each plane starts its own number of
// planeSetStep into its storage, in a set of its own.
constexpr size_t planeSetStep = 128 / sizeof(float);  // two lines: a vector may straddle one
constexpr int planeCount = 20;
static_assert(planeCount * planeSetStep * sizeof(float) <= 4096, "the planes' staggers stay within a page");

struct Plane {
    explicit Plane(int index) : stagger(static_cast<size_t>(index) * planeSetStep) {}
    std::vector<float> store;
    float* at = nullptr;
    size_t stagger;  // floats from the storage's start to the plane's
    float& operator[](size_t i) { return at[i]; }
    float* data() { return at; }
};

// The filter's planes, kept by each thread that filters from one frame to
// the next: fresh ones cost a page fault every few pixels.
struct FilterPlanes {
    Plane nx{0}, ny{1}, nz{2}, depth{3}, kind{4}, variance{5}, nextVariance{6}, deviation{7}, albedoR{8}, albedoG{9},
        albedoB{10}, lightR{11}, lightG{12}, lightB{13}, luminance{14}, nextR{15}, nextG{16}, nextB{17},
        nextLuminance{18}, seen{19};
};
static_assert(sizeof(FilterPlanes) == planeCount * sizeof(Plane), "every plane has its own stagger");

FilterPlanes& planesOfThisThread() {
    thread_local FilterPlanes planes;
    return planes;
}

// Sizes a plane of (w + 2 border) x (h + 2 border) pixels plus slack and
// sets its border and slack to value. Its pixels inside are each written
// before they are read: filling whole planes every frame took longer than
// the filter's setup itself.
void fillBorder(Plane& plane, size_t stored, float value, int w, int h, int border) {
    plane.store.resize(stored + plane.stagger);
    plane.at = plane.store.data() + plane.stagger;
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

// Runs rows(y0, y1) over [0, h): on the pool's threads, or without one on
// threads started for the call.
template <class Rows>
void forRows(RowPool* pool, int h, Rows rows) {
    if (pool) {
        pool->run(h, rows);
        return;
    }
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
                 const FilterVariance* guided, RowPool* pool) {
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
    Plane &nx = planes.nx, &ny = planes.ny, &nz = planes.nz, &depth = planes.depth, &kind = planes.kind;
    const auto edge = [&](Plane& plane, size_t size, float value) { fillBorder(plane, size, value, w, h, border); };
    edge(nx, stored, 1.0f), edge(ny, stored, 0.0f), edge(nz, stored, 0.0f), edge(depth, stored, missDistance);
    edge(kind, stored, guided ? borderKind : 2.0f);
    // The variance-guided filter's own planes: the variance, and its smoothed deviation's weight.
    Plane &variance = planes.variance, &nextVariance = planes.nextVariance, &deviation = planes.deviation;
    edge(variance, varianceStored, 0.0f), edge(nextVariance, varianceStored, 0.0f), edge(deviation, varianceStored, 0.0f);
    const bool shadows = guided && guided->shadowStop > 0.0f;
    Plane& seen = planes.seen;
    edge(seen, shadows ? stored : 0, 0.0f);
    Plane &albedoR = planes.albedoR, &albedoG = planes.albedoG, &albedoB = planes.albedoB;
    edge(albedoR, n, 1.0f), edge(albedoG, n, 1.0f), edge(albedoB, n, 1.0f);
    Plane &lightR = planes.lightR, &lightG = planes.lightG, &lightB = planes.lightB,
        &luminance = planes.luminance;
    edge(lightR, stored, 0.0f), edge(lightG, stored, 0.0f), edge(lightB, stored, 0.0f);
    Plane &nextR = planes.nextR, &nextG = planes.nextG, &nextB = planes.nextB,
        &nextLuminance = planes.nextLuminance;
    edge(luminance, stored, 0.0f), edge(nextLuminance, stored, 0.0f);
    edge(nextR, stored, 0.0f), edge(nextG, stored, 0.0f), edge(nextB, stored, 0.0f);
    const float floor = guided ? guided->smallestAlbedo : smallestAlbedo;
    forRows(pool, h, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const size_t p = static_cast<size_t>(y) * w;
            const size_t q = static_cast<size_t>(y + border) * pw + border;
            const FilterPlaneRow row{&nx[q],      &ny[q],      &nz[q],      &depth[q],  &kind[q],
                                     &albedoR[q], &albedoG[q], &albedoB[q], &lightR[q], &lightG[q],
                                     &lightB[q],  &luminance[q], guided ? &variance[q] : nullptr,
                                     shadows ? &seen[q] : nullptr};
            filterPlanesRow(static_cast<size_t>(w), radiance + 3 * p, guide + p * guideFloats,
                            guided ? guided->variance + p : nullptr, floor, row);
        }
    });

    for (int pass = 0; pass < passes; ++pass) {
        const int gap = 1 << pass;
        const float brightnessTolerance = firstBrightnessTolerance / static_cast<float>(gap);
        const float depthScale = 1.0f / (depthTolerance * static_cast<float>(gap));
        if (guided) {
            forRows(pool, h, [&](int y0, int y1) {
                for (int y = y0 + border; y < y1 + border; ++y) {
                    const size_t row = static_cast<size_t>(y) * pw + border;
                    deviationRow(static_cast<size_t>(w), static_cast<size_t>(pw), kind.data() + row,
                                 variance.data() + row, guided->phi, deviation.data() + row);
                }
            });
        }
        // The variance-guided filter leaves out the four corners, which weigh
        // 1/64 of the kernel together: a sixth fewer taps.
        FilterKernel kernel{};
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 5; ++i) {
                if (guided && (i == 0 || i == 4) && (j == 0 || j == 4)) continue;
                kernel.offset[kernel.taps] = static_cast<ptrdiff_t>((j - 2) * gap) * pw + (i - 2) * gap;
                kernel.spline[kernel.taps] = splineWeights[i] * splineWeights[j];
                ++kernel.taps;
            }
        kernel.brightnessTolerance = brightnessTolerance;
        kernel.depthScale = depthScale;
        kernel.settledDeviation = guided ? guided->settledDeviation : 0.0f;
        kernel.shadowStop = shadows ? guided->shadowStop : 0.0f;
        // The last pass's luminance and variance would not be read.
        const bool last = pass + 1 == passes;
        forRows(pool, h, [&](int y0, int y1) {
            for (int y = y0 + border; y < y1 + border; ++y) {
                const size_t row = static_cast<size_t>(y) * pw + border;
                const FilterRow centre{&nx[row],        &ny[row],     &nz[row],     &depth[row],
                                       &kind[row],      &luminance[row], &lightR[row], &lightG[row],
                                       &lightB[row],    guided ? &variance[row] : nullptr,
                                       shadows ? &seen[row] : nullptr};
                const FilterNext next{&nextR[row], &nextG[row], &nextB[row], last ? nullptr : &nextLuminance[row],
                                      guided && !last ? &nextVariance[row] : nullptr};
                if (guided)
                    varianceFilterPassRow(static_cast<size_t>(w), centre, &deviation[row], kernel, next);
                else
                    filterPassRow(static_cast<size_t>(w), centre, kernel, next);
            }
        });
        std::swap(lightR, nextR);
        std::swap(lightG, nextG);
        std::swap(lightB, nextB);
        std::swap(luminance, nextLuminance);
        if (guided) std::swap(variance, nextVariance);
        if (guided && guided->firstPass && pass == 0) {
            forRows(pool, h, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y)
                for (int x = 0; x < w; ++x) {
                    const size_t p = static_cast<size_t>(y) * w + x;
                    const size_t q = static_cast<size_t>(y + border) * pw + x + border;
                    guided->firstPass[3 * p] = lightR[q];
                    guided->firstPass[3 * p + 1] = lightG[q];
                    guided->firstPass[3 * p + 2] = lightB[q];
                }
            });
        }
    }
    forRows(pool, h, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const size_t q = static_cast<size_t>(y + border) * pw + border;
            filterResultRow(static_cast<size_t>(w), &lightR[q], &lightG[q], &lightB[q], &albedoR[q], &albedoG[q],
                            &albedoB[q], out + 3 * static_cast<size_t>(y) * w);
        }
    });
}

void denoiseFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out, RowPool* pool) {
    filterFrame(w, h, radiance, guide, passes, out, nullptr, pool);
}

void denoiseFrame(int w, int h, const float* radiance, const float* guide, int passes, float* out,
                  const FilterVariance& variance, RowPool* pool) {
    filterFrame(w, h, radiance, guide, passes, out, variance.variance ? &variance : nullptr, pool);
}
