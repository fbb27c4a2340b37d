#include "demo/game.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/surface.h"
#include "demo/music.h"
#include "demo/overlays.h"
#include "demo/sprite.h"
#include "support/test_paths.h"

namespace {

// Eight white overlay images, each 2 rows high and 10 + index wide, so the load
// order shows in the sprite widths.
std::string makeDataDir(const std::string& name) {
    const std::string dir = scratchDir(name);
    for (int i = 0; i < overlayCount; ++i) {
        FIBITMAP* bitmap = FreeImage_Allocate(10 + i, 2, 24);
        for (int y = 0; y < 2; ++y) {
            BYTE* line = FreeImage_GetScanLine(bitmap, y);
            for (int x = 0; x < (10 + i) * 3; ++x) line[x] = 255;
        }
        FreeImage_Save(FIF_PNG, bitmap, (dir + "/" + overlayFileNames[i]).c_str(), 0);
        FreeImage_Unload(bitmap);
    }
    return dir;
}

GameOptions cpuOptions(const std::string& dataDir) {
    GameOptions options;
    options.dataDir = dataDir;
    options.music = false;
    options.driver.backend = BackendChoice::Cpu;
    return options;
}

}  // namespace

TEST(Game, RendersCopiesOverlaysAndEndsAfter106Seconds) {
    Game game(cpuOptions(makeDataDir("game_show")));
    std::string error;
    ASSERT_TRUE(game.init(error)) << error;
    Sprite* loaded[overlayCount] = {game.logoOverlay,  game.reOverlay,         game.codingOverlay, game.realtimeOverlay,
                                    game.titleOverlay, game.quorvalingOverlay, game.greekOverlay,  game.greetsOverlay};
    for (int i = 0; i < overlayCount; ++i) {
        ASSERT_NE(loaded[i], nullptr) << overlayFileNames[i];
        EXPECT_EQ(loaded[i]->frameWidth, 10 + i) << overlayFileNames[i];
    }

    std::vector<uint32_t> pixels(640 * 480, 0x00ABCDEFu);
    Surface display(640, 480, pixels.data(), 640);
    game.surface = &display;

    // First tick, t = 0: the "re" image has factor 0, so the display is exactly the frame.
    EXPECT_EQ(game.tick(0.0f), TickResult::Running);
    const uint32_t* frame = frameBuffer();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(pixels, std::vector<uint32_t>(frame, frame + 640 * 480));

    // t = 1.25: the Greek title (row 40) fades in at 127, the "re" image (row 400) is at full strength.
    EXPECT_EQ(game.tick(1250.0f), TickResult::Running);
    const int greekLeft = (640 - (10 + greekOverlayId)) / 2;
    const int reLeft = (640 - (10 + reOverlayId)) / 2;
    int changed = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            uint32_t expected = frame[y * 640 + x];
            if ((y == 40 || y == 41) && x >= greekLeft && x < greekLeft + 10 + greekOverlayId)
                expected = addPixelSaturated(expected, 0x7E7E7Eu);
            if ((y == 400 || y == 401) && x >= reLeft && x < reLeft + 10 + reOverlayId)
                expected = addPixelSaturated(expected, 0xFFFFFFu);
            ASSERT_EQ(pixels[y * 640 + x], expected) << x << "," << y;
            changed += pixels[y * 640 + x] != frame[y * 640 + x];
        }
    EXPECT_GT(changed, 0);

    // Run the clock up to just before the end without rendering; the next tick crosses 106 s.
    game.advance(104740.0f);
    ASSERT_LT(game.demoTime, showLengthSeconds);
    EXPECT_EQ(game.tick(20.0f), TickResult::ShowOver);
}

TEST(Game, OptionalPartsStayOff) {
    // No images and no track in the data folder: with overlays off nothing is
    // loaded, and missing music only costs a console line.
    GameOptions options = cpuOptions(scratchDir("game_bare"));
    options.overlays = false;
    options.music = true;
    Game game(options);
    std::string error;
    testing::internal::CaptureStdout();
    const bool ok = game.init(error);
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok) << error;
    EXPECT_NE(console.find("music off: no music track at " + options.dataDir + "/track.mp3\n"), std::string::npos)
        << console;
    EXPECT_EQ(game.logoOverlay, nullptr);
    EXPECT_EQ(game.greetsOverlay, nullptr);
    EXPECT_FALSE(musicPlaying());
}

#ifndef TPL_HAVE_CUDA
TEST(Game, RefusedCudaBackendFailsInit) {
    GameOptions options = cpuOptions(scratchDir("game_cuda"));
    options.overlays = false;
    options.driver.backend = BackendChoice::Cuda;
    Game game(options);
    std::string error;
    EXPECT_FALSE(game.init(error));
    EXPECT_NE(error.find("CUDA"), std::string::npos) << error;
}
#endif
