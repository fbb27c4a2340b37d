#include "reconstruct/reconstruction.h"

#include <algorithm>
#include <cmath>

#include "kernel/pixel_guide.h"
#include "reconstruct/history_range.h"
#include "reconstruct/light_change.h"
#include "reconstruct/motion.h"
#include "reconstruct/spatial_variance.h"
#include "reconstruct/temporal_accumulation.h"
#include "reconstruct/temporal_upsample.h"
#include "render/denoise.h"

namespace {

float cameraStep(const FrameData& a, const FrameData& b) {
    float sum = 0.0f;
    for (int k = 0; k < 3; ++k) sum += (a.camPosition[k] - b.camPosition[k]) * (a.camPosition[k] - b.camPosition[k]);
    return std::sqrt(sum);
}

// Whether the light (sphere 0) moved or changed its size: the shadows' edges move with it.
bool lightMoved(const FrameData& a, const FrameData& b) {
    if (a.sphereCount < 1 || b.sphereCount < 1) return false;
    return a.sphereX[0] != b.sphereX[0] || a.sphereY[0] != b.sphereY[0] || a.sphereZ[0] != b.sphereZ[0] ||
           a.sphereRadius[0] != b.sphereRadius[0];
}

}  // namespace

Reconstruction::Reconstruction(const ReconstructionSettings& settings)
    : settings_(settings), pool_(settings.threads) {}

void Reconstruction::reset() {
    hasHistory_ = false;
}

void Reconstruction::addFrame(const FrameData& rendered, const FrameData& view, const float* radiance,
                              const float* guide, uint32_t* out) {
    reconstruct(rendered, view, radiance, guide, out);
    if (rendered.width <= 0 || rendered.height <= 0 || view.width <= 0 || view.height <= 0) return;
    keep(rendered, view);
}

void Reconstruction::keep(const FrameData& rendered, const FrameData& view) {
    colour_.swap(lastColour_), moments_.swap(lastMoments_), length_.swap(lastLength_), surface_.swap(lastSurface_);
    outColour_.swap(lastOutColour_), outLength_.swap(lastOutLength_);
    lastRendered_ = rendered;
    lastView_ = view;
    hasHistory_ = true;
}

