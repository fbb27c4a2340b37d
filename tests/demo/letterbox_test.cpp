#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "demo/letterbox.h"

namespace {

// Every window size, odd and extreme ones included: the area lies inside the
// window, fills one side, keeps 4:3 to within rounding and sits centred.
TEST(Letterbox, LargestCentredFourByThreeAreaInAnyWindow) {
    std::vector<std::pair<int, int>> sizes = {{1, 1}, {2, 1}, {1, 2}, {16384, 160}, {160, 16384}, {16384, 16384}};
    for (int w = 1; w <= 700; w += 7)
        for (int h = 1; h <= 700; h += 5) sizes.push_back({w, h});
    for (const auto& [w, h] : sizes) {
        const PictureArea a = letterbox(w, h, 640, 480);
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        ASSERT_GE(a.width, 1);
        ASSERT_GE(a.height, 1);
        EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.x + a.width <= w && a.y + a.height <= h);
        EXPECT_TRUE(a.width == w || a.height == h) << "one side fills the window";
        if (a.width > 1 && a.height > 1) {
            EXPECT_LE(std::abs(3 * a.width - 4 * a.height), 2) << a.width << "x" << a.height;
        }
        EXPECT_LE(std::abs((w - a.x - a.width) - a.x), 1) << "bars left and right alike";
        EXPECT_LE(std::abs((h - a.y - a.height) - a.y), 1) << "bars above and below alike";
    }
    const PictureArea same = letterbox(640, 480, 640, 480);
    EXPECT_TRUE(same.x == 0 && same.y == 0 && same.width == 640 && same.height == 480);
}

// A picture whose every pixel differs, so that a wrong source pixel shows.
std::vector<uint32_t> numbered(int width, int height) {
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint32_t>(i + 1);
    return pixels;
}

TEST(ScaleNearest, TakesThePixelUnderEachCentreAndStaysInsideTheArea) {
    const std::vector<uint32_t> source = numbered(640, 480);
    std::vector<uint32_t> same(640 * 480);
    scaleNearest(source.data(), 640, 480, 640, same.data(), 640, 480, 640);
    EXPECT_EQ(same, source);

    // Doubled: 2 x 2 blocks, written into a wider row (the window) without touching its bars.
    const int pitch = 1300;
    const uint32_t sentinel = 0xdeadbeef;
    std::vector<uint32_t> doubled(size_t(pitch) * 961, sentinel);
    scaleNearest(source.data(), 640, 480, 640, doubled.data(), 1280, 960, pitch);
    int wrong = 0, barsTouched = 0;
    for (int y = 0; y < 961; ++y)
        for (int x = 0; x < pitch; ++x) {
            const uint32_t got = doubled[size_t(y) * pitch + x];
            if (x >= 1280 || y >= 960)
                barsTouched += got != sentinel;
            else
                wrong += got != source[size_t(y / 2) * 640 + x / 2];
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(barsTouched, 0);

    // Shrunk by an uneven factor: 5 source pixels to 3, centres at 5/6, 15/6, 25/6.
    const std::vector<uint32_t> row = numbered(5, 1);
    std::vector<uint32_t> three(3);
    scaleNearest(row.data(), 5, 1, 5, three.data(), 3, 1, 3);
    EXPECT_EQ(three, (std::vector<uint32_t>{row[0], row[2], row[4]}));
}

}  // namespace
