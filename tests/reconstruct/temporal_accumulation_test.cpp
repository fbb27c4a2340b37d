// The history at the render size on real frames: a still scene averages its
// passes, a moving ball keeps its history while what it uncovers starts anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "reconstruct/motion.h"
#include "reconstruct/temporal_accumulation.h"
#include "rendered_frames.h"

namespace {

constexpr int W = 64, H = 48;

struct History {
    std::vector<float> colour = std::vector<float>(3 * W * H), moments = std::vector<float>(2 * W * H),
                       length = std::vector<float>(W * H), variance = std::vector<float>(W * H),
                       guide = std::vector<float>(guideFloats * W * H);
};

// One frame accumulated onto `last` (null: the first frame), reprojected from `before`.
History accumulate(const FrameData& now, const FrameData* before, const FrameLayersCopy& layers,
                   const History* last) {
    History next;
    std::vector<PixelPos> previous(W * H);
    AccumulationInput in;
    in.width = W, in.height = H, in.radiance = layers.radiance.data(), in.guide = layers.guide.data();
    if (last) {
        previousPositions(now, *before, layers.guide.data(), previous.data(), 1);
        in.previous = previous.data();
    }
    HistoryView view;
    if (last) view = {W, H, last->colour.data(), last->moments.data(), last->length.data(), last->guide.data()};
    accumulateRows(ReconstructionSettings{}, in, view,
                   {next.colour.data(), next.moments.data(), next.length.data(), next.variance.data()}, 0, H);
    next.guide = layers.guide;
    return next;
}

// Four frames of the light scene with the ball moved away from the light a
// few pixels a frame: the last history, and the guide of the frame before.
std::pair<History, std::vector<float>> movingBall(int ball) {
    FrameData fd = lightScene(W, H);
    LayerRenderer renderer(fd);
    History history;
    FrameData before = fd;
    std::vector<float> lastGuide;
    for (int f = 0; f < 4; ++f) {
        if (f > 0) fd.sphereX[ball] -= 0.6f;
        const FrameLayersCopy layers = renderer.render(fd);
        if (f == 3) lastGuide = history.guide;
        history = accumulate(fd, &before, layers, f == 0 ? nullptr : &history);
        before = fd;
    }
    return {history, lastGuide};
}

}  // namespace

TEST(TemporalAccumulation, StillSceneAveragesItsPasses) {
    const FrameData fd = lightScene(W, H);
    LayerRenderer renderer(fd);
    constexpr int frames = 5;  // up to 1 / alpha frames the blend is the plain mean
    std::vector<double> sum(3 * W * H, 0.0), sumLuminance2(W * H, 0.0);
    History history;
    for (int f = 0; f < frames; ++f) {
        const FrameLayersCopy layers = renderer.render(fd);
        for (int p = 0; p < W * H; ++p) {
            double l = 0.0;
            for (int c = 0; c < 3; ++c) {
                // The history takes light at most as bright as the display's white.
                const ReconstructionSettings settings;
                const double v = demodulated(std::min(layers.radiance[3 * p + c], settings.brightestLight),
                                             guideValue(layers.guide, p, guideAlbedo + c), settings.smallestAlbedo);
                sum[3 * p + c] += v;
                l += (c == 0 ? 0.2126 : c == 1 ? 0.7152 : 0.0722) * v;
            }
            sumLuminance2[p] += l * l;
        }
        history = accumulate(fd, &fd, layers, f == 0 ? nullptr : &history);
    }
    int noisy = 0;
    for (int p = 0; p < W * H; ++p) {
        ASSERT_NEAR(history.length[p], frames, 1e-4) << "pixel " << p;
        for (int c = 0; c < 3; ++c) {
            const double mean = sum[3 * p + c] / frames;
            ASSERT_NEAR(history.colour[3 * p + c], mean, 1e-4 * std::fabs(mean) + 1e-4) << "pixel " << p << " channel " << c;
        }
        EXPECT_NEAR(history.moments[2 * p + 1], sumLuminance2[p] / frames, 1e-4 * sumLuminance2[p] / frames + 1e-6);
        if (history.variance[p] > 0.0f) ++noisy;
    }
    // The passes differ, so most pixels have a variance to tell.
    EXPECT_GT(noisy, W * H / 4);
}

TEST(TemporalAccumulation, MovingBallKeepsItsHistoryAndWhatItUncoversIsNew) {
    constexpr int ball = 2;
    const auto [history, lastGuide] = movingBall(ball);
    int kept = 0, uncovered = 0, ballPixels = 0;
    for (int p = 0; p < W * H; ++p) {
        const float now = guideValue(history.guide, p, guideObject), was = guideValue(lastGuide, p, guideObject);
        if (now == static_cast<float>(ball)) {
            ++ballPixels;
            // Inside the ball (away from its rim) every tap is the ball's.
            if (history.length[p] > 3.999f) ++kept;
        }
        if (was == static_cast<float>(ball) && now != static_cast<float>(ball)) {
            ++uncovered;
            EXPECT_EQ(history.length[p], 1.0f) << "uncovered pixel " << p << " kept a history";
        }
    }
    ASSERT_GT(ballPixels, 50);
    EXPECT_GT(kept, ballPixels / 2);
    EXPECT_GT(uncovered, 5);
}

TEST(TemporalAccumulation, AShadowMovingOverTheGroundStartsItsHistoryAnew) {
    constexpr int ball = 2;
    const auto [history, lastGuide] = movingBall(ball);
    // The ground is the one object below the balls; its pixels are the
    // most common id in the bottom row.
    const float ground = guideValue(history.guide, static_cast<size_t>(H - 1) * W + W / 2, guideObject);
    int shadowed = 0, lit = 0, changed = 0, keptLit = 0;
    for (int p = 0; p < W * H; ++p) {
        if (guideValue(history.guide, p, guideObject) != ground || guideValue(lastGuide, p, guideObject) != ground)
            continue;
        const float seen = guideValue(history.guide, p, guideLightSeen), was = guideValue(lastGuide, p, guideLightSeen);
        EXPECT_GE(seen, 0.0f);
        EXPECT_LE(seen, 1.0f);
        shadowed += seen < 1.0f;
        if (seen == 1.0f && was == 1.0f) {
            ++lit;
            keptLit += history.length[p] > 3.999f;
        }
        if (seen != was) {
            ++changed;
            EXPECT_EQ(history.length[p], 1.0f) << "pixel " << p << ": the shadow moved, the history stayed";
        }
    }
    // The ball casts a shadow that moved with it; the ground beside it keeps its history.
    EXPECT_GT(shadowed, 10);
    EXPECT_GT(changed, 5);
    ASSERT_GT(lit, 100);
    EXPECT_GT(keptLit, lit * 9 / 10);
}
