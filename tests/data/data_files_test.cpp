// The shipped data files: overlays that fit where the show draws them and
// leave the picture alone outside their content, and a usable music track.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_paths.h"

namespace {

constexpr int screenWidth = 640;
constexpr int screenHeight = 480;

struct Placement {
    const char* name;
    int row;
};

// Where the show draws each overlay.
constexpr Placement placements[] = {
    {"logo", 250},  {"re", 400},         {"coding", 250}, {"realtime", 100},
    {"title", 100}, {"quorvaling", 150}, {"greek", 40},   {"greets", 250},
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, top row first

    uint32_t rgb(int x, int y) const { return pixels[size_t(y) * width + x] & 0xFFFFFFu; }
};

std::string dataPath(const std::string& file) {
    return sourceDir() + "/data/" + file;
}

bool loadImage(const std::string& path, Image& out) {
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
    FIBITMAP* loaded = FreeImage_Load(format, path.c_str(), 0);
    if (!loaded) return false;
    FIBITMAP* bits = FreeImage_ConvertTo32Bits(loaded);
    FreeImage_Unload(loaded);
    if (!bits) return false;
    out.width = int(FreeImage_GetWidth(bits));
    out.height = int(FreeImage_GetHeight(bits));
    out.pixels.resize(size_t(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        // FreeImage keeps the bottom row first.
        const auto* line = reinterpret_cast<const uint32_t*>(FreeImage_GetScanLine(bits, out.height - 1 - y));
        std::copy(line, line + out.width, out.pixels.begin() + size_t(y) * out.width);
    }
    FreeImage_Unload(bits);
    return true;
}

const Placement& placementOf(const std::string& name) {
    for (const Placement& p : placements)
        if (name == p.name) return p;
    throw std::runtime_error("no overlay " + name);
}

TEST(DataFiles, OverlaysDecodeFitTheirRowAndHaveBlackEdges) {
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.name);
        Image img;
        ASSERT_TRUE(loadImage(dataPath(std::string(p.name) + ".png"), img));
        EXPECT_GT(img.width, 0);
        EXPECT_LE(img.width, screenWidth);
        EXPECT_GT(img.height, 0);
        EXPECT_LE(p.row + img.height, screenHeight);

        // The blend is additive without alpha: any light on the border would
        // show as the edge of a rectangle.
        int litEdge = 0;
        for (int x = 0; x < img.width; ++x) litEdge += (img.rgb(x, 0) != 0) + (img.rgb(x, img.height - 1) != 0);
        for (int y = 0; y < img.height; ++y) litEdge += (img.rgb(0, y) != 0) + (img.rgb(img.width - 1, y) != 0);
        EXPECT_EQ(litEdge, 0);

        // Something must be there to see, and not a saturating white slab.
        int lit = 0, white = 0;
        for (uint32_t px : img.pixels) {
            lit += (px & 0xFFFFFFu) != 0;
            white += (px & 0xFFFFFFu) == 0xFFFFFFu;
        }
        EXPECT_GT(lit, img.width * img.height / 100);
        EXPECT_LT(white, img.width * img.height / 20);
    }
}

TEST(DataFiles, OverlaysShownTogetherDoNotOverlap) {
    // Top to bottom, the overlays on screen at the same time.
    const std::vector<std::vector<std::string>> together = {
        {"greek", "title", "re"},
        {"realtime", "quorvaling", "logo"},
    };
    for (const auto& group : together) {
        for (size_t i = 0; i + 1 < group.size(); ++i) {
            SCOPED_TRACE(group[i] + " above " + group[i + 1]);
            Image upper;
            ASSERT_TRUE(loadImage(dataPath(group[i] + ".png"), upper));
            EXPECT_LE(placementOf(group[i]).row + upper.height, placementOf(group[i + 1]).row);
        }
    }
}

TEST(DataFiles, TrackIsAStereoMp3LoopOfPlausibleLength) {
    std::ifstream in(dataPath("track.mp3"), std::ios::binary | std::ios::ate);
    ASSERT_TRUE(in.good());
    const auto size = static_cast<long long>(in.tellg());
    in.seekg(0);
    unsigned char h[4] = {};
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(h), 4));

    // The first frame header: sync, MPEG-1 layer III, 44.1 kHz, not mono.
    ASSERT_EQ(h[0], 0xFF);
    ASSERT_EQ(h[1] & 0xFE, 0xFA);
    EXPECT_EQ((h[2] >> 2) & 3, 0) << "sample rate is not 44.1 kHz";
    EXPECT_NE(h[3] >> 6, 3) << "mono";

    // Duration from the constant bit rate: a loop of 20 to 60 s, and small.
    static const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    const int rate = kbps[h[2] >> 4];
    ASSERT_GT(rate, 0);
    const double seconds = double(size) * 8.0 / (rate * 1000.0);
    EXPECT_GE(seconds, 20.0);
    EXPECT_LE(seconds, 60.0);
    EXPECT_LT(size, 1500 * 1024);
}

}  // namespace
