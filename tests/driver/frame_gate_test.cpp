// The gate a GPU frame must pass, tried on real CPU frames of the show: the CPU
// frame of a pass passes against itself, while the faults a GPU could have
// (another pass's noise, pixels skipped or left black, light or guide values in
// the wrong place or never written) fail it. And the driver's check mode, which
// makes a skipped pixel visible in the first place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "../../bench/frame_gate.h"
#include "anim/show_state.h"
#include "kernel/pixel_guide.h"
#include "render/frame_driver.h"
#include "render/sampler_table.h"
#include "support/check.h"

namespace {

constexpr int width = 64, height = 48, pixels = width * height;
constexpr int tick = 1300;  // 13 s: the pedestal scene, figures and glass in view
constexpr double margin = 10.0, minPsnr = 30.0;

struct Frame {
    std::vector<uint32_t> pixels;
    std::vector<float> light, guide;
};

FrameData recordAt13s() {
    ShowState show;
    startShow(show, nullptr);
    for (int t = 0; t <= tick; ++t) advanceShow(show, t == 0 ? 0.0f : 10.0f);
    FrameData record = show.world.frame;
    setFrameSize(record, width, height);
    return record;
}

Frame renderOnCpu(int pass) {
    static const FrameData record = recordAt13s();
    static const std::vector<unsigned char> table = buildSamplerTable();
    FrameDriver driver;
    std::string why;
    testing::internal::CaptureStdout();
    const bool ready =
        driver.setup(record, table.data(), static_cast<int>(table.size()), DriverOptions{BackendChoice::Cpu, 2}, why);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ready) << why;
    driver.setPassCounter(pass);
    EXPECT_TRUE(driver.renderFrameWithLayers(record, why)) << why;
    EXPECT_TRUE(driver.layersValid());
    return {std::vector<uint32_t>(driver.frameBuffer(), driver.frameBuffer() + pixels),
            std::vector<float>(driver.radiance(), driver.radiance() + pixels * 3),
            std::vector<float>(driver.guide(), driver.guide() + pixels * guideFloats)};
}

const Frame& frameOfThePass() {
    static const Frame frame = renderOnCpu(tick);
    return frame;
}
const Frame& nextPass() {
    static const Frame frame = renderOnCpu(tick + 1);
    return frame;
}

PixelVerdict judge(const std::vector<uint32_t>& device) {
    return judgePixels(device.data(), frameOfThePass().pixels.data(), nextPass().pixels.data(), pixels, margin,
                       minPsnr);
}

// The frame of the pass with every k-th pixel taken from the next pass: what
// rounding does to the few paths it sends elsewhere, in a share of 1/k.
std::vector<uint32_t> withNextPassEvery(int k) {
    std::vector<uint32_t> mixed = frameOfThePass().pixels;
    for (int p = 0; p < pixels; p += k) mixed[p] = nextPass().pixels[p];
    return mixed;
}

TEST(FrameGate, FrameOfThePassPassesAndAnotherPassFails) {
    const PixelVerdict same = judge(frameOfThePass().pixels);
    EXPECT_TRUE(same.passed) << same.why;
    EXPECT_TRUE(std::isinf(same.marginDb) && same.marginDb > 0);
    EXPECT_EQ(same.unwritten, 0u);
    // The frames differ by noise, not by nothing: the yardstick is real.
    ASSERT_TRUE(std::isfinite(same.noiseFloorPsnr));
    EXPECT_LT(same.noiseFloorPsnr, 50.0);

    // A wrong seed or pass number: the noise of another pass, however close in PSNR.
    for (int pass : {tick + 1, tick + 2, tick - 1}) {
        const PixelVerdict other = judge(pass == tick + 1 ? nextPass().pixels : renderOnCpu(pass).pixels);
        EXPECT_FALSE(other.passed) << "pass " << pass;
        EXPECT_LT(other.marginDb, 3.0) << "pass " << pass;
        EXPECT_TRUE(contains(other.why, "above the next pass's"));
    }
}

TEST(FrameGate, RoundingThatMovesFewPathsPassesAndManyFails) {
    // One path in a hundred elsewhere costs about 20 dB of margin, one in four about 6.
    const PixelVerdict few = judge(withNextPassEvery(100));
    EXPECT_TRUE(few.passed) << few.why;
    EXPECT_GT(few.marginDb, 15.0);
    const PixelVerdict many = judge(withNextPassEvery(4));
    EXPECT_FALSE(many.passed);
    EXPECT_LT(many.marginDb, margin);
}