void Reconstruction::reconstruct(const FrameData& rendered, const FrameData& view, const float* radiance,
                                 const float* guide, uint32_t* out) {
    const int w = rendered.width, h = rendered.height, ow = view.width, oh = view.height;
    if (w <= 0 || h <= 0 || ow <= 0 || oh <= 0) return;
    const size_t n = static_cast<size_t>(w) * h, on = static_cast<size_t>(ow) * oh;
    if (hasHistory_ && (lastRendered_.width != w || lastRendered_.height != h || lastView_.width != ow ||
                        lastView_.height != oh))
        hasHistory_ = false;
    colour_.resize(3 * n), moments_.resize(2 * n), length_.resize(n), surface_.resize(surfacePlanes * n);
    integrated_.resize(3 * n), variance_.resize(n), cap_.resize(n), modulated_.resize(3 * n);
    filtered_.resize(3 * n), neighbourhood_.resize(9 * n), previous_.resize(n), luminance_.resize(n), objects_.resize(n);
    outColour_.resize(3 * on), outLength_.resize(on);

    // The light the clamp takes off, to be given back over its cells.
    const float* returned = nullptr;
    if (settings_.returnClampedLight) {
        prepareExcessCells(settings_, w, h, excess_);
        // With a history, the range test's planes come along.
        float* const luminance = hasHistory_ ? luminance_.data() : nullptr;
        float* const objects = hasHistory_ ? objects_.data() : nullptr;
        // A cell row is many pixel rows: bands of one.
        pool_.run(
            excess_.height,
            [&](int cy0, int cy1) { gatherExcessRows(settings_, w, h, radiance, guide, excess_, cy0, cy1, luminance, objects); },
            1);
        if (excessToReturn(excess_)) {
            returned_.resize(3 * n);
            pool_.run(h, [&](int y0, int y1) { returnedLightRows(excess_, w, returned_.data(), y0, y1); });
            returned = returned_.data();
        }
    }

    // Where each pixel's surface was, and how much its light changed.
    if (hasHistory_) {
        previousPositions(rendered, lastRendered_, guide, previous_.data(), pool_);
        pool_.run(h, [&](int y0, int y1) {
            lightChangeCaps(settings_, rendered, lastRendered_, guide, cap_.data(), y0, y1);
            if (!settings_.returnClampedLight)
                demodulatedLuminance(settings_, w, radiance, guide, luminance_.data(), objects_.data(), y0, y1);
        });
        const RangeHistory range{lastRendered_.width, lastRendered_.height, lastColour_.data(), lastLength_.data()};
        pool_.run(h, [&](int y0, int y1) {
            historyRangeCaps(settings_, w, h, objects_.data(), luminance_.data(), previous_.data(), range, cap_.data(), y0, y1);
        });
    }
    AccumulationInput in;
    in.width = w, in.height = h, in.radiance = radiance, in.guide = guide, in.returned = returned;
    in.previous = hasHistory_ ? previous_.data() : nullptr;
    in.lengthCap = hasHistory_ ? cap_.data() : nullptr;
    in.cameraStep = hasHistory_ ? cameraStep(rendered, lastRendered_) : 0.0f;
    const bool moved = hasHistory_ && lightMoved(rendered, lastRendered_);
    in.penumbraAlpha = moved ? settings_.penumbraAlpha : 0.0f;
    PixelMap toView{}, lastToView{};
    // While the light moves or dims, the light bounced everywhere changes: no history weighs more.
    if (hasHistory_ && !moved && emittedLuminance(rendered) == emittedLuminance(lastRendered_)) {
        toView = pixelMap(rendered, view), lastToView = pixelMap(lastRendered_, lastView_);
        in.toView = &toView, in.lastToView = &lastToView;
    }
    const HistoryView history{w, h, lastColour_.data(), lastMoments_.data(), lastLength_.data(), lastSurface_.data()};
    // Unless the filter's first pass is the history, the light as accumulated is.
    float* const accumulated = settings_.filteredHistory ? integrated_.data() : colour_.data();
    // The filter takes the light with its surface colour, as rendered.
    const AccumulatedFrame acc{accumulated,      moments_.data(),   length_.data(),
                               variance_.data(), modulated_.data(), surface_.data()};
    pool_.run(h, [&](int y0, int y1) { accumulateRows(settings_, in, history, acc, y0, y1); });
    pool_.run(h, [&](int y0, int y1) {
        spatialVarianceRows(settings_, w, h, surface_.data(), moments_.data(), length_.data(), variance_.data(), y0, y1);
    });

    // The history the next frame builds on: the light as accumulated, or the
    // filter's first pass (which converges to a blurred picture: see the settings).
    FilterVariance noise;
    noise.variance = variance_.data();
    noise.phi = settings_.phi;
    noise.smallestAlbedo = settings_.smallestAlbedo;
    noise.settledDeviation = settings_.settledDeviation;
    noise.shadowStop = settings_.shadowStop;
    noise.firstPass = settings_.filteredHistory ? colour_.data() : nullptr;
    denoiseFrame(w, h, modulated_.data(), guide, settings_.filterPasses, filtered_.data(), noise, &pool_);
    // Just after a cut (most of the frame new) the filter alone must carry
    // the picture: the plain filter's wider passes, blended out over the
    // first frames of each pixel's history (at 40 s, the frame after a cut:
    // 29.9 to 31.0 dB).
    size_t young = 0;
    for (size_t p = 0; p < n; ++p) young += length_[p] < settings_.youngHistory;
    if (settings_.youngFilterPasses > 0 && young * 4 > n) {
        young_.resize(3 * n);
        denoiseFrame(w, h, modulated_.data(), guide, settings_.youngFilterPasses, young_.data(), &pool_);
        const float span = std::max(1.0f, settings_.youngHistory - 1.0f);
        pool_.run(h, [&](int y0, int y1) {
            for (size_t p = static_cast<size_t>(y0) * w; p < static_cast<size_t>(y1) * w; ++p) {
                const float t = std::min(1.0f, (length_[p] - 1.0f) / span);
                for (int c = 0; c < 3; ++c)
                    filtered_[3 * p + c] = young_[3 * p + c] + t * (filtered_[3 * p + c] - young_[3 * p + c]);
            }
        });
    }

    NeighbourhoodPlanes around{};
    for (int c = 0; c < 3; ++c)
        around.light[c] = &neighbourhood_[c * n], around.mean[c] = &neighbourhood_[(3 + c) * n],
        around.deviation[c] = &neighbourhood_[(6 + c) * n];
    pool_.run(h, [&](int y0, int y1) { neighbourhoodRows(w, h, filtered_.data(), around, y0, y1); });
    RenderedFrame frame;
    frame.record = &rendered;
    frame.length = length_.data();
    frame.previous = hasHistory_ ? previous_.data() : nullptr;
    frame.neighbourhood = around;
    OutputHistory last;
    if (hasHistory_) {
        last.view = &lastView_;
        last.rendered = &lastRendered_;
        last.colour = lastOutColour_.data();
        last.length = lastOutLength_.data();
    }
    const OutputFrame result{outColour_.data(), outLength_.data(), out};
    pool_.run(oh, [&](int y0, int y1) { upsampleRows(settings_, view, frame, last, result, y0, y1); });
}
