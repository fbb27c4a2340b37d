// The history at the render size on real frames: a still scene averages its
// passes, a moving ball keeps its history while what it uncovers starts anew,
// and every vector target and split into bands writes the same bytes.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
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
                       guide = std::vector<float>(guideFloats * W * H),
                       surface = std::vector<float>(surfacePlanes * W * H);
};

// One frame accumulated onto `last` (null: the first frame), reprojected from `before`.
// toView / lastToView: the maps into the output view (null: none, every history weighs alike).
History accumulate(const FrameData& now, const FrameData* before, const FrameLayersCopy& layers,
                   const History* last, float penumbraAlpha = 0.0f, const PixelMap* toView = nullptr,
                   const PixelMap* lastToView = nullptr) {
    History next;
    std::vector<PixelPos> previous(W * H);
    AccumulationInput in;
    in.width = W, in.height = H, in.radiance = layers.radiance.data(), in.guide = layers.guide.data();
    in.penumbraAlpha = penumbraAlpha;
    in.toView = toView, in.lastToView = lastToView;
    if (last) {
        previousPositions(now, *before, layers.guide.data(), previous.data(), 1);
        in.previous = previous.data();
    }
    HistoryView view;
    if (last) view = {W, H, last->colour.data(), last->moments.data(), last->length.data(), last->surface.data()};
    accumulateRows(ReconstructionSettings{}, in, view,
                   {next.colour.data(), next.moments.data(), next.length.data(), next.variance.data(), nullptr,
                    next.surface.data()},
                   0, H);
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

TEST(TemporalAccumulation, WhileTheLightMovesPenumbraeTakeMoreOfTheNewLight) {
    FrameData fd = lightScene(W, H);
    LayerRenderer renderer(fd);
    History history;
    for (int f = 0; f < 8; ++f) history = accumulate(fd, &fd, renderer.render(fd), f == 0 ? nullptr : &history);
    FrameData moved = fd;
    moved.sphereX[0] += 0.05f;  // the light
    const FrameLayersCopy layers = renderer.render(moved);
    const History still = accumulate(moved, &fd, layers, &history), followed = accumulate(moved, &fd, layers, &history, 0.7f);
    const ReconstructionSettings settings;
    int penumbra = 0, nearer = 0, lit = 0;
    for (int p = 0; p < W * H; ++p) {
        if (still.length[p] < 4.0f) continue;  // a history was kept
        const float seen = guideValue(layers.guide, p, guideLightSeen);
        // Lit, and so were the pixels around it: nothing to follow.
        bool allLit = true;
        for (int j = -1; j <= 1; ++j)
            for (int i = -1; i <= 1; ++i) {
                const int x = std::clamp(p % W + i, 0, W - 1), y = std::clamp(p / W + j, 0, H - 1);
                allLit = allLit && guideValue(history.guide, static_cast<size_t>(y) * W + x, guideLightSeen) == 1.0f;
            }
        if (seen == 1.0f && allLit) {
            ++lit;
            for (int c = 0; c < 3; ++c) ASSERT_EQ(followed.colour[3 * p + c], still.colour[3 * p + c]) << "pixel " << p;
            continue;
        }
        if (!(seen > 0.0f && seen < 1.0f)) continue;
        ++penumbra;
        bool closer = false;
        for (int c = 0; c < 3; ++c) {
            const float light = demodulated(std::min(layers.radiance[3 * p + c], settings.brightestLight),
                                            guideValue(layers.guide, p, guideAlbedo + c), settings.smallestAlbedo);
            const float was = std::fabs(still.colour[3 * p + c] - light), now = std::fabs(followed.colour[3 * p + c] - light);
            EXPECT_LE(now, was + 1e-6f) << "pixel " << p << " channel " << c;
            closer = closer || now < was;
        }
        nearer += closer;
    }
    ASSERT_GT(penumbra, 10);
    EXPECT_GT(nearer, penumbra / 2);
    EXPECT_GT(lit, W * H / 4);
}

// A long history of a still scene takes stillAlpha of the new frame where the
// surface stood still in the view, alpha where it moved by movingPixels or
// more, and in between as far as it moved.
TEST(TemporalAccumulation, AHistoryThatStoodStillWeighsMoreThanOneThatMoved) {
    const FrameData fd = lightScene(W, H);
    LayerRenderer renderer(fd);
    History history;
    constexpr int frames = 24;  // 1 / 25 is below stillAlpha
    for (int f = 0; f < frames; ++f) history = accumulate(fd, &fd, renderer.render(fd), f == 0 ? nullptr : &history);
    const FrameLayersCopy layers = renderer.render(fd);
    const ReconstructionSettings settings;
    const PixelMap view = pixelMap(fd, fd);
    const auto shiftedBy = [&](float pixels) {
        PixelMap m = view;
        m.origin.x += pixels;
        return m;
    };
    const PixelMap half = shiftedBy(0.5f * settings.movingPixels), whole = shiftedBy(settings.movingPixels),
                   twice = shiftedBy(2.0f * settings.movingPixels);
    const History still = accumulate(fd, &fd, layers, &history, 0.0f, &view, &view);
    const History between = accumulate(fd, &fd, layers, &history, 0.0f, &view, &half);
    const History moved = accumulate(fd, &fd, layers, &history, 0.0f, &view, &whole);
    const History farther = accumulate(fd, &fd, layers, &history, 0.0f, &view, &twice);
    const History plain = accumulate(fd, &fd, layers, &history);
    int measured = 0;
    for (int p = 0; p < W * H; ++p) {
        if (history.length[p] < frames - 0.001f || guideValue(layers.guide, p, guideSpecular) != 0.0f) continue;
        for (int c = 0; c < 3; ++c) {
            const float light = demodulated(std::min(layers.radiance[3 * p + c], settings.brightestLight),
                                            guideValue(layers.guide, p, guideAlbedo + c), settings.smallestAlbedo);
            const float was = history.colour[3 * p + c], step = light - was;
            if (std::fabs(step) < 0.05f * std::fabs(was) + 1e-3f) continue;
            ++measured;
            const auto weight = [&](const History& h) { return (h.colour[3 * p + c] - was) / step; };
            ASSERT_NEAR(weight(still), settings.stillAlpha, 1e-3f) << "pixel " << p;
            ASSERT_NEAR(weight(between), 0.5f * (settings.stillAlpha + settings.alpha), 1e-3f) << "pixel " << p;
            ASSERT_NEAR(weight(moved), settings.alpha, 1e-3f) << "pixel " << p;
            ASSERT_NEAR(weight(farther), settings.alpha, 1e-3f) << "pixel " << p;
            ASSERT_EQ(plain.colour[3 * p + c], moved.colour[3 * p + c]) << "pixel " << p << ": without the views, as moved";
        }
    }
    EXPECT_GT(measured, W * H / 4);
}

// A frame whose rows are no whole number of vectors (so each row ends in a
// part vector on every target), the camera and a ball moved since the last,
// so that the taps fall between pixels, some history is dropped and the caps
// count.
TEST(TemporalAccumulation, SameBytesOnEveryVectorTargetAndInAnyBands) {
    constexpr int w = 45, h = 29;
    const size_t n = static_cast<size_t>(w) * h;
    FrameData before = lightScene(w, h);
    LayerRenderer renderer(before);
    const FrameLayersCopy last = renderer.render(before);
    FrameData now = before;
    now.camPosition[0] += 0.13f;
    now.camPosition[1] += 0.07f;
    now.sphereX[2] -= 0.5f;
    const FrameLayersCopy layers = renderer.render(now);

    const ReconstructionSettings settings;
    std::vector<float> colour(3 * n), moments(2 * n), length(n), variance(n), surface(surfacePlanes * n);
    AccumulationInput first;
    first.width = w, first.height = h, first.radiance = last.radiance.data(), first.guide = last.guide.data();
    accumulateRows(settings, first, HistoryView{},
                   {colour.data(), moments.data(), length.data(), variance.data(), nullptr, surface.data()}, 0, h);

    std::vector<PixelPos> previous(n);
    previousPositions(now, before, layers.guide.data(), previous.data(), 1);
    std::vector<float> cap(n);
    for (size_t p = 0; p < n; ++p) cap[p] = 1.0f + static_cast<float>(p % 5);
    AccumulationInput in;
    in.width = w, in.height = h, in.radiance = layers.radiance.data(), in.guide = layers.guide.data();
    in.previous = previous.data(), in.lengthCap = cap.data(), in.cameraStep = 0.01f;
    // The views as the show has them: each surface weighs its history by how far it moved.
    const PixelMap toView = pixelMap(now, now), lastToView = pixelMap(before, before);
    in.toView = &toView, in.lastToView = &lastToView;
    const HistoryView history{w, h, colour.data(), moments.data(), length.data(), surface.data()};

    struct Out {
        std::vector<float> colour, moments, length, variance;
    };
    const auto run = [&](std::initializer_list<int> bands) {
        Out o{std::vector<float>(3 * n, -1.0f), std::vector<float>(2 * n, -1.0f), std::vector<float>(n, -1.0f),
              std::vector<float>(n, -1.0f)};
        int y0 = 0;
        for (int y1 : bands) {
            accumulateRows(settings, in, history, {o.colour.data(), o.moments.data(), o.length.data(), o.variance.data()},
                           y0, y1);
            y0 = y1;
        }
        return o;
    };
    const Out best = run({h});
    int kept = 0, dropped = 0, capped = 0;
    for (size_t p = 0; p < n; ++p) {
        kept += best.length[p] > 1.0f;
        dropped += best.length[p] == 1.0f;
        capped += best.length[p] == cap[p] && cap[p] < 3.0f;
    }
    // The frame exercises both paths (and the caps), or equal bytes say little.
    ASSERT_GT(kept, static_cast<int>(n) / 2);
    ASSERT_GT(dropped, 20);
    ASSERT_GT(capped, 20);
    const auto same = [&](const Out& o, const std::string& what) {
        EXPECT_EQ(std::memcmp(o.colour.data(), best.colour.data(), 3 * n * sizeof(float)), 0) << what << ": colour";
        EXPECT_EQ(std::memcmp(o.moments.data(), best.moments.data(), 2 * n * sizeof(float)), 0) << what << ": moments";
        EXPECT_EQ(std::memcmp(o.length.data(), best.length.data(), n * sizeof(float)), 0) << what << ": length";
        EXPECT_EQ(std::memcmp(o.variance.data(), best.variance.data(), n * sizeof(float)), 0) << what << ": variance";
    };
    same(run({1, 2, 13, 28, h}), "bands");
    const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
    EXPECT_GE(targets.size(), 2u) << "the accumulation is built for several vector targets";
    for (int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        same(run({h}), hwy::TargetName(target));
        same(run({7, 8, h}), std::string(hwy::TargetName(target)) + " in bands");
    }
    hwy::SetSupportedTargetsForTest(0);
}
