// Compiled once per vector target (Highway's foreach_target) and run on the
// best one the CPU has. Only operations that round alike everywhere (no fused
// multiply-adds, no approximate reciprocals), so every target writes the same
// bytes.
#include "reconstruct/temporal_upsample.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reconstruct/temporal_upsample.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "kernel/render_pixel.h"
#include "render/counting-inl.h"
#include "reconstruct/image_plane-inl.h"
#include "reconstruct/plane_reader-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tpl_upsample {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;

struct Colours {
    VF r, g, b;
};

HWY_INLINE Colours toYCoCg(DF d, const Colours& c) {
    const VF quarter = hn::Set(d, 0.25f), half = hn::Set(d, 0.5f);
    const VF y = hn::Add(hn::Add(hn::Mul(quarter, c.r), hn::Mul(half, c.g)), hn::Mul(quarter, c.b));
    const VF co = hn::Sub(hn::Mul(half, c.r), hn::Mul(half, c.b));
    const VF cg = hn::Sub(hn::Sub(hn::Mul(half, c.g), hn::Mul(quarter, c.r)), hn::Mul(quarter, c.b));
    return {y, co, cg};
}

HWY_INLINE Colours fromYCoCg(const Colours& c) {
    return {hn::Sub(hn::Add(c.r, c.g), c.b), hn::Add(c.r, c.b), hn::Sub(hn::Sub(c.r, c.g), c.b)};
}

// The whole pixel nearest to v, within [0, n).
HWY_INLINE VI nearest(DF d, VF v, int n) {
    const VF at = hn::Min(hn::Max(hn::Floor(hn::Add(v, hn::Set(d, 0.5f))), hn::Zero(d)),
                          hn::Set(d, static_cast<float>(n - 1)));
    return hn::ConvertTo(DI(), at);
}

using PlaneReader = tpl_plane::HWY_NAMESPACE::PlaneReader<DF>;
using tpl_plane::HWY_NAMESPACE::planeReader;
using tpl_plane::HWY_NAMESPACE::read;

// Bilinear read of three w x h planes at (x, y), clamped to their edges.
HWY_INLINE Colours bilinear(DF d, const float* const planes[3], int w, int h, VF x, VF y) {
    const DI di;
    x = hn::Min(hn::Max(x, hn::Zero(d)), hn::Set(d, static_cast<float>(w - 1)));
    y = hn::Min(hn::Max(y, hn::Zero(d)), hn::Set(d, static_cast<float>(h - 1)));
    const VI lastX = hn::Set(di, w - 1), lastY = hn::Set(di, h - 1), one = hn::Set(di, 1);
    const VI x0 = hn::Min(hn::ConvertTo(di, x), lastX), y0 = hn::Min(hn::ConvertTo(di, y), lastY);
    const VI x1 = hn::Min(hn::Add(x0, one), lastX), y1 = hn::Min(hn::Add(y0, one), lastY);
    const VF ax = hn::Sub(x, hn::ConvertTo(d, x0)), ay = hn::Sub(y, hn::ConvertTo(d, y0));
    const VI width = hn::Set(di, w);
    const VI row0 = hn::Mul(y0, width), row1 = hn::Mul(y1, width);
    const size_t size = static_cast<size_t>(w) * h;
    const PlaneReader r00 = planeReader(d, hn::Add(row0, x0), size), r10 = planeReader(d, hn::Add(row0, x1), size);
    const PlaneReader r01 = planeReader(d, hn::Add(row1, x0), size), r11 = planeReader(d, hn::Add(row1, x1), size);
    VF v[3];
    for (int c = 0; c < 3; ++c) {
        const VF c00 = read(d, r00, planes[c]), c10 = read(d, r10, planes[c]);
        const VF c01 = read(d, r01, planes[c]), c11 = read(d, r11, planes[c]);
        const VF top = hn::Add(c00, hn::Mul(ax, hn::Sub(c10, c00)));
        const VF bottom = hn::Add(c01, hn::Mul(ax, hn::Sub(c11, c01)));
        v[c] = hn::Add(top, hn::Mul(ay, hn::Sub(bottom, top)));
    }
    return {v[0], v[1], v[2]};
}

