// The whole reconstruction on real frames of the show: the same bytes for
// any thread count and vector target and whether the layers are written over
// after each frame (the history keeps what it needs), history dropped on a size change, and a still picture
// that converges where the render has the output's size.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "anim/show_replay.h"
#include "kernel/render_pixel.h"
#include "reconstruct/image_plane.h"
#include "reconstruct/reconstruction.h"
#include "rendered_frames.h"

namespace {

// Frames of the show from tick 390 (13 s) on, rendered at w x h with the
// frame's jitter, reconstructed at ow x oh. overwritten: each frame's layers
// are written over once the frame is reconstructed, as the renderer's next
// frame writes over them.
std::vector<std::vector<uint32_t>> showFrames(int threads, int frames, int w, int h, int ow, int oh,
                                              bool overwritten = false) {
    ShowState show;
    startShow(show, nullptr);
    int tick = replayShow(show, 0, 390, 33.333333f);
    ReconstructionSettings settings;
    settings.threads = threads;
    Reconstruction rec(settings);
    std::vector<std::vector<uint32_t>> out;
    std::unique_ptr<LayerRenderer> renderer;
    std::vector<float> radiance, guide;
    for (int f = 0; f < frames; ++f) {
        tick = replayShow(show, tick, tick + 1, 33.333333f);
        FrameData view = show.world.frame;
        view.samplesPerFrame = 4;
        setFrameSize(view, ow, oh);
        FrameData base = view;
        setFrameSize(base, w, h);
        const PixelPos jitter = jitterOffset(f);
        const FrameData rendered = jitteredRecord(base, jitter.x, jitter.y);
        if (!renderer) renderer = std::make_unique<LayerRenderer>(rendered);
        const FrameLayersCopy layers = renderer->render(rendered);
        out.emplace_back(static_cast<size_t>(ow) * oh);
        if (!overwritten) {
            rec.addFrame(rendered, view, layers.radiance.data(), layers.guide.data(), out.back().data());
            continue;
        }
        radiance = layers.radiance, guide = layers.guide;
        rec.addFrame(rendered, view, radiance.data(), guide.data(), out.back().data());
        std::fill(radiance.begin(), radiance.end(), std::numeric_limits<float>::quiet_NaN());
        std::fill(guide.begin(), guide.end(), std::numeric_limits<float>::quiet_NaN());
    }
    return out;
}

}  // namespace

// Sizes whose rows are no whole number of vectors, so the rows' ends are
// computed apart on every target.
TEST(Reconstruction, SameBytesForAnyThreadCountAndVectorTarget) {
    const auto one = showFrames(1, 5, 42, 30, 86, 60);
    const auto same = [&](const std::vector<std::vector<uint32_t>>& other, const std::string& what) {
        ASSERT_EQ(other.size(), one.size());
        for (size_t f = 0; f < one.size(); ++f)
            EXPECT_EQ(std::memcmp(one[f].data(), other[f].data(), one[f].size() * sizeof(uint32_t)), 0)
                << what << ", frame " << f;
    };
    for (int threads : {2, 7}) same(showFrames(threads, 5, 42, 30, 86, 60), std::to_string(threads) + " threads");
    same(showFrames(2, 5, 42, 30, 86, 60, true), "the layers written over after each frame");
    const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
    EXPECT_GE(targets.size(), 2u) << "the reconstruction is built for several vector targets";
    for (int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        same(showFrames(2, 5, 42, 30, 86, 60), hwy::TargetName(target));
    }
    hwy::SetSupportedTargetsForTest(0);
}

