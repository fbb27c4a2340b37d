// Stills at other sizes, end to end through the real program.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "../../bench/frame_compare.h"
#include "support/png_read.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace {

struct Image {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
};

Image still(const std::string& dir, const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> args = {programPath(), "--backend", "cpu", "--out", name};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProgramResult r = runProgram(args, {}, dir);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    Image image;
    image.pixels = readPng(dir + "/" + name, image.width, image.height);
    return image;
}

// Columns [left, left + width) of every row.
Image columns(const Image& image, int left, int width) {
    Image part{{}, width, image.height};
    for (int y = 0; y < image.height; ++y) {
        const auto row = image.pixels.begin() + static_cast<long>(y) * image.width + left;
        part.pixels.insert(part.pixels.end(), row, row + width);
    }
    return part;
}

// Each 2 x 2 block's mean, channel by channel, rounded.
Image halved(const Image& image) {
    Image half{{}, image.width / 2, image.height / 2};
    for (int y = 0; y < half.height; ++y)
        for (int x = 0; x < half.width; ++x) {
            uint32_t mean = 0;
            for (int shift : {0, 8, 16}) {
                int sum = 0;
                for (int dy : {0, 1})
                    for (int dx : {0, 1}) sum += image.pixels[(2 * y + dy) * image.width + 2 * x + dx] >> shift & 0xff;
                mean |= static_cast<uint32_t>((sum + 2) / 4) << shift;
            }
            half.pixels.push_back(mean);
        }
    return half;
}

double psnr(const Image& a, const Image& b) {
    EXPECT_EQ(a.pixels.size(), b.pixels.size());
    return a.pixels.size() == b.pixels.size() ? compareFrames(a.pixels.data(), b.pixels.data(), a.pixels.size()).psnr
                                              : 0.0;
}

}  // namespace

TEST(PictureSize, FourByThreeSizesScaleTheViewAndOthersWidenOrLetterboxIt) {
    const std::string dir = scratchDir("picture_size");
    // Twice the size sees the same: boxed down, it is the 640 x 480 frame but
    // for the noise (4 passes each keep that low).
    for (const std::string t : {"13", "60"}) {
        const Image normal = still(dir, "n" + t + ".png", {"--still", t, "--no-overlays", "--passes", "4"});
        const Image large =
            still(dir, "l" + t + ".png", {"--still", t, "--no-overlays", "--passes", "4", "--size", "1280x960"});
        ASSERT_EQ(large.width, 1280);
        ASSERT_EQ(large.height, 960);
        EXPECT_GE(psnr(halved(large), normal), 35.0) << "at " << t << " s";
    }

    // A wide picture keeps the height of the view and sees more at the sides.
    const Image square = still(dir, "s.png", {"--still", "13", "--no-overlays", "--passes", "4", "--size", "480x360"});
    const Image wide = still(dir, "w.png", {"--still", "13", "--no-overlays", "--passes", "4", "--size", "640x360"});
    ASSERT_EQ(wide.width, 640);
    ASSERT_EQ(wide.height, 360);
    EXPECT_GE(psnr(columns(wide, 80, 480), square), 30.0) << "the middle of the wide view is the 4:3 view";
    for (const int left : {0, 560}) {
        const std::vector<uint32_t> side = columns(wide, left, 80).pixels;
        EXPECT_GT(std::set<uint32_t>(side.begin(), side.end()).size(), 100u) << "no scene at the side from " << left;
    }

    // Letterboxed, the same picture (titles included) sits between black bars.
    const Image framed = still(dir, "f.png", {"--still", "13", "--size", "960x720"});
    const Image boxed = still(dir, "b.png", {"--still", "13", "--size", "1280x720", "--keep-aspect"});
    ASSERT_EQ(boxed.width, 1280);
    EXPECT_EQ(columns(boxed, 160, 960).pixels, framed.pixels);
    for (const int left : {0, 1120})
        for (const uint32_t pixel : columns(boxed, left, 160).pixels) ASSERT_EQ(pixel & 0xffffff, 0u) << "bar";
}