// Catmull-Rom weights of the four taps around a point a fraction t past the second.
HWY_INLINE void catmullRomWeights(DF d, VF t, VF w[4]) {
    const VF half = hn::Set(d, 0.5f), one = hn::Set(d, 1.0f), oneAndHalf = hn::Set(d, 1.5f);
    const VF t2 = hn::Mul(t, t);
    w[0] = hn::Mul(t, hn::Add(hn::Set(d, -0.5f), hn::Mul(t, hn::Sub(one, hn::Mul(half, t)))));
    w[1] = hn::Add(one, hn::Mul(t2, hn::Add(hn::Set(d, -2.5f), hn::Mul(oneAndHalf, t))));
    w[2] = hn::Mul(t, hn::Add(half, hn::Mul(t, hn::Sub(hn::Set(d, 2.0f), hn::Mul(oneAndHalf, t)))));
    w[3] = hn::Mul(t2, hn::Add(hn::Set(d, -0.5f), hn::Mul(half, t)));
}

// Read of three w x h planes at (x, y), clamped to their edges, by
// Catmull-Rom over the 4 x 4 taps around it but its four corners (they weigh
// little; the weights are renormalised), kept within the range of the four
// nearest taps so that it cannot ring past an edge. The history is read
// anew every frame: a bilinear read blurs it a little each time, and the
// blur piles up (this read measured 0.1 to 1 dB more at every moment, and
// a higher SSIM).
HWY_INLINE Colours catmullRom(DF d, const float* const planes[3], int w, int h, VF x, VF y) {
    const DI di;
    x = hn::Min(hn::Max(x, hn::Zero(d)), hn::Set(d, static_cast<float>(w - 1)));
    y = hn::Min(hn::Max(y, hn::Zero(d)), hn::Set(d, static_cast<float>(h - 1)));
    const VF fx = hn::Floor(x), fy = hn::Floor(y);
    const VI ix = hn::ConvertTo(di, fx), iy = hn::ConvertTo(di, fy);
    VF wx[4], wy[4];
    catmullRomWeights(d, hn::Sub(x, fx), wx);
    catmullRomWeights(d, hn::Sub(y, fy), wy);
    const VI lastX = hn::Set(di, w - 1), lastY = hn::Set(di, h - 1), width = hn::Set(di, w);
    VI columns[4], rows[4];
    for (int k = 0; k < 4; ++k) {
        columns[k] = hn::Min(hn::Max(hn::Add(ix, hn::Set(di, k - 1)), hn::Zero(di)), lastX);
        rows[k] = hn::Mul(hn::Min(hn::Max(hn::Add(iy, hn::Set(di, k - 1)), hn::Zero(di)), lastY), width);
    }
    const size_t size = static_cast<size_t>(w) * h;
    const VF infinity = hn::Set(d, std::numeric_limits<float>::infinity());
    VF sum[3] = {hn::Zero(d), hn::Zero(d), hn::Zero(d)};
    VF least[3] = {infinity, infinity, infinity}, most[3] = {hn::Neg(infinity), hn::Neg(infinity), hn::Neg(infinity)};
    VF total = hn::Zero(d);
    const auto addTap = [&](int i, int j, const VF v[3]) {
        const bool edgeColumn = i == 0 || i == 3, edgeRow = j == 0 || j == 3;
        const VF weight = hn::Mul(wx[i], wy[j]);
        for (int c = 0; c < 3; ++c) {
            sum[c] = hn::Add(sum[c], hn::Mul(weight, v[c]));
            if (edgeColumn || edgeRow) continue;
            least[c] = hn::Min(least[c], v[c]);
            most[c] = hn::Max(most[c], v[c]);
        }
    };
    // Where no column is clamped, a row's taps are four neighbouring
    // indices: two loads per plane serve them all.
    const bool unclamped =
        hn::AllTrue(di, hn::And(hn::Gt(ix, hn::Zero(di)), hn::Lt(ix, hn::Set(di, w - 2))));
    const size_t lanes = hn::Lanes(d);
    for (int j = 0; j < 4; ++j) {
        const int i0 = j == 0 || j == 3 ? 1 : 0, i1 = j == 0 || j == 3 ? 2 : 3;
        for (int i = i0; i <= i1; ++i) total = hn::Add(total, hn::Mul(wx[i], wy[j]));
        const VI start = hn::Add(rows[j], columns[0]);
        const int32_t first = hn::GetLane(start);
        const VI local = hn::Sub(start, hn::Set(di, first));
        const bool shared = unclamped && first >= 0 && static_cast<size_t>(first) + 2 * lanes <= size &&
                            hn::AllTrue(di, hn::And(hn::Gt(local, hn::Set(di, -1)),
                                                    hn::Lt(local, hn::Set(di, static_cast<int32_t>(2 * lanes) - 3))));
        // Most often (the view moving little) the lanes read pixels one after
        // another: then each tap is one load.
        if (shared && hn::AllTrue(di, hn::Eq(local, tpl_plane::HWY_NAMESPACE::countingFrom(di, 0)))) {
            for (int i = i0; i <= i1; ++i) {
                VF v[3];
                for (int c = 0; c < 3; ++c) v[c] = hn::LoadU(d, planes[c] + first + i);
                addTap(i, j, v);
            }
            continue;
        }
        if (shared) {
            VF low[3], high[3];
            for (int c = 0; c < 3; ++c)
                low[c] = hn::LoadU(d, planes[c] + first), high[c] = hn::LoadU(d, planes[c] + first + lanes);
            for (int i = i0; i <= i1; ++i) {
                const VI at = hn::Add(local, hn::Set(di, i));
                const auto indices = hn::IndicesFromVec(d, hn::And(at, hn::Set(di, static_cast<int32_t>(lanes - 1))));
                const MF upper = hn::RebindMask(d, hn::Gt(at, hn::Set(di, static_cast<int32_t>(lanes - 1))));
                VF v[3];
                for (int c = 0; c < 3; ++c)
                    v[c] = hn::IfThenElse(upper, hn::TableLookupLanes(high[c], indices),
                                          hn::TableLookupLanes(low[c], indices));
                addTap(i, j, v);
            }
            continue;
        }
        for (int i = i0; i <= i1; ++i) {
            const PlaneReader r = planeReader(d, hn::Add(rows[j], columns[i]), size);
            VF v[3];
            for (int c = 0; c < 3; ++c) v[c] = read(d, r, planes[c]);
            addTap(i, j, v);
        }
    }
    VF v[3];
    for (int c = 0; c < 3; ++c) v[c] = hn::Min(hn::Max(hn::Div(sum[c], total), least[c]), most[c]);
    return {v[0], v[1], v[2]};
}

