// The light given back is worked out per vector of pixels on the best
// target the CPU has (Highway's foreach_target), in the plain C++'s order: no
// fused multiply-adds, so every target writes the same bytes. The cells are
// summed pixel by pixel.
#include "reconstruct/clamped_light.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reconstruct/clamped_light.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "kernel/intersect.h"
#include "kernel/pixel_guide.h"
#include "render/counting-inl.h"
#include "reconstruct/history_range.h"

HWY_BEFORE_NAMESPACE();
namespace tpl_excess {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;

// A corner cell's records for a vector of pixels: the mean light given back and its weight.
struct Corners {
    VF mean[3], weight;
};

// The records of cell row iy for the lanes whose left corner is column
// first (isFirst) or first + 1, and their right corners one on.
HWY_INLINE void cornersOfRow(DF d, const ExcessCells& cells, int iy, int slot, int first, MF isFirst, Corners& left,
                             Corners& right) {
    float m[3][excessCellFloats] = {};
    for (int i = 0; i < 3; ++i) {
        const int ix = first + i;
        if (ix < 0 || ix >= cells.width) continue;
        const float* at = &cells.mean[((static_cast<size_t>(iy) * cells.width + ix) * excessSlots + slot) * excessCellFloats];
        for (int k = 0; k < excessCellFloats; ++k) m[i][k] = at[k];
    }
    const auto pick = [&](int i, int k) { return hn::IfThenElse(isFirst, hn::Set(d, m[i][k]), hn::Set(d, m[i + 1][k])); };
    for (int k = 0; k < 3; ++k) left.mean[k] = pick(0, k), right.mean[k] = pick(1, k);
    left.weight = pick(0, 3), right.weight = pick(1, 3);
}

// The records of column cx + right of cell row iy, gathered lane by lane;
// lanes outside the frame's cells leave use.
HWY_INLINE void gatherCorner(DF d, const ExcessCells& cells, int iy, VI cx, int right, VI slot, MF& use, Corners& corner) {
    const DI di;
    const VI ix = hn::Add(cx, hn::Set(di, right));
    const auto insideI = hn::And(hn::Gt(ix, hn::Set(di, -1)), hn::Lt(ix, hn::Set(di, cells.width)));
    use = hn::And(use, hn::RebindMask(d, insideI));
    const VI cell = hn::Add(hn::Mul(hn::Set(di, iy), hn::Set(di, cells.width)), ix);
    const VI entry = hn::IfThenElseZero(
        hn::RebindMask(di, use), hn::Mul(hn::Add(hn::Mul(cell, hn::Set(di, excessSlots)), slot), hn::Set(di, excessCellFloats)));
    for (int k = 0; k < 3; ++k) corner.mean[k] = hn::GatherIndex(d, cells.mean.data() + k, entry);
    corner.weight = hn::GatherIndex(d, cells.mean.data() + 3, entry);
}

void ReturnedLightRows(const ExcessCells& cells, int width, float* returned, int y0, int y1) {
    const DF d;
    const DI di;
    const size_t lanes = hn::Lanes(d);
    const int c = cells.cellPixels;
    const float inverse = 1.0f / static_cast<float>(c);
    const VF one = hn::Set(d, 1.0f), zero = hn::Zero(d);
    const bool wideCells = static_cast<size_t>(c) >= lanes;
    const auto gives = [&](int cy) { return cy >= 0 && cy < cells.height && cells.rowGives[static_cast<size_t>(cy)]; };
    HWY_ALIGN float tail[3 * HWY_MAX_BYTES / sizeof(float)], tailSlots[HWY_MAX_BYTES / sizeof(float)];
    for (int y = y0; y < y1; ++y) {
        // A pixel's place between the cells' centres.
        const float fy = (static_cast<float>(y) + 0.5f) * inverse - 0.5f;
        const int cy = static_cast<int>(std::floor(fy));
        const float ty = fy - static_cast<float>(cy);
        float* const row = returned + 3 * static_cast<size_t>(y) * width;
        if (!gives(cy) && !gives(cy + 1)) {
            std::fill(row, row + 3 * static_cast<size_t>(width), 0.0f);
            continue;
        }
        for (int x = 0; x < width; x += static_cast<int>(lanes)) {
            const size_t count = std::min(lanes, static_cast<size_t>(width - x));
            const float* slotsAt = cells.slots.data() + static_cast<size_t>(y) * width + x;
            if (count < lanes) {
                std::fill(tailSlots, tailSlots + lanes, -1.0f);
                std::memcpy(tailSlots, slotsAt, count * sizeof(float));
                slotsAt = tailSlots;
            }
            const VF slotF = hn::LoadU(d, slotsAt);
            const MF taking = hn::Ge(slotF, zero);
            VF sum[3] = {zero, zero, zero}, weight = zero;
            if (!hn::AllFalse(d, taking)) {
                const VI slot = hn::ConvertTo(di, hn::IfThenElseZero(taking, slotF));
                const VF fx = hn::Sub(hn::Mul(hn::Add(hn::ConvertTo(d, tpl_plane::HWY_NAMESPACE::countingFrom(di, x)), hn::Set(d, 0.5f)), hn::Set(d, inverse)),
                                      hn::Set(d, 0.5f));
                const VF floorX = hn::Floor(fx);
                const VI cx = hn::ConvertTo(di, floorX);
                const VF tx = hn::Sub(fx, floorX);
                // Where all lanes take from one object and lie within two cells'
                // spans (the cells as wide as a vector at least), the cells' records
                // are read once for the vector instead of gathered lane by lane:
                // the same values, so the same bytes (0.15 ms a frame in the spheres).
                const int firstSlot = hn::GetLane(slot), first = hn::GetLane(cx);
                const bool oneObject = wideCells && hn::AllTrue(d, taking) && hn::AllTrue(di, hn::Eq(slot, hn::Set(di, firstSlot)));
                const MF isFirst = hn::RebindMask(d, hn::Eq(cx, hn::Set(di, first)));
                for (int down = 0; down < 2; ++down) {
                    const int iy = cy + down;
                    if (iy < 0 || iy >= cells.height) continue;
                    const VF rowWeight = hn::Set(d, down ? ty : 1.0f - ty);
                    Corners both[2] = {{{zero, zero, zero}, zero}, {{zero, zero, zero}, zero}};
                    if (oneObject) cornersOfRow(d, cells, iy, firstSlot, first, isFirst, both[0], both[1]);
                    for (int right = 0; right < 2; ++right) {
                        MF use = taking;
                        Corners& corner = both[right];
                        if (!oneObject) {
                            gatherCorner(d, cells, iy, cx, right, slot, use, corner);
                            if (hn::AllFalse(d, use)) continue;
                        }
                        // A corner outside the frame has no weight in either way of reading it.
                        const VF across = right ? tx : hn::Sub(one, tx);
                        const VF wj = hn::Mul(hn::Mul(across, rowWeight), corner.weight);
                        const MF counts = hn::And(use, hn::Gt(wj, zero));
                        for (int k = 0; k < 3; ++k)
                            sum[k] = hn::IfThenElse(counts, hn::Add(sum[k], hn::Mul(wj, corner.mean[k])), sum[k]);
                        weight = hn::IfThenElse(counts, hn::Add(weight, wj), weight);
                    }
                }
            }
            const MF any = hn::Gt(weight, zero);
            VF out[3];
            for (int k = 0; k < 3; ++k) out[k] = hn::IfThenElseZero(any, hn::Div(sum[k], weight));
            if (count == lanes) {
                hn::StoreInterleaved3(out[0], out[1], out[2], d, row + 3 * static_cast<size_t>(x));
                continue;
            }
            hn::StoreInterleaved3(out[0], out[1], out[2], d, tail);
            std::memcpy(row + 3 * static_cast<size_t>(x), tail, 3 * count * sizeof(float));
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_excess
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tpl_excess {
HWY_EXPORT(ReturnedLightRows);
}  // namespace tpl_excess

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
    cells.slots.resize(static_cast<size_t>(std::max(0, width)) * std::max(0, height));
}

void gatherExcessRows(const ReconstructionSettings& settings, int width, int height, const float* radiance,
                      const float* guide, ExcessCells& cells, int cy0, int cy1, float* luminance, float* object) {
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
                if (luminance) luminance[p] = demodulatedLuminanceAt(settings, radiance + 3 * p, g);
                if (object) object[p] = g[guideObject];
                const int slot = slotOf(g);
                cells.slots[p] = static_cast<float>(slot);
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

void returnedLightRows(const ExcessCells& cells, int width, float* returned, int y0, int y1) {
    HWY_DYNAMIC_DISPATCH(tpl_excess::ReturnedLightRows)(cells, width, returned, y0, y1);
}

#endif  // HWY_ONCE
