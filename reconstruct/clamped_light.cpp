#include "reconstruct/clamped_light.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"

static_assert(excessSlots == firstBoxObjectId + maxBoxes, "a slot for every sphere and box");

namespace {

// The pixel's slot, or -1 where it neither gives nor takes light back.
int slotOf(const float* g) {
    const float id = g[guideObject];
    if (!(id >= 1.0f && id < static_cast<float>(excessSlots)) || g[guideSpecular] != 0.0f) return -1;
    return static_cast<int>(id);
}

// Whether any of the 3 x 3 pixels around (x, y) shows another first hit than
// it, or one seen through mirror or glass: its primary rays, spread over the
// pixel, may have met that one (the light itself, or the light in a mirror).
bool besideAnotherSurface(int width, int height, const float* guide, int x, int y) {
    const float own = guide[(static_cast<size_t>(y) * width + x) * guideFloats + guideObject];
    for (int yy = std::max(0, y - 1); yy <= std::min(height - 1, y + 1); ++yy)
        for (int xx = std::max(0, x - 1); xx <= std::min(width - 1, x + 1); ++xx) {
            const float* g = guide + (static_cast<size_t>(yy) * width + xx) * guideFloats;
            if (g[guideObject] != own || g[guideSpecular] != 0.0f) return true;
        }
    return false;
}

}  // namespace

void prepareExcessCells(const ReconstructionSettings& settings, int width, int height, ExcessCells& cells) {
    const int c = std::max(1, settings.excessCellPixels);
    cells.cellPixels = c;
    cells.width = (std::max(0, width) + c - 1) / c;
    cells.height = (std::max(0, height) + c - 1) / c;
    cells.mean.assign(static_cast<size_t>(cells.width) * cells.height * excessSlots * excessCellFloats, 0.0f);
    cells.rowGives.assign(static_cast<size_t>(cells.height), 0);
}

void gatherExcessRows(const ReconstructionSettings& settings, int width, int height, const float* radiance,
                      const float* guide, ExcessCells& cells, int cy0, int cy1) {
    const int c = cells.cellPixels;
    const float brightest = settings.brightestLight, smallest = settings.smallestAlbedo;
    // Per cell of a row and slot: the light above the clamp (3), the pixels, the clamped pixels.
    constexpr int sums = 5;
    std::vector<float> row(static_cast<size_t>(cells.width) * excessSlots * sums);
    for (int cy = cy0; cy < cy1; ++cy) {
        std::fill(row.begin(), row.end(), 0.0f);
        for (int y = cy * c; y < std::min(height, (cy + 1) * c); ++y)
            for (int x = 0; x < width; ++x) {
                const size_t p = static_cast<size_t>(y) * width + x;
                const float* g = guide + p * guideFloats;
                const int slot = slotOf(g);
                if (slot < 0) continue;
                float* s = &row[(static_cast<size_t>(x / c) * excessSlots + slot) * sums];
                s[3] += 1.0f;
                float above[3];
                bool clamped = false;
                for (int k = 0; k < 3; ++k) {
                    // NaN and infinite light give nothing back (a NaN would spread over four cells).
                    const float e = radiance[3 * p + k] - brightest;
                    above[k] = e > 0.0f && std::isfinite(e) ? e / std::max(g[guideAlbedo + k], smallest) : 0.0f;
                    clamped = clamped || above[k] > 0.0f;
                }
                if (!clamped) continue;
                s[4] += 1.0f;
                if (besideAnotherSurface(width, height, guide, x, y)) continue;
                for (int k = 0; k < 3; ++k) s[k] += above[k];
            }
        // A cell's centre counts in proportion to its pixels of the object, up to a quarter of the cell.
        const float full = 0.25f * static_cast<float>(c) * static_cast<float>(c);
        for (int cx = 0; cx < cells.width; ++cx)
            for (int slot = 1; slot < excessSlots; ++slot) {
                const float* s = &row[(static_cast<size_t>(cx) * excessSlots + slot) * sums];
                float* m = &cells.mean[((static_cast<size_t>(cy) * cells.width + cx) * excessSlots + slot) * excessCellFloats];
                // A dense cell gives nothing back but still counts: the light
                // given back fades out towards it instead of ending at a cell's edge.
                const bool sparse = s[4] <= settings.denseExcessShare * s[3];
                m[3] = std::min(1.0f, s[3] / full);
                for (int k = 0; k < 3; ++k) m[k] = s[3] > 0.0f && sparse ? s[k] / s[3] : 0.0f;
                if (m[0] > 0.0f || m[1] > 0.0f || m[2] > 0.0f) cells.rowGives[static_cast<size_t>(cy)] = 1;
            }
    }
}

bool excessToReturn(const ExcessCells& cells) {
    for (char gives : cells.rowGives)
        if (gives) return true;
    return false;
}

void returnedLightRows(const ExcessCells& cells, int width, const float* guide, float* returned, int y0, int y1) {
    const int c = cells.cellPixels;
    const float inverse = 1.0f / static_cast<float>(c);
    // A pixel's cell column and its place between the cells' centres: the same in every row.
    std::vector<int> column(static_cast<size_t>(width));
    std::vector<float> across(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        const float fx = (static_cast<float>(x) + 0.5f) * inverse - 0.5f;
        column[x] = static_cast<int>(std::floor(fx));
        across[x] = fx - static_cast<float>(column[x]);
    }
    const auto gives = [&](int cy) { return cy >= 0 && cy < cells.height && cells.rowGives[static_cast<size_t>(cy)]; };
    for (int y = y0; y < y1; ++y) {
        const float fy = (static_cast<float>(y) + 0.5f) * inverse - 0.5f;
        const int cy = static_cast<int>(std::floor(fy));
        const float ty = fy - static_cast<float>(cy);
        float* const row = returned + 3 * static_cast<size_t>(y) * width;
        if (!gives(cy) && !gives(cy + 1)) {
            std::fill(row, row + 3 * static_cast<size_t>(width), 0.0f);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const size_t p = static_cast<size_t>(y) * width + x;
            float* out = row + 3 * static_cast<size_t>(x);
            out[0] = out[1] = out[2] = 0.0f;
            const int slot = slotOf(guide + p * guideFloats);
            if (slot < 0) continue;
            const int cx = column[x];
            const float tx = across[x];
            float sum[3] = {0.0f, 0.0f, 0.0f}, weight = 0.0f;
            for (int j = 0; j < 4; ++j) {
                const int ix = cx + (j & 1), iy = cy + (j >> 1);
                if (ix < 0 || iy < 0 || ix >= cells.width || iy >= cells.height) continue;
                const float* m =
                    &cells.mean[((static_cast<size_t>(iy) * cells.width + ix) * excessSlots + slot) * excessCellFloats];
                const float wj = ((j & 1) ? tx : 1.0f - tx) * ((j >> 1) ? ty : 1.0f - ty) * m[3];
                if (!(wj > 0.0f)) continue;
                for (int k = 0; k < 3; ++k) sum[k] += wj * m[k];
                weight += wj;
            }
            if (weight > 0.0f)
                for (int k = 0; k < 3; ++k) out[k] = sum[k] / weight;
        }
    }
}
