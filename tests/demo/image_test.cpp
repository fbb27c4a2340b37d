#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/surface.h"
#include "demo/sprite.h"
#include "support/test_paths.h"

namespace {

// Writes a 24-bit PNG, rows given top first as 0xRRGGBB.
void writePng(const std::string& path, int width, int height, uint32_t (*colourAt)(int x, int y)) {
    FIBITMAP* bitmap = FreeImage_Allocate(width, height, 24);
    ASSERT_NE(bitmap, nullptr);
    for (int y = 0; y < height; ++y) {
        // FreeImage keeps the bottom row as scan line 0.
        BYTE* line = FreeImage_GetScanLine(bitmap, height - 1 - y);
        for (int x = 0; x < width; ++x) {
            uint32_t c = colourAt(x, y);
            line[x * 3 + FI_RGBA_RED] = static_cast<BYTE>(c >> 16);
            line[x * 3 + FI_RGBA_GREEN] = static_cast<BYTE>(c >> 8);
            line[x * 3 + FI_RGBA_BLUE] = static_cast<BYTE>(c);
        }
    }
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, bitmap, path.c_str(), 0));
    FreeImage_Unload(bitmap);
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

TEST(ImageLoading, UprightAlignedWithPitchEqualToWidth) {
    const std::string path = scratchDir("image_upright") + "/bands.png";
    // Top row red, bottom row blue, a green marker at (2, 1).
    writePng(path, 5, 3, [](int x, int y) -> uint32_t {
        if (y == 0) return 0xFF0000u;
        if (y == 2) return 0x0000FFu;
        return x == 2 ? 0x00FF00u : 0x404040u;
    });
    Surface image(path.c_str());
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.pitch, 5);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image.pixels) % 64, 0u);
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(image.pixels[x] & 0xFFFFFFu, 0xFF0000u) << x;
        EXPECT_EQ(image.pixels[10 + x] & 0xFFFFFFu, 0x0000FFu) << x;
    }
    EXPECT_EQ(image.pixels[5 + 2] & 0xFFFFFFu, 0x00FF00u);
    EXPECT_EQ(image.pixels[5 + 3] & 0xFFFFFFu, 0x404040u);

    Sprite sprite(&image, 1);
    EXPECT_EQ(sprite.frameWidth, 5);
    EXPECT_EQ(sprite.width, 5);
    EXPECT_EQ(sprite.height, 3);
    EXPECT_EQ(sprite.image, &image);
    Sprite strip(&image, 2);
    EXPECT_EQ(strip.frameWidth, 2);  // 5 / 2, truncated
}

TEST(ImageLoadingDeathTest, MissingAndUndecodableFilesAreFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string dir = scratchDir("image_fatal");
    const std::string missing = dir + "/missing.png";
    EXPECT_EXIT(Surface{missing.c_str()}, testing::ExitedWithCode(2), "ERROR: File not found: .*/missing\\.png");

    const std::string garbage = dir + "/garbage.png";
    writeBytes(garbage, "this is not a picture at all, only some text");
    EXPECT_EXIT(Surface{garbage.c_str()}, testing::ExitedWithCode(2), "ERROR: Cannot load image: .*/garbage\\.png");

    const std::string empty = dir + "/empty.png";
    writeBytes(empty, "");
    EXPECT_EXIT(Surface{empty.c_str()}, testing::ExitedWithCode(2), "Cannot load image: .*/empty\\.png");
}
