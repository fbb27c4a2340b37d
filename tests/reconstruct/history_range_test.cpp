// Where a pixel's history lies outside what the new frame shows around it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kernel/pixel_guide.h"
#include "reconstruct/history_range.h"

namespace {

constexpr int side = 5, centre = 2 * side + 2;

struct Case {
    const char* what;
    float history;       // the history's light at the centre's previous pixel (grey)
    float length;        // its frames
    bool moved = false;  // the centre has no previous position
    bool capped;
};

}  // namespace

// A 5 x 5 frame of one object lit at 1 (its second column another object, at
// 0.2, which the centre's range leaves out); only the centre has a previous
// position, one pixel to its left, where its history is read.
TEST(HistoryRange, OnlyAHistoryFarOutsideTheNewNeighbourhoodIsCutShort) {
    const ReconstructionSettings settings;
    const int n = side * side;
    std::vector<float> radiance(3 * n, 1.0f), guide(guideFloats * n, 0.0f), luminance(n), object(n);
    for (int p = 0; p < n; ++p) {
        float* g = &guide[p * guideFloats];
        g[guideAlbedo] = g[guideAlbedo + 1] = g[guideAlbedo + 2] = 1.0f;
        g[guideObject] = p % side == 1 ? 3.0f : 1.0f;
        if (p % side == 1) radiance[3 * p] = radiance[3 * p + 1] = radiance[3 * p + 2] = 0.2f;
    }
    demodulatedLuminance(settings, side, radiance.data(), guide.data(), luminance.data(), object.data(), 0, side);
    EXPECT_FLOAT_EQ(luminance[centre], 1.0f);
    EXPECT_EQ(object[1], 3.0f);
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
        previous[centre] = c.moved ? PixelPos{std::nanf(""), std::nanf("")} : PixelPos{1.2f, 1.9f};
        std::vector<float> colour(3 * n, 1.0f), length(n, c.length);
        for (int k = 0; k < 3; ++k) colour[3 * (centre - 1) + k] = c.history;
        std::vector<float> cap(n, 32.0f);
        historyRangeCaps(settings, side, side, object.data(), luminance.data(), previous.data(),
                         RangeHistory{side, side, colour.data(), length.data()}, cap.data(), 0, side);
        EXPECT_EQ(cap[centre], c.capped ? settings.outOfRangeFrames : 32.0f);
        for (int p = 0; p < n; ++p) {
            if (p == centre) continue;
            EXPECT_EQ(cap[p], 32.0f) << "pixel " << p;
        }
    }
}