HWY_INLINE MF inside(DF d, VF x, VF y, int w, int h) {
    const VF low = hn::Set(d, -0.5f);
    return hn::And(hn::And(hn::Ge(x, low), hn::Ge(y, low)),
                   hn::And(hn::Le(x, hn::Set(d, static_cast<float>(w) - 0.5f)),
                           hn::Le(y, hn::Set(d, static_cast<float>(h) - 0.5f))));
}

HWY_INLINE MF finite(VF x, VF y) {
    return hn::And(hn::IsFinite(x), hn::IsFinite(y));
}

HWY_INLINE VF clampTo(DF d, VF v, VF mean, VF deviation, float gamma) {
    const VF spread = hn::Mul(hn::Set(d, gamma), deviation);
    return hn::Min(hn::Max(v, hn::Sub(mean, spread)), hn::Add(mean, spread));
}

// The tone curve of kernel/render_pixel.h's toneByte, lane for lane.
HWY_INLINE VI toneBytes(DF d, VF v) {
    const VF q = hn::IfThenElseZero(hn::Gt(v, hn::Zero(d)), hn::Min(v, hn::Set(d, 1.0f)));
    const VF curved = hn::Sub(hn::Mul(hn::Set(d, toneSqrtWeight), hn::Sqrt(q)), hn::Mul(hn::Set(d, toneLinearWeight), q));
    return hn::ConvertTo(DI(), hn::Mul(curved, hn::Set(d, byteScale)));
}

