// Where a pixel's history lies outside what the new frame shows around it.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/pixel_guide.h"
#include "reconstruct/history_range.h"

namespace {

// Wide enough that the centre lies in a vector of pixels on every target.
constexpr int width = 40, height = 5, centreX = 20, centre = 2 * width + centreX;

struct Case {
    const char* what;
    float history;       // the history's light at the centre's previous pixel (grey)
    float length;        // its frames
    bool moved = false;  // the centre has no previous position
    bool capped;
};

}  // namespace

// A 40 x 5 frame of one object lit at 1 (the column left of the centre another
// object, at 0.2, which the centre's range leaves out); only the centre has a
// previous position, one pixel to its left, where its history is read.
TEST(HistoryRange, OnlyAHistoryFarOutsideTheNewNeighbourhoodIsCutShort) {
    const ReconstructionSettings settings;
    const int n = width * height;
    std::vector<float> radiance(3 * n, 1.0f), guide(guideFloats * n, 0.0f), luminance(n), object(n);
    for (int p = 0; p < n; ++p) {
        float* g = &guide[p * guideFloats];
        g[guideAlbedo] = g[guideAlbedo + 1] = g[guideAlbedo + 2] = 1.0f;
        g[guideObject] = p % width == centreX - 1 ? 3.0f : 1.0f;
        if (p % width == centreX - 1) radiance[3 * p] = radiance[3 * p + 1] = radiance[3 * p + 2] = 0.2f;
    }
    demodulatedLuminance(settings, width, radiance.data(), guide.data(), luminance.data(), object.data(), 0, height);
    EXPECT_FLOAT_EQ(luminance[centre], 1.0f);
    EXPECT_EQ(object[centre - 1], 3.0f);
    const Case cases[] = {
        {"a shadow drew back from it", 0.3f, 10.0f, false, true},
        {"within what one frame's noise spans", 0.6f, 10.0f, false, false},
        {"as bright as the new light", 1.0f, 10.0f, false, false},
        {"light left it", 1.6f, 10.0f, false, true},
        {"too short a history to tell", 0.3f, 3.0f, false, false},
        {"no previous position", 0.3f, 10.0f, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<PixelPos> previous(n, PixelPos{std::nanf(""), std::nanf("")});
        previous[centre] = c.moved ? PixelPos{std::nanf(""), std::nanf("")} : PixelPos{centreX - 0.8f, 1.9f};
        std::vector<float> colour(3 * n, 1.0f), length(n, c.length);
        for (int k = 0; k < 3; ++k) colour[3 * (centre - 1) + k] = c.history;
        std::vector<float> cap(n, 32.0f);
        historyRangeCaps(settings, width, height, object.data(), luminance.data(), previous.data(),
                         RangeHistory{width, height, colour.data(), length.data()}, cap.data(), 0, height);
        EXPECT_EQ(cap[centre], c.capped ? settings.outOfRangeFrames : 32.0f);
        for (int p = 0; p < n; ++p) {
            if (p == centre) continue;
            EXPECT_EQ(cap[p], 32.0f) << "pixel " << p;
        }
    }
}

// A frame of mixed objects, light, lengths and previous positions (some
// outside the last frame, some unknown): the same caps on every vector target
// and in any bands of rows, the border's pixels included.
TEST(HistoryRange, TheSameCapsOnEveryTargetAndInAnyBands) {
    const ReconstructionSettings settings;
    constexpr int w = 75, h = 23, n = w * h;
    uint32_t state = 12345;
    const auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 8; };
    const auto unit = [&] { return static_cast<float>(next() % 10000) / 10000.0f; };
    std::vector<float> object(n), luminance(n), colour(3 * n), length(n);
    std::vector<PixelPos> previous(n);
    for (int p = 0; p < n; ++p) {
        object[p] = static_cast<float>(next() % 3);
        luminance[p] = 0.2f + unit();
        length[p] = static_cast<float>(1 + next() % 10);
        for (int c = 0; c < 3; ++c) colour[3 * p + c] = 3.0f * unit();
        const uint32_t kind = next() % 10;
        previous[p] = kind == 0   ? PixelPos{std::nanf(""), std::nanf("")}
                      : kind == 1 ? PixelPos{-3.0f + unit(), h * unit()}
                      : kind == 2 ? PixelPos{w * unit(), h + unit()}
                                  : PixelPos{(p % w) + 2.0f * unit() - 1.0f, (p / w) + 2.0f * unit() - 1.0f};
    }
    const RangeHistory history{w, h, colour.data(), length.data()};
    const auto run = [&](const std::vector<int>& ends) {
        std::vector<float> cap(n, 32.0f);
        for (int p = 0; p < n; p += 7) cap[p] = 2.0f;
        int y0 = 0;
        for (int y1 : ends) {
            historyRangeCaps(settings, w, h, object.data(), luminance.data(), previous.data(), history, cap.data(), y0, y1);
            y0 = y1;
        }
        return cap;
    };
    const std::vector<float> best = run({h});
    int cut = 0, kept = 0;
    for (int p = 0; p < n; ++p) cut += best[p] == settings.outOfRangeFrames, kept += best[p] == 32.0f;
    ASSERT_GT(cut, n / 10);
    ASSERT_GT(kept, n / 10);
    EXPECT_EQ(std::memcmp(run({1, 2, 9, h}).data(), best.data(), n * sizeof(float)), 0) << "bands";
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        EXPECT_EQ(std::memcmp(run({h}).data(), best.data(), n * sizeof(float)), 0) << hwy::TargetName(target);
    }
    hwy::SetSupportedTargetsForTest(0);
}
