// The light above the clamp, given back over cells of the same object.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "kernel/pixel_guide.h"
#include "reconstruct/clamped_light.h"

namespace {

// Not a whole number of vectors across, nor of cells.
constexpr int width = 61, height = 45, pixels = width * height;

// A frame of two diffuse objects side by side (object 1 left of x = 32,
// object 2 right of it), lit at 1, white.
struct Frame {
    std::vector<float> radiance = std::vector<float>(3 * pixels, 1.0f);
    std::vector<float> guide = std::vector<float>(guideFloats * pixels, 0.0f);
    Frame() {
        for (int p = 0; p < pixels; ++p) {
            float* g = &guide[p * guideFloats];
            g[guideAlbedo] = g[guideAlbedo + 1] = g[guideAlbedo + 2] = 1.0f;
            g[guideObject] = p % width < 32 ? 1.0f : 2.0f;
        }
    }
    float* light(int x, int y) { return &radiance[3 * (y * width + x)]; }
    float* at(int x, int y) { return &guide[(y * width + x) * guideFloats]; }
};

// The light given back to every pixel (3 a pixel), the cells gathered in the
// given cell rows per call.
std::vector<float> givenBack(const ReconstructionSettings& s, const Frame& f, int cellRowsPerCall = 1000) {
    ExcessCells cells;
    prepareExcessCells(s, width, height, cells);
    for (int cy = 0; cy < cells.height; cy += cellRowsPerCall)
        gatherExcessRows(s, width, height, f.radiance.data(), f.guide.data(), cells, cy,
                         std::min(cells.height, cy + cellRowsPerCall));
    std::vector<float> back(3 * pixels, -1.0f);
    returnedLightRows(cells, width, back.data(), 0, height);
    return back;
}

double sumOver(const std::vector<float>& back, int x0, int x1, int channel) {
    double sum = 0.0;
    for (int y = 0; y < height; ++y)
        for (int x = x0; x < x1; ++x) sum += back[3 * (y * width + x) + channel];
    return sum;
}

}  // namespace

// A few bright samples on the left object: what the clamp took comes back,
// all of it on that object, spread thin; the right object gets nothing.
TEST(ClampedLight, SparseBrightSamplesComeBackSpreadOverTheirObject) {
    const ReconstructionSettings s;
    Frame f;
    const float bright = 45.0f;  // 40 above the clamp
    const int spots[][2] = {{5, 5}, {20, 9}, {11, 30}, {27, 40}, {3, 22}, {17, 17}};
    for (const auto& spot : spots) f.light(spot[0], spot[1])[1] = bright;
    std::vector<float> back = givenBack(s, f);
    const double taken = 6.0 * (bright - s.brightestLight);
    EXPECT_NEAR(sumOver(back, 0, 32, 1), taken, 0.15 * taken);
    EXPECT_EQ(sumOver(back, 0, 32, 0), 0.0);
    EXPECT_EQ(sumOver(back, 32, width, 1), 0.0);
    for (float v : back) ASSERT_LT(v, 0.02f * (bright - s.brightestLight));
    // Neither the split of the cell rows between calls nor the vector target changes a byte.
    const auto same = [&](const std::vector<float>& other) {
        return std::memcmp(back.data(), other.data(), back.size() * sizeof(float)) == 0;
    };
    EXPECT_TRUE(same(givenBack(s, f, 1)));
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        EXPECT_TRUE(same(givenBack(s, f))) << hwy::TargetName(target);
    }
    hwy::SetSupportedTargetsForTest(0);
}

TEST(ClampedLight, WhatCannotBeSpreadIsNotGivenBack) {
    const ReconstructionSettings s;
    struct Case {
        const char* what;
        void (*make)(Frame&);
    };
    const Case cases[] = {
        {"nothing above the clamp", [](Frame&) {}},
        // Most of a cell clamped: the surface is bright all over.
        {"a dense cell",
         [](Frame& f) {
             for (int y = 16; y < 32; ++y)
                 for (int x = 0; x < 16; x += 2) f.light(x, y)[0] = 20.0f;
         }},
        {"beside the light",
         [](Frame& f) {
             f.at(10, 10)[guideObject] = 0.0f;
             f.light(11, 10)[0] = 500.0f;
         }},
        {"seen through glass",
         [](Frame& f) {
             f.at(10, 10)[guideSpecular] = 1.0f;
             f.light(10, 10)[0] = 500.0f;
         }},
        {"not a number, and infinite",
         [](Frame& f) {
             f.light(10, 10)[0] = std::nanf("");
             f.light(12, 10)[1] = INFINITY;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Frame f;
        c.make(f);
        double sum = 0.0;
        for (float v : givenBack(s, f)) sum += v;
        EXPECT_EQ(sum, 0.0);  // a NaN would fail it too
    }
}
