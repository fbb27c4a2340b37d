#include "demo/game.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "demo/surface.h"
#include "kernel/build_setting.h"
#include "scene/upscale.h"
#include "demo/music.h"
#include "demo/overlays.h"
#include "demo/sprite.h"
#include "support/test_paths.h"

namespace {

GameOptions cpuOptions(const std::string& dataDir) {
    GameOptions options;
    options.dataDir = dataDir;
    options.music = false;
    options.driver.backend = BackendChoice::Cpu;
    return options;
}

}  // namespace

TEST(Game, LoadsOverlaysInOrderCopiesToThePitchAndEndsAfter106Seconds) {
    // Eight white overlay images, 2 rows high and 10 + index wide, so the load order shows.
    const std::string dir = scratchDir("game_show");
    for (int i = 0; i < overlayCount; ++i)
        std::ofstream(dir + "/" + overlayFileNames[i]) << "P5 " << 10 + i << " 2 255\n" << std::string(20 + 2 * i, '\xFF');
    Game game(cpuOptions(dir));
    std::string error;
    ASSERT_TRUE(game.init(error)) << error;
    for (int i = 0; i < overlayCount; ++i) {
        ASSERT_NE(game.overlays[i], nullptr) << overlayFileNames[i];
        EXPECT_EQ(game.overlays[i]->frameWidth, 10 + i) << overlayFileNames[i];
    }

    // The display's rows are longer than the frame's: the copy keeps to the pitch.
    // At t = 1.25 the Greek title (row 40) fades in at 127, the "re" image (row 400) is at full strength.
    constexpr int pitch = 700;
    std::vector<uint32_t> pixels(pitch * 480, 0x00ABCDEFu);
    Surface display(640, 480, pixels.data(), pitch);
    game.surface = &display;
    EXPECT_EQ(game.tick(1250.0f, error), TickResult::Running) << error;
    const uint32_t* frame = frameDriver().frameBuffer();
    ASSERT_NE(frame, nullptr);
    const int greekLeft = (640 - (10 + greekOverlayId)) / 2, reLeft = (640 - (10 + reOverlayId)) / 2;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < pitch; ++x) {
            const uint32_t under = x < 640 ? frame[y * 640 + x] : 0x00ABCDEFu;
            const uint32_t add = y / 2 == 20 && x >= greekLeft && x < greekLeft + 10 + greekOverlayId ? 0x7E7E7Eu
                                 : y / 2 == 200 && x >= reLeft && x < reLeft + 10 + reOverlayId    ? 0xFFFFFFu
                                                                                                    : 0u;
            ASSERT_EQ(pixels[y * pitch + x], add ? addPixelSaturated(under, add) : under) << x << "," << y;
        }

    // Run the clock to just before the end without rendering; the next tick crosses 106 s.
    game.advance(104740.0f);
    ASSERT_LT(game.show.demoTime, showLengthSeconds);
    EXPECT_EQ(game.tick(20.0f, error), TickResult::ShowOver);
}

TEST(Game, OptionalPartsStayOffAndRefusedPartsFailInit) {
    // An empty data folder: with overlays off none is looked for (a missing one fails
    // the set-up), and a missing track only costs a console line.
    GameOptions options = cpuOptions(scratchDir("game_bare"));
    options.overlays = false;
    options.music = true;
    std::string error;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Game(options).init(error)) << error;
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("music off: no music track at " + options.dataDir + "/track.mp3\n"), std::string::npos)
        << console;
    EXPECT_FALSE(musicPlaying());

    options.overlays = true;
    options.music = false;
    EXPECT_FALSE(Game(options).init(error));
    EXPECT_EQ(error, "File not found: " + options.dataDir + "/logo.png");
#ifndef TPL_HAVE_CUDA
    options.driver.backend = BackendChoice::Cuda;
    options.music = false;
    EXPECT_FALSE(Game(options).init(error));
    EXPECT_NE(error.find("CUDA"), std::string::npos) << error;
#endif
}

TEST(Game, ReducedFramesFillTheDisplayAndRefiningAveragesPassesBeforeTheToneCurve) {
    GameOptions options = cpuOptions(scratchDir("game_refine"));
    options.overlays = false;
    Game game(options);
    std::string error;
    ASSERT_TRUE(game.init(error)) << error;
    std::vector<uint32_t> pixels(640 * 480, 0u);
    Surface display(640, 480, pixels.data(), 640);
    game.surface = &display;
    game.advance(0.0f);
    game.advance(13000.0f);

    // The lowest live setting still fills every display pixel (scaled up), from a small record.
    game.setRenderSetting(previewSetting());
    std::fill(pixels.begin(), pixels.end(), 0xFF000000u);
    ASSERT_EQ(game.tick(0.0f, error), TickResult::Running) << error;
    EXPECT_EQ(game.renderedRecord().width, previewSetting().width);
    EXPECT_EQ(game.renderedRecord().samplesPerFrame, previewSetting().samples);
    EXPECT_EQ(std::count_if(pixels.begin(), pixels.end(), [](uint32_t v) { return v >> 24 != 0; }), 0);

    // Two refining passes of 16 samples (no filter once they hold a full
    // frame's samples): the picture is the tone curve of the two passes' mean
    // light, pass by pass as the driver renders them.
    const ShowState paused = game.show;
    const auto pausedTick = [&] {
        game.show = paused;
        return game.tick(0.0f, error);
    };
    RenderSetting half = liveSettings().front();
    half.samples = samplesPerFrame / 2;
    game.setRenderSetting(half);
    game.setRefining(true);
    frameDriver().setPassCounter(500);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(pausedTick(), TickResult::Running) << error;
    EXPECT_EQ(game.refinedPasses(), 2);
    const FrameData record = game.renderedRecord();
    EXPECT_EQ(record.samplesPerFrame, half.samples);
    std::vector<float> mean(640 * 480 * 3, 0.0f);
    std::vector<double> sum(mean.size(), 0.0);
    frameDriver().setPassCounter(500);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(frameDriver().renderFrameWithLayers(record, error)) << error;
        ASSERT_TRUE(frameDriver().layersValid());
        for (size_t v = 0; v < sum.size(); ++v) sum[v] += frameDriver().radiance()[v];
    }
    for (size_t v = 0; v < sum.size(); ++v) mean[v] = static_cast<float>(sum[v] / 2);
    std::vector<uint32_t> want(640 * 480);
    toneAndScale(640, 480, mean.data(), 640, 480, want.data());
    EXPECT_EQ(pixels, want);
    // Another moment starts the sum afresh.
    game.advance(500.0f);
    ASSERT_EQ(game.tick(0.0f, error), TickResult::Running) << error;
    EXPECT_EQ(game.refinedPasses(), 1);
}