TEST(FrameGate, SkippedOrBlackPixelsFail) {
    // One pixel the kernel never wrote keeps the marker: the channels may even
    // hold the right colour, the top byte gives it away.
    std::vector<uint32_t> skipped = frameOfThePass().pixels;
    skipped[pixels - 1] |= 0xFF000000u;
    PixelVerdict v = judge(skipped);
    EXPECT_FALSE(v.passed);
    EXPECT_EQ(v.unwritten, 1u);
    EXPECT_TRUE(std::isinf(v.difference.psnr)) << "the channels alone cannot tell";
    EXPECT_TRUE(contains(v.why, "1 pixels not written"));

    // The tail of the frame black: the last rows a partial block would miss.
    std::vector<uint32_t> blackTail = frameOfThePass().pixels;
    std::fill(blackTail.end() - 4 * width, blackTail.end(), 0u);
    v = judge(blackTail);
    EXPECT_FALSE(v.passed);
    EXPECT_EQ(v.unwritten, 0u);
    EXPECT_LT(v.marginDb, 0.0);
}

TEST(FrameGate, WhereTwoPassesGiveOneFrameOnlyAnExactFramePasses) {
    const std::vector<uint32_t> flat(256, 0x00406080u);
    std::vector<uint32_t> off = flat;
    off[7] = 0x00406081u;
    const PixelVerdict exact = judgePixels(flat.data(), flat.data(), flat.data(), flat.size(), margin, minPsnr);
    EXPECT_TRUE(exact.passed) << exact.why;
    const PixelVerdict oneLevel = judgePixels(off.data(), flat.data(), flat.data(), flat.size(), margin, minPsnr);
    EXPECT_FALSE(oneLevel.passed);
    EXPECT_TRUE(contains(oneLevel.why, "only an exact frame passes"));
    // The absolute mark holds besides the margin.
    const PixelVerdict belowMark = judgePixels(off.data(), flat.data(), flat.data(), flat.size(), 0.0, 80.0);
    EXPECT_FALSE(belowMark.passed);
    EXPECT_TRUE(contains(belowMark.why, "PSNR below 80 dB"));
}

LightVerdict judgeTheLight(const std::vector<float>& light, const std::vector<uint32_t>& devicePixels) {
    return judgeLight(light.data(), devicePixels.data(), frameOfThePass().light.data(), nextPass().light.data(), pixels,
                      margin);
}

TEST(FrameGate, LightLayer) {
    const Frame& cpu = frameOfThePass();
    LightVerdict v = judgeTheLight(cpu.light, cpu.pixels);
    EXPECT_TRUE(v.passed) << v.why;
    EXPECT_EQ(v.offPixels, 0u) << "the CPU's pixels are the tone curve of its light";
    EXPECT_GT(v.noiseFloor, 0.0);

    // The next pass's light with its own pixels: consistent, but other noise.
    v = judgeTheLight(nextPass().light, nextPass().pixels);
    EXPECT_FALSE(v.passed);
    EXPECT_EQ(v.offPixels, 0u);
    EXPECT_NEAR(v.marginDb, 0.0, 0.01);

    // Light stored one pixel on: every value is near its neighbour's, but the
    // pixels no longer come from it.
    std::vector<float> shifted(cpu.light.begin() + 3, cpu.light.end());
    shifted.insert(shifted.end(), cpu.light.end() - 3, cpu.light.end());
    v = judgeTheLight(shifted, cpu.pixels);
    EXPECT_FALSE(v.passed);
    EXPECT_GT(v.offPixels, static_cast<size_t>(pixels / 10));

    // A value never written reads as the marker, a NaN.
    std::vector<float> skipped = cpu.light;
    std::memset(&skipped[3 * 100 + 1], 0xFF, sizeof(float));
    v = judgeTheLight(skipped, cpu.pixels);
    EXPECT_FALSE(v.passed);
    EXPECT_EQ(v.notFinite, 1u);
    EXPECT_TRUE(contains(v.why, "1 light values not written"));
}

TEST(FrameGate, GuideLayer) {
    const std::vector<float>& cpu = frameOfThePass().guide;
    GuideVerdict v = judgeGuide(cpu.data(), cpu.data(), pixels);
    EXPECT_TRUE(v.passed) << v.why;
    EXPECT_EQ(v.allowed, 4u) << "one in a thousand, rounded up";

    // A few edge pixels that see the surface beside theirs pass; a guide one row off does not.
    std::vector<float> edges = cpu;
    for (int p : {100, 2000}) std::copy_n(&cpu[(p + 1) * guideFloats], guideFloats, &edges[p * guideFloats]);
    v = judgeGuide(edges.data(), cpu.data(), pixels);
    EXPECT_TRUE(v.passed) << v.why;
    std::vector<float> rowOff(cpu.begin() + width * guideFloats, cpu.end());
    rowOff.insert(rowOff.end(), cpu.end() - width * guideFloats, cpu.end());
    v = judgeGuide(rowOff.data(), cpu.data(), pixels);
    EXPECT_FALSE(v.passed);
    EXPECT_GT(v.differing, static_cast<size_t>(pixels / 20));

    // Depths a little off are rounding; the marker where a pixel was skipped is not.
    std::vector<float> rounded = cpu, skipped = cpu;
    for (int p = 0; p < pixels; ++p)
        for (int k : {guideDepth, guideHitDepth}) rounded[p * guideFloats + k] *= 1.0001f;
    v = judgeGuide(rounded.data(), cpu.data(), pixels);
    EXPECT_TRUE(v.passed) << v.why;
    // The first hit's object and the specular flag have no rounding: any
    // change is another surface, in more pixels than edges may account for.
    for (int k : {guideObject, guideSpecular}) {
        std::vector<float> other = cpu;
        for (int p = 0; p < 10; ++p) {
            float& value = other[(37 * p + 11) * guideFloats + k];
            value = k == guideObject ? value + 1.0f : 1.0f - value;
        }
        v = judgeGuide(other.data(), cpu.data(), pixels);
        EXPECT_FALSE(v.passed) << "offset " << k;
        EXPECT_EQ(v.differing, 10u) << "offset " << k;
    }
    std::memset(&skipped[5 * guideFloats], 0xFF, guideFloats * sizeof(float));
    v = judgeGuide(skipped.data(), cpu.data(), pixels);
    EXPECT_FALSE(v.passed);
    EXPECT_EQ(v.notFinite, 1u);
}