TEST(Reconstruction, ASizeChangeDropsTheHistory) {
    FrameData small = lightScene(32, 24), large = lightScene(48, 36);
    LayerRenderer renderer(small);
    Reconstruction rec;
    std::vector<uint32_t> out(64 * 48);
    FrameData view = lightScene(64, 48);
    for (int f = 0; f < 3; ++f) {
        const FrameLayersCopy layers = renderer.render(small);
        rec.addFrame(small, view, layers.radiance.data(), layers.guide.data(), out.data());
    }
    int longer = 0;
    for (float l : rec.historyLength()) longer += l > 2.5f;
    EXPECT_GT(longer, 32 * 24 / 2);
    const FrameLayersCopy layers = renderer.render(large);
    rec.addFrame(large, view, layers.radiance.data(), layers.guide.data(), out.data());
    ASSERT_EQ(rec.historyLength().size(), 48u * 36u);
    for (float l : rec.historyLength()) ASSERT_EQ(l, 1.0f);
    // And reset() drops it at the same size.
    rec.addFrame(large, view, layers.radiance.data(), layers.guide.data(), out.data());
    rec.reset();
    rec.addFrame(large, view, layers.radiance.data(), layers.guide.data(), out.data());
    for (float l : rec.historyLength()) ASSERT_EQ(l, 1.0f);
}

// Penumbrae follow faster only while the light moves: with it still, the
// setting changes nothing.
TEST(Reconstruction, PenumbraeFollowOnlyAMovingLight) {
    constexpr int W = 48, H = 36;
    const auto frames = [&](float lightStep, float penumbraAlpha) {
        FrameData fd = lightScene(W, H);
        LayerRenderer renderer(fd);
        ReconstructionSettings settings;
        settings.penumbraAlpha = penumbraAlpha;
        Reconstruction rec(settings);
        std::vector<uint32_t> out(W * H);
        for (int f = 0; f < 6; ++f) {
            fd.sphereX[0] += lightStep;
            const FrameLayersCopy layers = renderer.render(fd);
            rec.addFrame(fd, fd, layers.radiance.data(), layers.guide.data(), out.data());
        }
        return out;
    };
    EXPECT_EQ(frames(0.0f, 0.0f), frames(0.0f, 1.0f));
    EXPECT_NE(frames(0.02f, 0.0f), frames(0.02f, 1.0f));
}

TEST(Reconstruction, AStillPictureAtTheOutputSizeConvergesTowardsManyPasses) {
    constexpr int W = 48, H = 36;
    const FrameData fd = lightScene(W, H);
    LayerRenderer renderer(fd);
    Reconstruction rec;
    std::vector<uint32_t> out(W * H), first(W * H);
    std::vector<double> reference(3 * W * H, 0.0), sum(3 * W * H, 0.0);
    constexpr int frames = 24, referencePasses = 64;
    for (int f = 0; f < frames; ++f) {
        const FrameLayersCopy layers = renderer.render(fd);
        rec.addFrame(fd, fd, layers.radiance.data(), layers.guide.data(), out.data());
        for (int i = 0; i < 3 * W * H; ++i) sum[i] += layers.radiance[i];
        if (f == 0) first = out;
    }
    for (int f = 0; f < referencePasses; ++f) {
        const FrameLayersCopy layers = renderer.render(fd);
        for (int i = 0; i < 3 * W * H; ++i) reference[i] += layers.radiance[i] / referencePasses;
    }
    // Squared byte error against the many passes' picture, per channel.
    auto error = [&](const std::vector<uint32_t>& picture) {
        double squares = 0.0;
        for (int p = 0; p < W * H; ++p) {
            const uint32_t ref = packLight({float(reference[3 * p]), float(reference[3 * p + 1]), float(reference[3 * p + 2])});
            for (int shift : {0, 8, 16}) {
                const double d = double((picture[p] >> shift) & 0xFFu) - double((ref >> shift) & 0xFFu);
                squares += d * d;
            }
        }
        return squares / (3.0 * W * H);
    };
    // The first frame is the filtered render alone; the history must do better than that.
    std::vector<uint32_t> mean(W * H);
    for (int p = 0; p < W * H; ++p) mean[p] = packLight({float(sum[3 * p] / frames), float(sum[3 * p + 1] / frames), float(sum[3 * p + 2] / frames)});
    EXPECT_LT(error(out), error(first) / 2) << error(out) << " against " << error(first) << " mean " << error(mean);
    // ...and not fall far behind the plain mean of the frames (the filter's
    // blur fed back into the history made it nine times the mean's).
    EXPECT_LT(error(out), 4.0 * error(mean)) << error(out) << " against the mean's " << error(mean);
}