void NeighbourhoodRows(int w, int h, const float* light, const NeighbourhoodPlanes& out, int y0, int y1) {
    const DF d;
    const size_t lanes = hn::Lanes(d);
    const size_t pw = static_cast<size_t>(w) + 2;
    // The rows' YCoCg with a border of zeros and a vector's slack: the sums
    // need no bounds checks, and each pixel is divided by the count of its
    // taps inside the frame.
    const int first = std::max(0, y0 - 1), last = std::min(h - 1, y1);
    const size_t rows = static_cast<size_t>(last - first + 3);
    std::vector<float> plane(3 * (rows * pw + lanes + 2), 0.0f);
    float* planes[3] = {plane.data(), plane.data() + rows * pw + lanes + 2, plane.data() + 2 * (rows * pw + lanes + 2)};
    for (int y = first; y <= last; ++y) {
        const size_t row = static_cast<size_t>(y - first + 1) * pw + 1;
        for (int x = 0; x < w; ++x) {
            const float* c = light + 3 * (static_cast<size_t>(y) * w + x);
            if (y >= y0 && y < y1)
                for (int k = 0; k < 3; ++k) out.light[k][static_cast<size_t>(y) * w + x] = c[k];
            planes[0][row + x] = 0.25f * c[0] + 0.5f * c[1] + 0.25f * c[2];
            planes[1][row + x] = 0.5f * c[0] - 0.5f * c[2];
            planes[2][row + x] = 0.5f * c[1] - 0.25f * c[0] - 0.25f * c[2];
        }
    }
    HWY_ALIGN float tail[HWY_MAX_BYTES / sizeof(float)];
    for (int y = y0; y < y1; ++y) {
        const float rowsIn = static_cast<float>(std::min(h - 1, y + 1) - std::max(0, y - 1) + 1);
        const size_t centre = static_cast<size_t>(y - first + 1) * pw + 1;
        for (int x = 0; x < w; x += static_cast<int>(lanes)) {
            const VF fx = tpl_plane::HWY_NAMESPACE::countingFrom(d, static_cast<float>(x));
            // Columns inside: 3, or 2 at the first and last.
            const VF columnsIn = hn::Sub(hn::Set(d, 3.0f), hn::Add(hn::IfThenElseZero(hn::Eq(fx, hn::Zero(d)), hn::Set(d, 1.0f)),
                                                                   hn::IfThenElseZero(hn::Eq(fx, hn::Set(d, static_cast<float>(w - 1))),
                                                                                      hn::Set(d, 1.0f))));
            const VF inverse = hn::Div(hn::Set(d, 1.0f), hn::Mul(hn::Set(d, rowsIn), columnsIn));
            const size_t o = static_cast<size_t>(y) * w + x;
            const size_t count = std::min(lanes, static_cast<size_t>(w - x));
            for (int c = 0; c < 3; ++c) {
                VF sum = hn::Zero(d), sum2 = hn::Zero(d);
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i) {
                        const VF v = hn::LoadU(d, planes[c] + centre + x + static_cast<ptrdiff_t>(j) * static_cast<ptrdiff_t>(pw) + i);
                        sum = hn::Add(sum, v);
                        sum2 = hn::Add(sum2, hn::Mul(v, v));
                    }
                const VF mean = hn::Mul(sum, inverse);
                const VF deviation = hn::Sqrt(hn::Max(hn::Zero(d), hn::Sub(hn::Mul(sum2, inverse), hn::Mul(mean, mean))));
                float* const targets[2] = {out.mean[c] + o, out.deviation[c] + o};
                const VF values[2] = {mean, deviation};
                for (int k = 0; k < 2; ++k) {
                    if (count == lanes) {
                        hn::StoreU(values[k], d, targets[k]);
                    } else {
                        hn::Store(values[k], d, tail);
                        std::memcpy(targets[k], tail, count * sizeof(float));
                    }
                }
            }
        }
    }
}

