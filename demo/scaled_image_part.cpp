#include "demo/scaled_image_part.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

// The arithmetic below repeats FreeImage 3.18's resampler operation for
// operation: the pictures must stay byte-identical to those made by rescaling
// whole images, and the tests compare the two on many sizes.

namespace {

// Catmull-Rom, support [-2, 2].
constexpr double filterWidth = 2.0;
double catmullRom(double d) {
    if (d < -2) return 0;
    if (d < -1) return 0.5 * (4 + d * (8 + d * (5 + d)));
    if (d < 0) return 0.5 * (2 + d * d * (-5 - 3 * d));
    if (d < 1) return 0.5 * (2 + d * d * (-5 + 3 * d));
    if (d < 2) return 0.5 * (4 + d * (-8 + d * (5 - d)));
    return 0;
}

// The source samples [first, first + weights.size()) that make one output
// sample, with their weights.
struct Taps {
    int first = 0;
    std::vector<double> weights;
};

// Output sample u of a line of srcSize samples resampled to dstSize.
Taps tapsFor(int u, int dstSize, int srcSize) {
    const double scale = double(dstSize) / double(srcSize);
    // Shrinking widens the filter over the source.
    const double width = scale < 1.0 ? filterWidth / scale : filterWidth;
    const double filterScale = scale < 1.0 ? scale : 1.0;
    const double center = double(u) / scale + 0.5 / scale;
    const int left = std::max(0, static_cast<int>(center - width + 0.5));
    const int right = std::min(static_cast<int>(center + width + 0.5), srcSize);
    Taps taps;
    taps.first = left;
    double total = 0;
    for (int i = left; i < right; ++i) {
        const double weight = filterScale * catmullRom(filterScale * (double(i) + 0.5 - center));
        taps.weights.push_back(weight);
        total += weight;
    }
    if (total > 0 && total != 1)
        for (double& weight : taps.weights) weight /= total;
    return taps;
}

std::vector<Taps> tapsFor(int from, int count, int dstSize, int srcSize) {
    std::vector<Taps> all;
    all.reserve(static_cast<size_t>(count));
    for (int u = from; u < from + count; ++u) all.push_back(tapsFor(u, dstSize, srcSize));
    return all;
}

// The source samples [first, last) any of the taps read.
void reach(const std::vector<Taps>& taps, int& first, int& last) {
    first = last = 0;
    bool any = false;
    for (const Taps& t : taps) {
        if (t.weights.empty()) continue;
        const int end = t.first + static_cast<int>(t.weights.size());
        first = any ? std::min(first, t.first) : t.first;
        last = any ? std::max(last, end) : end;
        any = true;
    }
}

// A block of pixels with its own row length.
struct Block {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    Block(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    uint32_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width; }
    const uint32_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
};

// Each of the four bytes weighted and summed alone, rounded and clamped to a byte.
uint32_t weighted(const Taps& taps, const uint32_t* first, long stride) {
    double sum[4] = {0, 0, 0, 0};
    const uint32_t* p = first;
    for (const double weight : taps.weights) {
        for (int c = 0; c < 4; ++c) sum[c] += weight * double((*p >> (8 * c)) & 0xFFu);
        p += stride;
    }
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        const int v = std::clamp(static_cast<int>(sum[c] + 0.5), 0, 0xFF);
        out |= static_cast<uint32_t>(v) << (8 * c);
    }
    return out;
}

// Output rows [y0, y0 + rows) (from the top) of `columns` columns resampled
// from srcHeight rows to dstHeight. The resampler counts rows from the bottom:
// `in` holds source rows [inBottom, inBottom + inRows) of that count, its top
// row first.
Block verticalPass(const uint32_t* in, long inPitch, int inRows, int inBottom, int srcHeight, int columns, int y0,
                   int rows, int dstHeight) {
    Block out(columns, rows);
    const std::vector<Taps> taps = tapsFor(dstHeight - y0 - rows, rows, dstHeight, srcHeight);
    for (int y = 0; y < rows; ++y) {
        const Taps& t = taps[static_cast<size_t>(rows - 1 - y)];
        uint32_t* row = out.row(y);
        if (t.weights.empty()) {
            std::fill(row, row + columns, 0u);
            continue;
        }
        const uint32_t* firstTap = in + static_cast<long>(inRows - 1 - (t.first - inBottom)) * inPitch;
        for (int x = 0; x < columns; ++x) row[x] = weighted(t, firstTap + x, -inPitch);
    }
    return out;
}

