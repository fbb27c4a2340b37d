// The measure engine-check judges a CUDA frame by: a wrong sum here would pass
// a broken GPU frame or fail a good one.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../../bench/frame_compare.h"

namespace {

TEST(FrameCompare, MeasuresPsnrLargestDifferenceAndSharesWithin2And8Levels) {
    const std::vector<uint32_t> grey(4, 0x00808080u);
    FrameDifference d = compareFrames(grey.data(), grey.data(), grey.size());
    EXPECT_TRUE(std::isinf(d.psnr));
    EXPECT_EQ(d.largest, 0);
    EXPECT_EQ(d.within2, 1.0);

    // Every sample one level off: mean squared error 1, PSNR 20 log10(255).
    std::vector<uint32_t> off(4, 0x007F817Fu);
    d = compareFrames(grey.data(), off.data(), grey.size());
    EXPECT_NEAR(d.psnr, 48.1308, 1e-4);
    EXPECT_EQ(d.largest, 1);

    // Pixels 9 levels off in blue, 8 in red, 2 in green, and one whose top byte (not a channel) differs.
    off = {0xFF808080u, 0x00808089u, 0x00888080u, 0x00808280u};
    d = compareFrames(grey.data(), off.data(), grey.size());
    EXPECT_EQ(d.largest, 9);
    EXPECT_DOUBLE_EQ(d.within2, 0.5);
    EXPECT_DOUBLE_EQ(d.within8, 0.75);
    EXPECT_NEAR(d.psnr, 10.0 * std::log10(255.0 * 255.0 * 12.0 / (81 + 64 + 4)), 1e-9);

    // Black against white over a whole frame: the squares overflow 32 bits, PSNR is exactly 0.
    const std::vector<uint32_t> black(640 * 480, 0u), white(640 * 480, 0x00FFFFFFu);
    d = compareFrames(black.data(), white.data(), black.size());
    EXPECT_NEAR(d.psnr, 0.0, 1e-12);
    EXPECT_EQ(d.largest, 255);
    EXPECT_EQ(d.within8, 0.0);
}

}  // namespace