void UpsampleRows(const ReconstructionSettings& s, const FrameData& view, const RenderedFrame& frame,
                  const OutputHistory& history, const OutputFrame& out, int y0, int y1) {
    const DF d;
    const DI di;
    const size_t lanes = hn::Lanes(d);
    const FrameData& rendered = *frame.record;
    const int rw = rendered.width, rh = rendered.height, ow = view.width, oh = view.height;
    const float longest = static_cast<float>(std::max(1, s.longestHistory));
    // The output and the render are one view (the render jittered), and so are
    // the last render and the last output.
    const PixelMap toRendered = pixelMap(view, rendered);
    const bool withHistory = history.view && frame.previous;
    const PixelMap toLastOutput = withHistory ? pixelMap(*history.rendered, *history.view) : PixelMap{};
    const float* previous = reinterpret_cast<const float*>(frame.previous);
    const size_t outputs = static_cast<size_t>(ow) * oh;
    const float* const historyPlanes[3] = {history.colour, history.colour + outputs, history.colour + 2 * outputs};
    HWY_ALIGN float tailColour[(HWY_MAX_BYTES / sizeof(float))], tailLength[(HWY_MAX_BYTES / sizeof(float))];
    HWY_ALIGN int32_t tailPixels[(HWY_MAX_BYTES / sizeof(float))];
    for (int y = y0; y < y1; ++y) {
        const VF fy = hn::Set(d, static_cast<float>(y));
        for (int x = 0; x < ow; x += static_cast<int>(lanes)) {
            // Lanes past the row's end compute a pixel beyond it, clamped
            // into the planes, and are not stored.
            const VF fx = tpl_plane::HWY_NAMESPACE::countingFrom(d, static_cast<float>(x));
            VF atX, atY;
            tpl_plane::HWY_NAMESPACE::mappedLanes(d, toRendered, fx, fy, atX, atY);
            const MF mappedWell = finite(atX, atY);
            if (!hn::AllTrue(d, mappedWell)) {
                const VF half = hn::Set(d, 0.5f);
                const VF plainX = hn::Sub(hn::Div(hn::Mul(hn::Add(fx, half), hn::Set(d, static_cast<float>(rw))),
                                                  hn::Set(d, static_cast<float>(ow))), half);
                const VF plainY = hn::Sub(hn::Div(hn::Mul(hn::Add(fy, half), hn::Set(d, static_cast<float>(rh))),
                                                  hn::Set(d, static_cast<float>(oh))), half);
                atX = hn::IfThenElse(mappedWell, atX, plainX);
                atY = hn::IfThenElse(mappedWell, atY, plainY);
            }
            const VI qx = nearest(d, atX, rw), qy = nearest(d, atY, rh);
            const VI q = hn::Add(hn::Mul(qy, hn::Set(di, rw)), qx);
            const PlaneReader atQ = planeReader(d, q, static_cast<size_t>(rw) * rh);
            const VF renderLength = read(d, atQ, frame.length);

            // Lanes without a history read the render bilinearly (below).
            Colours result{hn::Zero(d), hn::Zero(d), hn::Zero(d)};
            VF length = hn::Set(d, 1.0f);
            MF kept = hn::And(hn::Gt(renderLength, hn::Set(d, 1.0f)), withHistory ? hn::FirstN(d, lanes) : hn::FirstN(d, 0));
            if (!hn::AllFalse(d, kept)) {
                // Pairs of floats: the reader's loads for x serve y one float on.
                const PlaneReader atQ2 = planeReader(d, hn::Add(q, q), 2 * static_cast<size_t>(rw) * rh - 1);
                const VF movedX = read(d, atQ2, previous), movedY = read(d, atQ2, previous + 1);
                kept = hn::And(kept, finite(movedX, movedY));
                // Where this output pixel's point lay in the last rendered
                // frame, then in the last output.
                const VF beforeX = hn::Add(atX, hn::Sub(movedX, hn::ConvertTo(d, qx)));
                const VF beforeY = hn::Add(atY, hn::Sub(movedY, hn::ConvertTo(d, qy)));
                VF backX, backY;
                tpl_plane::HWY_NAMESPACE::mappedLanes(d, toLastOutput, beforeX, beforeY, backX, backY);
                kept = hn::And(kept, finite(backX, backY));
                kept = hn::And(kept, inside(d, backX, backY, ow, oh));
                if (!hn::AllFalse(d, kept)) {
                    backX = hn::IfThenElseZero(kept, backX);
                    backY = hn::IfThenElseZero(kept, backY);
                    const Colours old = toYCoCg(d, catmullRom(d, historyPlanes, ow, oh, backX, backY));
                    const NeighbourhoodPlanes& n = frame.neighbourhood;
                    const Colours clamped{
                        clampTo(d, old.r, read(d, atQ, n.mean[0]), read(d, atQ, n.deviation[0]), s.clampGamma),
                        clampTo(d, old.g, read(d, atQ, n.mean[1]), read(d, atQ, n.deviation[1]), s.clampGamma),
                        clampTo(d, old.b, read(d, atQ, n.mean[2]), read(d, atQ, n.deviation[2]), s.clampGamma)};
                    const Colours was = fromYCoCg(clamped);
                    const VI backPixel = hn::Add(hn::Mul(nearest(d, backY, oh), hn::Set(di, ow)), nearest(d, backX, ow));
                    const VF oldLength = read(d, planeReader(d, backPixel, outputs), history.length);
                    const VF gathered =
                        hn::Min(hn::Min(hn::Add(oldLength, hn::Set(d, 1.0f)), renderLength), hn::Set(d, longest));
                    // The history takes the nearest render sample, the more the
                    // nearer it lies to this output pixel: the render's jitter
                    // sweeps its samples over the output, which gathers detail finer
                    // than theirs (bilinear reads would blur it).
                    const VF dx = hn::Sub(atX, hn::ConvertTo(d, qx)), dy = hn::Sub(atY, hn::ConvertTo(d, qy));
                    const VF near = hn::Sub(hn::Set(d, 1.0f), hn::Mul(hn::Set(d, s.sampleDistanceWeight),
                                                                      hn::Add(hn::Mul(dx, dx), hn::Mul(dy, dy))));
                    const VF a = hn::Mul(hn::Max(hn::Set(d, s.outputAlpha), hn::Div(hn::Set(d, 1.0f), gathered)),
                                         hn::Max(near, hn::Zero(d)));
                    const Colours target{read(d, atQ, n.light[0]), read(d, atQ, n.light[1]), read(d, atQ, n.light[2])};
                    result.r = hn::Add(was.r, hn::Mul(a, hn::Sub(target.r, was.r)));
                    result.g = hn::Add(was.g, hn::Mul(a, hn::Sub(target.g, was.g)));
                    result.b = hn::Add(was.b, hn::Mul(a, hn::Sub(target.b, was.b)));
                    length = hn::IfThenElse(kept, gathered, length);
                }
            }
            if (!hn::AllTrue(d, kept)) {
                const Colours fresh = bilinear(d, frame.neighbourhood.light, rw, rh, atX, atY);
                result = {hn::IfThenElse(kept, result.r, fresh.r), hn::IfThenElse(kept, result.g, fresh.g),
                          hn::IfThenElse(kept, result.b, fresh.b)};
            }
            const VI packed = hn::Add(hn::Add(hn::ShiftLeft<16>(toneBytes(d, result.r)), hn::ShiftLeft<8>(toneBytes(d, result.g))),
                                      toneBytes(d, result.b));
            const size_t o = static_cast<size_t>(y) * ow + x;
            const size_t count = std::min(lanes, static_cast<size_t>(ow - x));
            const VF colour[3] = {result.r, result.g, result.b};
            if (count == lanes) {
                for (int c = 0; c < 3; ++c) hn::StoreU(colour[c], d, out.colour + c * outputs + o);
                hn::StoreU(length, d, out.length + o);
                hn::StoreU(packed, di, reinterpret_cast<int32_t*>(out.pixels + o));
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                hn::Store(colour[c], d, tailColour);
                std::memcpy(out.colour + c * outputs + o, tailColour, count * sizeof(float));
            }
            hn::Store(length, d, tailLength);
            hn::Store(packed, di, tailPixels);
            std::memcpy(out.length + o, tailLength, count * sizeof(float));
            std::memcpy(out.pixels + o, tailPixels, count * sizeof(uint32_t));
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_upsample
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace tpl_upsample {
HWY_EXPORT(UpsampleRows);
HWY_EXPORT(NeighbourhoodRows);
}  // namespace tpl_upsample

void neighbourhoodRows(int w, int h, const float* light, const NeighbourhoodPlanes& out, int y0, int y1) {
    HWY_DYNAMIC_DISPATCH(tpl_upsample::NeighbourhoodRows)(w, h, light, out, y0, y1);
}

void upsampleRows(const ReconstructionSettings& settings, const FrameData& view, const RenderedFrame& frame,
                  const OutputHistory& history, const OutputFrame& out, int y0, int y1) {
    HWY_DYNAMIC_DISPATCH(tpl_upsample::UpsampleRows)(settings, view, frame, history, out, y0, y1);
}

#endif  // HWY_ONCE
