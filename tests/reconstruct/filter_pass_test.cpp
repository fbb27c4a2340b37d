// A pass of the filter over one row, on every vector target: the row's pixels
// get the taps' weighted mean (a uniform surface keeps its light to the bit),
// and nothing past the row's last pixel is written, since the next row
// belongs to another thread.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstddef>
#include <vector>

#include "render/filter_taps.h"

namespace {

constexpr float untouched = -7.0f;

struct Planes {
    size_t pw, ph;
    std::vector<float> nx, ny, nz, depth, kind, luminance, r, g, b, variance, deviation;
    std::vector<float> nextR, nextG, nextB, nextLuminance, nextVariance;
    explicit Planes(size_t w, size_t h) : pw(w), ph(h) {
        const size_t n = pw * ph + filterRowSlack;
        nx.assign(n, 0.0f), ny.assign(n, 0.0f), nz.assign(n, 1.0f), depth.assign(n, 3.0f), kind.assign(n, 0.0f);
        // Light that halves and doubles exactly, so the mean is the light itself.
        r.assign(n, 0.5f), g.assign(n, 0.25f), b.assign(n, 2.0f);
        luminance.assign(n, 0.2126f * 0.5f + 0.7152f * 0.25f + 0.0722f * 2.0f);
        variance.assign(n, 0.01f), deviation.assign(n, 0.4f);
        for (std::vector<float>* p : {&nextR, &nextG, &nextB, &nextLuminance, &nextVariance}) p->assign(n, untouched);
    }
    FilterRow row(size_t at) const {
        return {&nx[at], &ny[at], &nz[at], &depth[at], &kind[at], &luminance[at], &r[at], &g[at], &b[at], &variance[at]};
    }
    FilterNext next(size_t at) {
        return {&nextR[at], &nextG[at], &nextB[at], &nextLuminance[at], &nextVariance[at]};
    }
};

FilterKernel kernelOfGap1(size_t pw) {
    FilterKernel k{};
    const float spline[5] = {1.0f / 16.0f, 1.0f / 4.0f, 3.0f / 8.0f, 1.0f / 4.0f, 1.0f / 16.0f};
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            k.offset[5 * j + i] = static_cast<ptrdiff_t>(j - 2) * static_cast<ptrdiff_t>(pw) + (i - 2);
            k.spline[5 * j + i] = spline[i] * spline[j];
        }
    k.taps = filterTaps;
    k.settledDeviation = 0.0f;
    k.brightnessTolerance = 2.0f;
    k.depthScale = 20.0f;
    return k;
}

}  // namespace

TEST(FilterPass, ARowGetsTheMeanOfItsTapsAndNothingPastItIsWritten) {
    // 13 pixels: no whole number of vectors on any target.
    constexpr size_t w = 13, border = 2, pw = w + 2 * border + 40, ph = 5;
    const size_t at = 2 * pw + border;
    const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
    for (int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        for (bool guided : {false, true}) {
            Planes planes(pw, ph);
            const FilterKernel kernel = kernelOfGap1(pw);
            if (guided) {
                varianceFilterPassRow(w, planes.row(at), &planes.deviation[at], kernel, planes.next(at));
            } else {
                // The plain filter knows no variance.
                FilterRow row = planes.row(at);
                FilterNext next = planes.next(at);
                row.variance = nullptr, next.variance = nullptr;
                filterPassRow(w, row, kernel, next);
            }
            const char* what = guided ? "guided" : "plain";
            for (size_t x = 0; x < w; ++x) {
                EXPECT_EQ(planes.nextR[at + x], 0.5f) << hwy::TargetName(target) << ' ' << what << ", pixel " << x;
                EXPECT_EQ(planes.nextG[at + x], 0.25f);
                EXPECT_EQ(planes.nextB[at + x], 2.0f);
                EXPECT_EQ(planes.nextLuminance[at + x], planes.luminance[at + x]);
                // Twenty-five taps of one variance: the mean's is a fraction of it.
                if (guided) {
                    EXPECT_GT(planes.nextVariance[at + x], 0.0f);
                    EXPECT_LT(planes.nextVariance[at + x], 0.01f * 0.25f);
                } else {
                    EXPECT_EQ(planes.nextVariance[at + x], untouched);
                }
            }
            for (size_t x = w; x < w + filterRowSlack && at + x < pw * ph; ++x) {
                EXPECT_EQ(planes.nextR[at + x], untouched) << hwy::TargetName(target) << ' ' << what << ", past " << x;
                EXPECT_EQ(planes.nextLuminance[at + x], untouched);
                EXPECT_EQ(planes.nextVariance[at + x], untouched);
            }
            EXPECT_EQ(planes.nextR[at - 1], untouched);
        }
    }
    hwy::SetSupportedTargetsForTest(0);
}

TEST(FilterPass, APixelNoTapCountsForKeepsItsLight) {
    // Pixels without a normal (zero) are alike to none of their taps, their own included.
    constexpr size_t w = 3, pw = 20, ph = 5;
    Planes planes(pw, ph);
    const size_t at = 2 * pw + 2;
    for (size_t x = 0; x < w; ++x) planes.nz[at + x] = 0.0f, planes.r[at + x] = 0.75f;
    filterPassRow(w, planes.row(at), kernelOfGap1(pw), planes.next(at));
    for (size_t x = 0; x < w; ++x) EXPECT_EQ(planes.nextR[at + x], 0.75f) << "pixel " << x;
}

TEST(FilterPass, PixelsWhoseNoiseIsSettledKeepTheirLightAndTheRestIsFiltered) {
    // Red that varies along the row at one luminance, so that every tap
    // counts and filtering changes it; the first 16 pixels (whole vectors on
    // every target) have a deviation far below their luminance, the rest one
    // well above it.
    constexpr size_t w = 40, pw = 60, ph = 5;
    const size_t at = 2 * pw + 2;
    const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
    for (int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        Planes planes(pw, ph);
        for (size_t q = 0; q < pw * ph; ++q) {
            const size_t x = q % pw;
            planes.r[q] = 0.25f + 0.125f * static_cast<float>(x % 3);
            planes.luminance[q] = 0.3f;
            planes.deviation[q] = x < 2 + 16 ? 0.001f : 0.4f;
        }
        FilterKernel kernel = kernelOfGap1(pw);
        kernel.settledDeviation = 0.1f;
        varianceFilterPassRow(w, planes.row(at), &planes.deviation[at], kernel, planes.next(at));
        for (size_t x = 0; x < 16; ++x) {
            EXPECT_EQ(planes.nextR[at + x], planes.r[at + x]) << hwy::TargetName(target) << ", pixel " << x;
            EXPECT_EQ(planes.nextVariance[at + x], planes.variance[at + x]);
        }
        size_t changed = 0;
        for (size_t x = 16; x < w; ++x) changed += planes.nextR[at + x] != planes.r[at + x];
        EXPECT_GT(changed, 12u) << hwy::TargetName(target) << ": the noisy pixels are filtered";
    }
    hwy::SetSupportedTargetsForTest(0);
}