// Stands in for a device that shades only the first half of the frame and its
// layers, and records whether the driver asked it to mark its buffers.
struct HalfFrameDevice final : RenderBackend {
    bool* marked;
    explicit HalfFrameDevice(bool* flag) : marked(flag) {}
    std::string describe() const override { return "CUDA, stand-in"; }
    bool upload(const unsigned char*, int, int, std::string&) override { return true; }
    bool render(const FrameData& record, int pass, uint32_t* out, std::string& why) override {
        return renderLayers(record, pass, out, FrameLayers{}, why);
    }
    bool givesLayers() const override { return true; }
    bool renderLayers(const FrameData& record, int, uint32_t* out, const FrameLayers& layers, std::string&) override {
        const int half = record.width * record.height / 2;
        std::fill(out, out + half, 0x00123456u);
        if (layers.radiance) std::fill(layers.radiance, layers.radiance + 3 * half, 0.5f);
        if (layers.guide) std::fill(layers.guide, layers.guide + guideFloats * half, 0.25f);
        return true;
    }
    void setMarkUnwritten(bool on) override { *marked = on; }
};

TEST(FrameGate, CheckModeLeavesNoOldFrameWhereADeviceSkipsPixels) {
    const std::vector<unsigned char> table = buildSamplerTable();
    FrameData record = recordAt13s();
    setFrameSize(record, 32, 16);
    const int n = 32 * 16;
    for (const bool checkMode : {false, true}) {
        SCOPED_TRACE(checkMode ? "check mode" : "normal mode");
        FrameDriver driver;
        DriverOptions options{BackendChoice::Cpu, 2};
        options.markUnwritten = checkMode;
        std::string why;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(driver.setup(record, table.data(), static_cast<int>(table.size()), options, why)) << why;
        testing::internal::GetCapturedStdout();
        // A whole CPU frame first, then the device that skips half of the next one.
        ASSERT_TRUE(driver.renderFrameWithLayers(record, why)) << why;
        const std::vector<uint32_t> previous(driver.frameBuffer(), driver.frameBuffer() + n);
        bool marked = !checkMode;
        ASSERT_TRUE(driver.replaceBackend(std::make_unique<HalfFrameDevice>(&marked), why)) << why;
        EXPECT_EQ(marked, checkMode) << "the driver hands check mode on to the device";
        ASSERT_TRUE(driver.renderFrameWithLayers(record, why)) << why;
        const uint32_t* frame = driver.frameBuffer();
        const PixelVerdict v = judgePixels(frame, previous.data(), previous.data(), n, margin, minPsnr);
        if (!checkMode) {
            // The skipped half still shows the old frame and nothing tells.
            EXPECT_TRUE(std::equal(frame + n / 2, frame + n, previous.begin() + n / 2));
            EXPECT_EQ(v.unwritten, 0u);
            continue;
        }
        EXPECT_EQ(v.unwritten, static_cast<size_t>(n / 2));
        EXPECT_EQ(std::count(frame + n / 2, frame + n, 0xFFFFFFFFu), n / 2);
        EXPECT_EQ(std::count(frame, frame + n / 2, 0x00123456u), n / 2) << "written pixels are kept";
        const LightVerdict light = judgeLight(driver.radiance(), frame, std::vector<float>(3 * n, 0.5f).data(),
                                              std::vector<float>(3 * n, 0.4f).data(), n, margin);
        EXPECT_EQ(light.notFinite, static_cast<size_t>(3 * n / 2));
        const GuideVerdict guide = judgeGuide(driver.guide(), std::vector<float>(guideFloats * n, 0.25f).data(), n);
        EXPECT_EQ(guide.notFinite, static_cast<size_t>(n / 2));
    }
}

}  // namespace
