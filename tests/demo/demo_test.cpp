#include "demo/demo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "demo/surface.h"
#include "kernel/build_setting.h"
#include "render/upscale.h"
#include "demo/overlays.h"
#include "demo/sprite.h"
#include "support/test_demo.h"
#include "support/test_paths.h"
#include "support/check.h"

namespace {

DemoOptions cpuOptions(const std::string& dataDir) {
    DemoOptions options;
    options.dataDir = dataDir;
    options.music = false;
    options.driver.backend = BackendChoice::Cpu;
    return options;
}

}  // namespace

TEST(Demo, LoadsOverlaysInOrderCopiesToThePitchAndEndsAfter106Seconds) {
    // Eight white overlay images, 2 rows high and 10 + index wide, so the load order shows.
    const std::string dir = scratchDir("game_show");
    for (int i = 0; i < overlayCount; ++i)
        std::ofstream(dir + "/" + overlayFileNames[i]) << "P5 " << 10 + i << " 2 255\n"
                                                       << std::string(20 + 2 * i, '\xFF');
    // The display's rows are longer than the frame's: the copy keeps to the pitch.
    constexpr int pitch = 700;
    TestDemo shown(cpuOptions(dir), pitch, 0x00ABCDEFu);
    Demo& demo = shown.demo;
    const std::vector<uint32_t>& pixels = shown.pixels;
    std::string error;
    for (int i = 0; i < overlayCount; ++i) {
        ASSERT_NE(demo.overlays[i], nullptr) << overlayFileNames[i];
        EXPECT_EQ(demo.overlays[i]->frameWidth, 10 + i) << overlayFileNames[i];
    }

    // At t = 1.25 the Greek title (row 40) fades in at 127, the "re" image (row 400) is at full strength.
    EXPECT_EQ(demo.tick(1250.0f, error), TickResult::Running) << error;
    const uint32_t* frame = shown.driver.frameBuffer();
    ASSERT_NE(frame, nullptr);
    const int greekLeft = (640 - (10 + greekOverlayId)) / 2, reLeft = (640 - (10 + reOverlayId)) / 2;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < pitch; ++x) {
            const uint32_t under = x < 640 ? frame[y * 640 + x] : 0x00ABCDEFu;
            const uint32_t add = y / 2 == 20 && x >= greekLeft && x < greekLeft + 10 + greekOverlayId ? 0x7E7E7Eu
                                 : y / 2 == 200 && x >= reLeft && x < reLeft + 10 + reOverlayId       ? 0xFFFFFFu
                                                                                                      : 0u;
            ASSERT_EQ(pixels[y * pitch + x], add ? addPixelSaturated(under, add) : under) << x << "," << y;
        }

    // Run the clock to just before the end without rendering; the next tick crosses 106 s.
    demo.advance(104740.0f);
    ASSERT_LT(demo.show.demoTime, showLengthSeconds);
    EXPECT_EQ(demo.tick(20.0f, error), TickResult::ShowOver);
}

TEST(Demo, OptionalPartsStayOffAndRefusedPartsFailInit) {
    // An empty data folder: with overlays off none is looked for (a missing one fails
    // the set-up).
    DemoOptions options = cpuOptions(scratchDir("game_bare"));
    FrameDriver driver;
    options.overlays = false;
    std::string error;
    EXPECT_TRUE(Demo(options, driver).init(error)) << error;

    options.overlays = true;
    options.music = false;
    EXPECT_FALSE(Demo(options, driver).init(error));
    EXPECT_EQ(error, "File not found: " + options.dataDir + "/logo.png");
#ifndef TPL_HAVE_CUDA
    options.driver.backend = BackendChoice::Cuda;
    options.music = false;
    EXPECT_FALSE(Demo(options, driver).init(error));
    EXPECT_TRUE(contains(error, "CUDA"));
#endif
}

TEST(Demo, ReducedFramesFillTheDisplayAndRefiningAveragesPassesBeforeTheToneCurve) {
    DemoOptions options = cpuOptions(scratchDir("game_refine"));
    options.overlays = false;
    TestDemo shown(options);
    Demo& demo = shown.demo;
    FrameDriver& driver = shown.driver;
    std::vector<uint32_t>& pixels = shown.pixels;
    std::string error;
    demo.advance(0.0f);
    demo.advance(13000.0f);

    // The lowest live setting still fills every display pixel (scaled up), from a small record.
    demo.setRenderSetting(previewSetting());
    std::fill(pixels.begin(), pixels.end(), 0xFF000000u);
    ASSERT_EQ(demo.tick(0.0f, error), TickResult::Running) << error;
    EXPECT_EQ(demo.renderedRecord().width, previewSetting().width);
    EXPECT_EQ(demo.renderedRecord().samplesPerFrame, previewSetting().samples);
    EXPECT_EQ(std::count_if(pixels.begin(), pixels.end(), [](uint32_t v) { return v >> 24 != 0; }), 0);

    // Two refining passes of 16 samples (no filter once they hold a full
    // frame's samples): the picture is the tone curve of the two passes' mean
    // light, pass by pass as the driver renders them.
    const ShowState paused = demo.show;
    const auto pausedTick = [&] {
        demo.show = paused;
        return demo.tick(0.0f, error);
    };
    RenderSetting half = liveSettings().front();
    half.samples = samplesPerFrame / 2;
    demo.setRenderSetting(half);
    demo.setRefining(true);
    driver.setPassCounter(500);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(pausedTick(), TickResult::Running) << error;
    EXPECT_EQ(demo.refinedPasses(), 2);
    const FrameData record = demo.renderedRecord();
    EXPECT_EQ(record.samplesPerFrame, half.samples);
    std::vector<float> mean(640 * 480 * 3, 0.0f);
    std::vector<double> sum(mean.size(), 0.0);
    driver.setPassCounter(500);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(driver.renderFrameWithLayers(record, error)) << error;
        ASSERT_TRUE(driver.layersValid());
        for (size_t v = 0; v < sum.size(); ++v) sum[v] += driver.radiance()[v];
    }
    for (size_t v = 0; v < sum.size(); ++v) mean[v] = static_cast<float>(sum[v] / 2);
    std::vector<uint32_t> want(640 * 480);
    toneAndScale(640, 480, mean.data(), 640, 480, want.data());
    EXPECT_EQ(pixels, want);
    // Another moment starts the sum afresh.
    demo.advance(500.0f);
    ASSERT_EQ(demo.tick(0.0f, error), TickResult::Running) << error;
    EXPECT_EQ(demo.refinedPasses(), 1);
}
