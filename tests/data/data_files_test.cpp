// The shipped data files: overlays that decode, fit where the show draws them and
// leave the picture alone outside their content, and a usable music track.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo/image_file.h"
#include "demo/overlays.h"
#include "support/run_program.h"
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

namespace {

std::string trackPath() {
    return sourceDir() + "/data/track.mp3";
}

// Level in dB below full scale of interleaved 16-bit samples [from, to).
double levelDb(const std::vector<int16_t>& s, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return 10.0 * std::log10(sum / double(to - from) / (32768.0 * 32768.0) + 1e-20);
}

}  // namespace

TEST(DataFiles, TrackIsAStereo44kMp3LongerThanTheShow) {
    std::ifstream in(trackPath(), std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Frame by frame: MPEG-1 layer III, 44.1 kHz, not mono, back to back up to the end.
    static const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    size_t at = 0;
    long frames = 0;
    while (at + 4 <= bytes.size()) {
        const unsigned char* h = &bytes[at];
        ASSERT_EQ(h[0], 0xFF) << "frame " << frames;
        ASSERT_EQ(h[1] & 0xFE, 0xFA) << "frame " << frames << " is not MPEG-1 layer III";
        ASSERT_EQ((h[2] >> 2) & 3, 0) << "frame " << frames << ": sample rate is not 44.1 kHz";
        ASSERT_NE(h[3] >> 6, 3) << "frame " << frames << " is mono";
        ASSERT_GT(kbps[h[2] >> 4], 0);
        at += 144000 * kbps[h[2] >> 4] / 44100 + ((h[2] >> 1) & 1);
        ++frames;
    }
    EXPECT_EQ(at, bytes.size()) << "the last frame is cut short";
    // The show lasts 106 s and must not hear the track start again.
    EXPECT_GE(frames * 1152 / 44100.0, 110.0);
    // No info frame: a decoder that does not read it (the show's) plays it as a
    // frame of silence at every loop. In a stereo frame it would follow the 32
    // bytes of side information.
    ASSERT_GT(bytes.size(), 40u);
    const std::string tag(bytes.begin() + 36, bytes.begin() + 40);
    EXPECT_NE(tag, "Info");
    EXPECT_NE(tag, "Xing");
}

TEST(DataFiles, TrackFollowsTheShowUnclippedAndLoopsQuietly) {
    const ProgramResult pcm =
        runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", trackPath(), "-f", "s16le", "-ac", "2", "-ar", "44100", "-"});
    if (pcm.exitCode == 127) GTEST_SKIP() << "ffmpeg is not on PATH";
    ASSERT_EQ(pcm.exitCode, 0) << pcm.output.substr(0, 200);
    std::vector<int16_t> s(pcm.output.size() / 2);
    std::memcpy(s.data(), pcm.output.data(), s.size() * 2);
    // The decoder's start-up delay and the last frame's padding decode as silence.
    size_t first = 0, last = s.size();
    while (first < last && s[first] == 0) ++first;
    while (last > first && s[last - 1] == 0) --last;
    first &= ~size_t(1), last = (last + 1) & ~size_t(1);
    ASSERT_GT(last - first, size_t(110 * 44100 * 2));
    const auto at = [&](double seconds) { return first + size_t(seconds * 44100) * 2; };

    int peak = 0;
    for (size_t i = first; i < last; ++i) peak = std::max(peak, std::abs(int(s[i])));
    EXPECT_LT(peak, int(32768 * std::pow(10.0, -1.0 / 20))) << "peaks must stay below -1 dBFS";
    const double whole = levelDb(s, first, last);
    EXPECT_GT(whole, -20.0);
    EXPECT_LT(whole, -14.0);
    // Quiet under the titles, the band once the first scene moves (12 s), winding
    // down after the show's fade has begun (96 s).
    const double titles = levelDb(s, at(0.5), at(7.5)), walk = levelDb(s, at(12.5), at(23.5));
    const double finale = levelDb(s, at(80), at(94)), ending = levelDb(s, at(104), at(110));
    EXPECT_LT(titles, walk - 6.0) << titles << " " << walk;
    EXPECT_LT(ending, finale - 6.0) << ending << " " << finale;

    // The loop: the end runs into the start at the same low level, so the decoder's
    // gap between them (about 26 ms of silence) falls where nothing is there to cut.
    const size_t edge = 2205 * 2;  // 50 ms
    const double start = levelDb(s, first, first + edge), end = levelDb(s, last - edge, last);
    EXPECT_LT(start, -30.0);
    EXPECT_LT(end, -30.0);
    EXPECT_NEAR(start, end, 6.0);
}
