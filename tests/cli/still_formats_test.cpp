// Stills in every format the program writes, read back with FreeImage, and the
// outputs it refuses to write or to replace.
#include <gtest/gtest.h>
#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "outputs/image_writer.h"
#include "render/upscale.h"
#include "support/png_read.h"
#include "support/run_program.h"
#include "support/test_paths.h"
#include "support/check.h"

namespace fs = std::filesystem;

namespace {

ProgramResult still(const std::string& dir, const std::string& args) {
    return runProgram({"/bin/sh", "-c", "exec \"$0\" --data \"$1\" --backend cpu --no-overlays --still 14 " + args,
                       programPath(), sourceDir() + "/data"},
                      {}, dir);
}

// An 8-bit image as top-down 0x00RRGGBB words, whatever its format; empty when
// FreeImage cannot read it. type: what FreeImage finds in the file's bytes.
std::vector<uint32_t> readImage(const std::string& path, int& width, int& height, FREE_IMAGE_FORMAT& type) {
    std::vector<uint32_t> pixels;
    type = FreeImage_GetFileType(path.c_str(), 0);
    FIBITMAP* bitmap = FreeImage_Load(type, path.c_str(), 0);
    FIBITMAP* wide = FreeImage_ConvertTo32Bits(bitmap);
    if (wide) {
        width = static_cast<int>(FreeImage_GetWidth(wide));
        height = static_cast<int>(FreeImage_GetHeight(wide));
        for (int y = height - 1; y >= 0; --y) {
            const auto* row = reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(wide, y));
            for (int x = 0; x < width; ++x) pixels.push_back(row[x] & 0x00FFFFFFu);
        }
    }
    FreeImage_Unload(wide);
    FreeImage_Unload(bitmap);
    return pixels;
}

// An EXR's RGB floats, top row first; empty unless it holds 32-bit float RGB.
std::vector<float> readExr(const std::string& path, int& width, int& height) {
    std::vector<float> light;
    FIBITMAP* bitmap = FreeImage_Load(FIF_EXR, path.c_str(), 0);
    if (bitmap && FreeImage_GetImageType(bitmap) == FIT_RGBF) {
        width = static_cast<int>(FreeImage_GetWidth(bitmap));
        height = static_cast<int>(FreeImage_GetHeight(bitmap));
        for (int y = height - 1; y >= 0; --y) {
            const auto* row = reinterpret_cast<const FIRGBF*>(FreeImage_GetScanLine(bitmap, y));
            for (int x = 0; x < width; ++x) light.insert(light.end(), {row[x].red, row[x].green, row[x].blue});
        }
    }
    FreeImage_Unload(bitmap);
    return light;
}

std::vector<uint32_t> toned(const std::vector<float>& light, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    toneAndScale(width, height, light.data(), width, height, pixels.data());
    return pixels;
}

}  // namespace

// One moment in each format: the lossless ones hold the PNG's pixels, the JPEG
// is close to them, and the EXR holds the light the PNG was toned from.
TEST(StillFormats, EachFormatReadsBackAsThePicture) {
    const std::string dir = scratchDir("still_formats");
    for (const char* name : {"s.png", "s.jpg", "s.TIF", "s.exr"}) {
        const ProgramResult r = still(dir, std::string("--size 160x120 --out ") + name);
        ASSERT_EQ(r.exitCode, 0) << name << "\n" << r.output;
    }
    int w = 0, h = 0;
    FREE_IMAGE_FORMAT type = FIF_UNKNOWN;
    const std::vector<uint32_t> png = readImage(dir + "/s.png", w, h, type);
    ASSERT_EQ(type, FIF_PNG);
    ASSERT_EQ(w * h, 160 * 120);
    ASSERT_EQ(png.size(), 160u * 120u);

    EXPECT_EQ(readImage(dir + "/s.TIF", w, h, type), png) << "TIFF is lossless";
    EXPECT_EQ(type, FIF_TIFF);

    const std::vector<uint32_t> jpeg = readImage(dir + "/s.jpg", w, h, type);
    EXPECT_EQ(type, FIF_JPEG);
    ASSERT_EQ(jpeg.size(), png.size());
    double difference = 0;
    for (size_t i = 0; i < png.size(); ++i)
        for (int shift : {0, 8, 16}) difference += std::abs(int(png[i] >> shift & 0xFF) - int(jpeg[i] >> shift & 0xFF));
    EXPECT_LT(difference / (png.size() * 3), 4.0) << "a JPEG at high quality stays within a few levels";
    EXPECT_GT(difference, 0.0) << "a JPEG is not a renamed lossless file";

    EXPECT_EQ(FreeImage_GetFileType((dir + "/s.exr").c_str(), 0), FIF_EXR);
    const std::vector<float> light = readExr(dir + "/s.exr", w, h);
    ASSERT_EQ(light.size(), 160u * 120u * 3u) << "32-bit float RGB of the whole picture";
    // The curve is far from the identity, so only the light before it tones to the PNG.
    EXPECT_EQ(toned(light, w, h), png) << "the tone curve of the EXR's light is the PNG";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4) << "no temporary files left";
}

