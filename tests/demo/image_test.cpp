#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "app/surface.h"
#include "demo/sprite.h"
#include "support/test_paths.h"

TEST(ImageLoading, UprightAlignedWithPitchEqualToWidth) {
    // 3 x 2: red, red, green over blue, grey, blue; a 24-bit file pads its rows to 12 bytes.
    const std::string path = scratchDir("image_upright") + "/marks.ppm";
    std::ofstream(path) << "P3 3 2 255\n255 0 0  255 0 0  0 255 0\n0 0 255  64 64 64  0 0 255\n";
    Surface image(path.c_str());
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.pitch, 3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image.pixels) % 64, 0u);
    const uint32_t expected[6] = {0xFF0000, 0xFF0000, 0x00FF00, 0x0000FF, 0x404040, 0x0000FF};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(image.pixels[i] & 0xFFFFFFu, expected[i]) << i;
    EXPECT_EQ(Sprite(&image, 2).frameWidth, 1);  // 3 / 2, truncated
}

TEST(ImageLoadingDeathTest, MissingAndUndecodableFilesAreFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string dir = scratchDir("image_fatal");
    EXPECT_EXIT(Surface{(dir + "/missing.png").c_str()}, testing::ExitedWithCode(2),
                "ERROR: File not found: .*/missing\\.png");
    std::ofstream(dir + "/garbage.png") << "this is not a picture at all, only some text";
    EXPECT_EXIT(Surface{(dir + "/garbage.png").c_str()}, testing::ExitedWithCode(2),
                "ERROR: Cannot load image: .*/garbage\\.png");
}
