// The shipped data files: overlays that decode, fit where the show draws them and
// leave the picture alone outside their content, and a usable music track.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "demo/image_file.h"
#include "demo/overlays.h"
#include "support/test_paths.h"

TEST(DataFiles, OverlaysDecodeAndFitTheirRowsWithoutOverlapping) {
    int bottom[overlayCount] = {};
    for (const OverlayCue& cue : overlaySchedule) {
        const std::string path = sourceDir() + "/data/" + overlayFileNames[cue.sprite];
        SCOPED_TRACE(path);
        ASSERT_TRUE(std::filesystem::exists(path));
        Image image;
        std::string error;
        ASSERT_TRUE(loadImage(path, image, error)) << error;
        const Surface& img = image.surface;
        EXPECT_LE(img.width, 640);
        EXPECT_LE(cue.row + img.height, 480);
        bottom[cue.sprite] = cue.row + img.height;

        // The blend is additive without alpha: light on the border would show as
        // the edge of a rectangle. Inside, something to see and no white slab.
        int litEdge = 0, lit = 0, white = 0;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                const uint32_t rgb = img.pixels[y * img.pitch + x] & 0xFFFFFFu;
                const bool edge = x == 0 || y == 0 || x == img.width - 1 || y == img.height - 1;
                litEdge += edge && rgb != 0;
                lit += rgb != 0;
                white += rgb == 0xFFFFFFu;
            }
        EXPECT_EQ(litEdge, 0);
        EXPECT_GT(lit, img.width * img.height / 100);
        EXPECT_LT(white, img.width * img.height / 20);
    }
    // Overlays on screen at the same time must not cover each other.
    for (const OverlayCue& a : overlaySchedule)
        for (const OverlayCue& b : overlaySchedule)
            if (&a != &b && a.start < b.end && b.start < a.end && a.row <= b.row) {
                EXPECT_LE(bottom[a.sprite], b.row)
                    << overlayFileNames[a.sprite] << " over " << overlayFileNames[b.sprite];
            }
}

TEST(DataFiles, TrackIsAStereoMp3LoopOfPlausibleLength) {
    std::ifstream in(sourceDir() + "/data/track.mp3", std::ios::binary | std::ios::ate);
    ASSERT_TRUE(in.good());
    const auto size = static_cast<long long>(in.tellg());
    unsigned char h[4] = {};
    ASSERT_TRUE(in.seekg(0).read(reinterpret_cast<char*>(h), 4));
    // The first frame header: sync, MPEG-1 layer III, 44.1 kHz, not mono.
    ASSERT_EQ(h[0], 0xFF);
    ASSERT_EQ(h[1] & 0xFE, 0xFA);
    EXPECT_EQ((h[2] >> 2) & 3, 0) << "sample rate is not 44.1 kHz";
    EXPECT_NE(h[3] >> 6, 3) << "mono";
    // Duration from the constant bit rate: a loop of 20 to 60 s, and small.
    static const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    ASSERT_GT(kbps[h[2] >> 4], 0);
    const double seconds = double(size) * 8.0 / (kbps[h[2] >> 4] * 1000.0);
    EXPECT_GE(seconds, 20.0);
    EXPECT_LE(seconds, 60.0);
    EXPECT_LT(size, 1500 * 1024);
}
