#include "app/png_writer.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace {

// Reads a PNG back as top-down 0xAARRGGBB words.
std::vector<uint32_t> readBack(const std::string& path, int& width, int& height, unsigned& bpp) {
    FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, path.c_str(), 0);
    if (!bitmap) return {};
    bpp = FreeImage_GetBPP(bitmap);
    FIBITMAP* wide = FreeImage_ConvertTo32Bits(bitmap);
    width = static_cast<int>(FreeImage_GetWidth(wide));
    height = static_cast<int>(FreeImage_GetHeight(wide));
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(wide, height - 1 - y));
        std::copy(row, row + width, pixels.begin() + static_cast<size_t>(y) * width);
    }
    FreeImage_Unload(wide);
    FreeImage_Unload(bitmap);
    return pixels;
}

}  // namespace

TEST(PngWriter, RoundTripKeepsEveryPixelOpaqueAndUpright) {
    const std::string dir = scratchDir("png_round_trip");
    // A source wider than the image (pitch > width) whose padding must not leak in.
    const int width = 37, height = 23, pitch = 40;
    std::vector<uint32_t> source(static_cast<size_t>(pitch) * height, 0xFFFFFFFFu);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            source[static_cast<size_t>(y) * pitch + x] =
                (static_cast<uint32_t>(x * 7) << 16) | (static_cast<uint32_t>(y * 11) << 8) | ((x * y) & 0xFF);
    source[0] = 0x00FF0000u;  // top-left red: catches a flipped image
    const std::string path = dir + "/frame.png";
    std::string error;
    ASSERT_TRUE(writePng(path.c_str(), source.data(), width, height, pitch, error)) << error;

    int w = 0, h = 0;
    unsigned bpp = 0;
    const std::vector<uint32_t> back = readBack(path, w, h, bpp);
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    EXPECT_EQ(bpp, 24u);
    EXPECT_EQ(back[0], 0xFFFF0000u);
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (back[static_cast<size_t>(y) * width + x] != (source[static_cast<size_t>(y) * pitch + x] | 0xFF000000u))
                ++wrong;
    EXPECT_EQ(wrong, 0);
    // Only the finished file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

TEST(PngWriter, UnwritablePathsFailWithAReasonAndLeaveNothing) {
    const std::string dir = scratchDir("png_unwritable");
    const std::string plainFile = dir + "/not_a_folder";
    { std::ofstream(plainFile) << "x"; }
    std::vector<uint32_t> pixels(8 * 8, 0x123456u);
    for (const std::string& path : {dir + "/missing/frame.png", plainFile + "/frame.png", dir}) {
        std::string error;
        EXPECT_FALSE(writePng(path.c_str(), pixels.data(), 8, 8, 8, error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    // Nothing but the plain file: no temporary or partial PNG anywhere.
    int entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename(), "not_a_folder");
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}