// Output columns [x0, x0 + columns) of every row of `in`, whose columns start at
// source column `inX` of a line srcWidth wide, resampled to dstWidth.
Block horizontalPass(const uint32_t* in, long inPitch, int rows, int inX, int srcWidth, int x0, int columns,
                     int dstWidth) {
    Block out(columns, rows);
    const std::vector<Taps> taps = tapsFor(x0, columns, dstWidth, srcWidth);
    for (int y = 0; y < rows; ++y) {
        const uint32_t* line = in + y * inPitch;
        uint32_t* row = out.row(y);
        for (int x = 0; x < columns; ++x) {
            const Taps& t = taps[static_cast<size_t>(x)];
            row[x] = t.weights.empty() ? 0u : weighted(t, line + (t.first - inX), 1);
        }
    }
    return out;
}

Block copyPart(const uint32_t* in, long inPitch, int columns, int rows) {
    Block out(columns, rows);
    for (int y = 0; y < rows; ++y) std::copy(in + y * inPitch, in + y * inPitch + columns, out.row(y));
    return out;
}

}  // namespace

bool scaleImagePart(const Image& source, int width, int height, const PixelRect& part, Image& scaled,
                    std::string& error) {
    const Surface& s = source.surface;
    if (!s.pixels || s.width <= 0 || s.height <= 0 || width <= 0 || height <= 0 || part.empty() || part.x < 0 ||
        part.y < 0 || part.x + part.width > width || part.y + part.height > height) {
        error = "cannot scale an empty image or a part outside it";
        return false;
    }
    const bool horizontal = width != s.width, vertical = height != s.height;
    const long pitch = s.pitch;
    Block result(0, 0);
    if (!horizontal && !vertical) {
        result = copyPart(s.pixels + part.y * pitch + part.x, pitch, part.width, part.height);
    } else if (width >= s.width) {
        // Rows first (the resampler's order when the width does not shrink),
        // over the source columns the part's output columns read.
        int first = part.x, last = part.x + part.width;
        if (horizontal) reach(tapsFor(part.x, part.width, width, s.width), first, last);
        const Block rows = vertical ? verticalPass(s.pixels + first, pitch, s.height, 0, s.height, last - first,
                                                   part.y, part.height, height)
                                    : copyPart(s.pixels + part.y * pitch + first, pitch, last - first, part.height);
        result = horizontal ? horizontalPass(rows.pixels.data(), rows.width, part.height, first, s.width, part.x,
                                             part.width, width)
                            : rows;
    } else {
        // Columns first, over the source rows the part's output rows read.
        int first = part.y, last = part.y + part.height;  // from the top
        if (vertical) {
            int fromBottom = 0, toBottom = 0;
            reach(tapsFor(height - part.y - part.height, part.height, height, s.height), fromBottom, toBottom);
            first = s.height - toBottom;
            last = s.height - fromBottom;
        }
        const Block columns =
            horizontalPass(s.pixels + first * pitch, pitch, last - first, 0, s.width, part.x, part.width, width);
        result = vertical ? verticalPass(columns.pixels.data(), columns.width, columns.height, s.height - last,
                                         s.height, part.width, part.y, part.height, height)
                          : columns;
    }
    const size_t bytes = (result.pixels.size() * 4 + 63) / 64 * 64;
    scaled.storage.reset(static_cast<uint32_t*>(std::aligned_alloc(64, bytes)));
    if (!scaled.storage) {
        error = "cannot scale an image to " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    std::copy(result.pixels.begin(), result.pixels.end(), scaled.storage.get());
    scaled.surface = Surface(part.width, part.height, scaled.storage.get(), part.width);
    return true;
}
