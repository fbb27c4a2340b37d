#include "reconstruct/temporal_upsample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernel/render_pixel.h"

namespace {

struct Colour {
    float r, g, b;
};

Colour toYCoCg(Colour c) {
    return {0.25f * c.r + 0.5f * c.g + 0.25f * c.b, 0.5f * c.r - 0.5f * c.b, -0.25f * c.r + 0.5f * c.g - 0.25f * c.b};
}

Colour fromYCoCg(Colour c) {
    return {c.r + c.g - c.b, c.r + c.b, c.r - c.g - c.b};
}

// Bilinear read of a w x h plane of colours at a position, clamped to its edges.
Colour bilinear(const float* colour, int w, int h, PixelPos at) {
    const float x = std::clamp(at.x, 0.0f, static_cast<float>(w - 1));
    const float y = std::clamp(at.y, 0.0f, static_cast<float>(h - 1));
    const int x0 = std::min(static_cast<int>(x), w - 1), y0 = std::min(static_cast<int>(y), h - 1);
    const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const float ax = x - static_cast<float>(x0), ay = y - static_cast<float>(y0);
    const float* c00 = colour + 3 * (static_cast<size_t>(y0) * w + x0);
    const float* c10 = colour + 3 * (static_cast<size_t>(y0) * w + x1);
    const float* c01 = colour + 3 * (static_cast<size_t>(y1) * w + x0);
    const float* c11 = colour + 3 * (static_cast<size_t>(y1) * w + x1);
    float v[3];
    for (int c = 0; c < 3; ++c) {
        const float top = c00[c] + ax * (c10[c] - c00[c]);
        const float bottom = c01[c] + ax * (c11[c] - c01[c]);
        v[c] = top + ay * (bottom - top);
    }
    return {v[0], v[1], v[2]};
}

bool inside(PixelPos at, int w, int h) {
    return at.x >= -0.5f && at.y >= -0.5f && at.x <= static_cast<float>(w) - 0.5f &&
           at.y <= static_cast<float>(h) - 0.5f;
}

int nearest(float v, int n) {
    return std::clamp(static_cast<int>(std::floor(v + 0.5f)), 0, n - 1);
}

}  // namespace

void neighbourhoodRows(int w, int h, const float* light, float* out, int y0, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < w; ++x) {
            float sum[3] = {0.0f, 0.0f, 0.0f}, sum2[3] = {0.0f, 0.0f, 0.0f};
            int count = 0;
            for (int j = std::max(0, y - 1); j <= std::min(h - 1, y + 1); ++j)
                for (int i = std::max(0, x - 1); i <= std::min(w - 1, x + 1); ++i) {
                    const float* c = light + 3 * (static_cast<size_t>(j) * w + i);
                    const Colour v = toYCoCg({c[0], c[1], c[2]});
                    sum[0] += v.r, sum[1] += v.g, sum[2] += v.b;
                    sum2[0] += v.r * v.r, sum2[1] += v.g * v.g, sum2[2] += v.b * v.b;
                    ++count;
                }
            float* o = out + 6 * (static_cast<size_t>(y) * w + x);
            const float inv = 1.0f / static_cast<float>(count);
            for (int c = 0; c < 3; ++c) {
                const float mean = sum[c] * inv;
                o[c] = mean;
                o[3 + c] = std::sqrt(std::max(0.0f, sum2[c] * inv - mean * mean));
            }
        }
}

void upsampleRows(const ReconstructionSettings& s, const FrameData& view, const RenderedFrame& frame,
                  const OutputHistory& history, const OutputFrame& out, int y0, int y1) {
    const FrameData& rendered = *frame.record;
    const int rw = rendered.width, rh = rendered.height, ow = view.width;
    const float longest = static_cast<float>(std::max(1, s.longestHistory));
    // The output and the render are one view (the render jittered), and so are
    // the last render and the last output.
    const PixelMap toRendered = pixelMap(view, rendered);
    const PixelMap toLastOutput = history.view ? pixelMap(*history.rendered, *history.view) : PixelMap{};
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < ow; ++x) {
            const size_t o = static_cast<size_t>(y) * ow + x;
            const PixelPos xy{static_cast<float>(x), static_cast<float>(y)};
            PixelPos at = mapped(toRendered, xy.x, xy.y);
            if (!std::isfinite(at.x) || !std::isfinite(at.y))
                at = {(xy.x + 0.5f) * rw / ow - 0.5f, (xy.y + 0.5f) * rh / view.height - 0.5f};
            const Colour fresh = bilinear(frame.light, rw, rh, at);
            const int qx = nearest(at.x, rw), qy = nearest(at.y, rh);
            const size_t q = static_cast<size_t>(qy) * rw + qx;

            Colour result = fresh;
            float length = 1.0f;
            const bool renderKept = frame.length[q] > 1.0f;
            if (history.view && frame.previous && renderKept) {
                const PixelPos moved = frame.previous[q];
                if (std::isfinite(moved.x) && std::isfinite(moved.y)) {
                    // Where this output pixel's point lay in the last rendered frame, then in the last output.
                    const PixelPos before{at.x + (moved.x - static_cast<float>(qx)),
                                          at.y + (moved.y - static_cast<float>(qy))};
                    const PixelPos back = mapped(toLastOutput, before.x, before.y);
                    if (std::isfinite(back.x) && std::isfinite(back.y) && inside(back, ow, view.height)) {
                        const Colour old = toYCoCg(bilinear(history.colour, ow, view.height, back));
                        const float* n = frame.neighbourhood + 6 * q;
                        const Colour kept = fromYCoCg({std::clamp(old.r, n[0] - s.clampGamma * n[3], n[0] + s.clampGamma * n[3]),
                                                       std::clamp(old.g, n[1] - s.clampGamma * n[4], n[1] + s.clampGamma * n[4]),
                                                       std::clamp(old.b, n[2] - s.clampGamma * n[5], n[2] + s.clampGamma * n[5])});
                        const float oldLength =
                            history.length[static_cast<size_t>(nearest(back.y, view.height)) * ow + nearest(back.x, ow)];
                        length = std::min({oldLength + 1.0f, frame.length[q], longest});
                        const float a = std::max(s.outputAlpha, 1.0f / length);
                        result = {kept.r + a * (fresh.r - kept.r), kept.g + a * (fresh.g - kept.g),
                                  kept.b + a * (fresh.b - kept.b)};
                    }
                }
            }
            float* c = out.colour + 3 * o;
            c[0] = result.r, c[1] = result.g, c[2] = result.b;
            out.length[o] = length;
            out.pixels[o] = packLight({result.r, result.g, result.b});
        }
}
