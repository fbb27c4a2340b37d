#include "render/upscale.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kernel/render_pixel.h"

namespace {

// One source coordinate per output column or row: the two neighbours and the
// weight of the second.
struct Tap {
    int first, second;
    float weight;
};

std::vector<Tap> taps(int from, int to) {
    std::vector<Tap> out(to);
    const float scale = static_cast<float>(from) / static_cast<float>(to);
    for (int i = 0; i < to; ++i) {
        const float at = std::clamp((static_cast<float>(i) + 0.5f) * scale - 0.5f, 0.0f, static_cast<float>(from - 1));
        const int first = static_cast<int>(at);
        out[i] = {first, std::min(first + 1, from - 1), at - static_cast<float>(first)};
    }
    return out;
}

// Scales three w x h channel planes (values 0 to 255) to outW x outH packed
// pixels: each source row is first stretched to the output width, then output
// rows blend their two source rows.
void scalePlanes(int w, int h, const std::vector<float>& planes, int outW, int outH, uint32_t* out) {
    const std::vector<Tap> columns = taps(w, outW), rows = taps(h, outH);
    const size_t plane = static_cast<size_t>(w) * h;
    const size_t wide = static_cast<size_t>(outW);
    std::vector<float> stretched(static_cast<size_t>(h) * wide * 3);
    for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < h; ++y) {
            const float* source = planes.data() + c * plane + static_cast<size_t>(y) * w;
            float* line = stretched.data() + (static_cast<size_t>(c) * h + y) * wide;
            for (size_t x = 0; x < wide; ++x) {
                const Tap t = columns[x];
                line[x] = source[t.first] + (source[t.second] - source[t.first]) * t.weight;
            }
        }
    }
    std::vector<float> channel(wide * 3);
    for (int y = 0; y < outH; ++y) {
        const Tap row = rows[y];
        for (int c = 0; c < 3; ++c) {
            const float* __restrict top = stretched.data() + (static_cast<size_t>(c) * h + row.first) * wide;
            const float* __restrict bottom = stretched.data() + (static_cast<size_t>(c) * h + row.second) * wide;
            float* __restrict value = channel.data() + c * wide;
            for (size_t x = 0; x < wide; ++x) value[x] = top[x] + (bottom[x] - top[x]) * row.weight + 0.5f;
        }
        uint32_t* __restrict line = out + static_cast<size_t>(y) * outW;
        const float* __restrict red = channel.data();
        const float* __restrict green = red + wide;
        const float* __restrict blue = green + wide;
        for (size_t x = 0; x < wide; ++x)
            line[x] = (static_cast<uint32_t>(red[x]) << 16) | (static_cast<uint32_t>(green[x]) << 8) |
                      static_cast<uint32_t>(blue[x]);
    }
}

}  // namespace

void toneAndScale(int w, int h, const float* light, int outW, int outH, uint32_t* out) {
    const size_t n = static_cast<size_t>(w) * h;
    if (w == outW && h == outH) {
        for (size_t p = 0; p < n; ++p) out[p] = packLight({light[3 * p], light[3 * p + 1], light[3 * p + 2]});
        return;
    }
    // Tone first, at the small size: the curve is the costly part.
    std::vector<uint32_t> toned(n);
    for (size_t p = 0; p < n; ++p) toned[p] = packLight({light[3 * p], light[3 * p + 1], light[3 * p + 2]});
    scalePixels(w, h, toned.data(), outW, outH, out);
}

void scalePixels(int w, int h, const uint32_t* pixels, int outW, int outH, uint32_t* out) {
    const size_t n = static_cast<size_t>(w) * h;
    std::vector<float> planes(n * 3);
    for (size_t p = 0; p < n; ++p) {
        planes[p] = static_cast<float>((pixels[p] >> 16) & 0xFFu);
        planes[n + p] = static_cast<float>((pixels[p] >> 8) & 0xFFu);
        planes[2 * n + p] = static_cast<float>(pixels[p] & 0xFFu);
    }
    scalePlanes(w, h, planes, outW, outH, out);
}
