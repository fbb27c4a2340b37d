#include "frame_compare.h"

#include <cmath>
#include <cstdlib>
#include <limits>

FrameDifference compareFrames(const uint32_t* a, const uint32_t* b, size_t pixels) {
    FrameDifference d;
    if (pixels == 0) {
        d.psnr = std::numeric_limits<double>::infinity();
        return d;
    }
    // 921,600 samples of up to 255^2 each overflow 32 bits; 64 bits hold any frame size.
    uint64_t squares = 0;
    size_t near2 = 0, near8 = 0;
    for (size_t i = 0; i < pixels; ++i) {
        int worst = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const int diff =
                std::abs(static_cast<int>((a[i] >> shift) & 0xFFu) - static_cast<int>((b[i] >> shift) & 0xFFu));
            squares += static_cast<uint64_t>(diff * diff);
            if (diff > worst) worst = diff;
        }
        if (worst > d.largest) d.largest = worst;
        near2 += worst <= 2;
        near8 += worst <= 8;
    }
    const double mse = static_cast<double>(squares) / (3.0 * static_cast<double>(pixels));
    d.psnr = mse == 0.0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(255.0 * 255.0 / mse);
    d.within2 = static_cast<double>(near2) / static_cast<double>(pixels);
    d.within8 = static_cast<double>(near8) / static_cast<double>(pixels);
    return d;
}