// Between bars the EXR holds only the view, and averaged passes are averaged in it.
TEST(StillFormats, ExrHoldsTheViewBetweenBarsAveragedOverPasses) {
    const std::string dir = scratchDir("still_exr_view");
    for (const char* name : {"s.png", "s.exr"}) {
        const ProgramResult r = still(dir, std::string("--size 160x90 --keep-aspect --passes 2 --out ") + name);
        ASSERT_EQ(r.exitCode, 0) << name << "\n" << r.output;
    }
    int w = 0, h = 0, ew = 0, eh = 0;
    FREE_IMAGE_FORMAT type = FIF_UNKNOWN;
    const std::vector<uint32_t> png = readImage(dir + "/s.png", w, h, type);
    ASSERT_EQ(png.size(), 160u * 90u);
    const std::vector<float> light = readExr(dir + "/s.exr", ew, eh);
    ASSERT_EQ(ew, 120);
    ASSERT_EQ(eh, 90);
    ASSERT_EQ(light.size(), 120u * 90u * 3u);
    std::vector<uint32_t> view;
    for (int y = 0; y < 90; ++y) view.insert(view.end(), png.begin() + y * 160 + 20, png.begin() + y * 160 + 140);
    EXPECT_EQ(toned(light, ew, eh), view);
}

// Refused with exit code 2 and one line before rendering: a name of no known
// format, an existing file (untouched) unless --overwrite, an EXR of a preview.
TEST(StillFormats, RefusesUnknownNamesAndExistingFilesUnlessOverwriting) {
    const std::string dir = scratchDir("still_refusals");
    for (const char* name : {"s.bmp", "s", "s.png.txt", "s.jpe"}) {
        EXPECT_TRUE(refused(still(dir, std::string("--out ") + name), "name the still .png, .jpg, .tif or .exr", true));
    }
    EXPECT_TRUE(fs::is_empty(dir)) << "a refused name left a file";

    { std::ofstream(dir + "/old.png") << "an older picture"; }
    EXPECT_TRUE(
        refused(still(dir, "--size 32x24 --out old.png"), "old.png exists: use --overwrite to replace it", true));
    EXPECT_EQ(fileContents(dir + "/old.png"), "an older picture");

    ASSERT_EQ(still(dir, "--size 32x24 --out old.png --overwrite").exitCode, 0);
    int w = 0, h = 0;
    EXPECT_EQ(readPng(dir + "/old.png", w, h).size(), 32u * 24u);

    const ProgramResult preview = still(dir, "--preview --out p.exr");
    EXPECT_TRUE(refused(preview, "--preview"));
    EXPECT_FALSE(fs::exists(dir + "/p.exr"));
}

// The writer on its own: the format follows the name in any case, and an
// EXR reloads to exactly the floats written, however bright.
TEST(StillFormats, NamesPickFormatsAndExrKeepsEveryFloat) {
    StillFormat format = StillFormat::Png;
    std::string error;
    for (auto [name, expected] : {std::pair{"a.PNG", StillFormat::Png},
                                  {"dir.v2/a.jpeg", StillFormat::Jpeg},
                                  {"a.Jpg", StillFormat::Jpeg},
                                  {"a.tiff", StillFormat::Tiff},
                                  {"a.EXR", StillFormat::Exr}}) {
        ASSERT_TRUE(stillFormatFor(name, format, error)) << name << ": " << error;
        EXPECT_EQ(format, expected) << name;
    }
    EXPECT_FALSE(stillFormatFor("dir.png/a", format, error));
    EXPECT_TRUE(contains(error, "dir.png/a"));

    const std::string dir = scratchDir("exr_writer");
    const int width = 5, height = 3;
    std::vector<float> light(width * height * 3);
    for (size_t i = 0; i < light.size(); ++i) light[i] = std::ldexp(1.0f + i / 7.0f, int(i % 9) - 4) + 1e-7f * i;
    ASSERT_TRUE(writeExr((dir + "/a.exr").c_str(), light.data(), width, height, false, error)) << error;
    int w = 0, h = 0;
    EXPECT_EQ(readExr(dir + "/a.exr", w, h), light) << "rows upright, full precision";
    EXPECT_EQ(w, width);
}
