// The window, both display paths and the event handling, in this process
// against a private X server.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/gl_display.h"
#include "app/show_loop.h"
#include "app/surface.h"
#include "app/window.h"
#include "app/x_harness.h"

namespace {

constexpr uint32_t red = 0xff0000, green = 0x00ff00, blue = 0x0000ff;

void* APIENTRY refuseToMap(GLenum, GLenum) {
    return nullptr;
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.running()) << "Xvfb did not start";
        setenv("DISPLAY", server_.name().c_str(), 1);
        unsetenv("SDL_VIDEODRIVER");
    }
    void TearDown() override {
        if (open_) closeWindow();
    }

    void open(bool software) {
        openWindow(software);
        open_ = true;
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        ASSERT_EQ(SDL_GetWMInfo(&info), 1);
        window_ = info.info.x11.window;
        frame_ = info.info.x11.wmwindow;
    }

    std::string caption() {
        char* title = nullptr;
        SDL_WM_GetCaption(&title, nullptr);
        return title ? title : "";
    }

    // Top half red, bottom half blue, a green band on the left.
    void drawMarkedFrame() {
        beginFrame();
        Surface& s = *displaySurface();
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                s.pixels[y * s.pitch + x] = x < 64 ? green : y < s.height / 2 ? red : blue;
        endFrame();
    }

    void fillFrame(uint32_t colour) {
        beginFrame();
        Surface& s = *displaySurface();
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) s.pixels[y * s.pitch + x] = colour;
        endFrame();
    }

    // What the window shows, once the X server has caught up with the swap.
    std::vector<uint32_t> screenWhere(bool (*wanted)(const std::vector<uint32_t>&)) {
        std::vector<uint32_t> pixels;
        for (int attempt = 0; attempt < 40; ++attempt) {
            int width = 0, height = 0;
            pixels = grabWindow(server_.name(), window_, width, height);
            if (width == displayWidth && height == displayHeight && wanted(pixels)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return pixels;
    }

    static uint32_t at(const std::vector<uint32_t>& pixels, int x, int y) {
        return pixels.empty() ? 0xdeadbeef : pixels[y * displayWidth + x];
    }
    static bool showsMarks(const std::vector<uint32_t>& p) {
        return !p.empty() && at(p, 320, 10) == red && at(p, 320, 470) == blue && at(p, 10, 240) == green;
    }

    void expectMarkedFrameUpright() {
        const auto pixels = screenWhere(showsMarks);
        ASSERT_FALSE(pixels.empty());
        EXPECT_EQ(at(pixels, 320, 10), red) << "row 0 belongs at the top";
        EXPECT_EQ(at(pixels, 320, 470), blue);
        EXPECT_EQ(at(pixels, 10, 240), green) << "column 0 belongs on the left";
        EXPECT_EQ(at(pixels, 639, 0), red);
        EXPECT_EQ(at(pixels, 639, 479), blue);
    }

    XServer server_;
    bool open_ = false;
    unsigned long window_ = 0;  // where the picture is drawn
    unsigned long frame_ = 0;   // the top level that takes keys and close requests
};

TEST_F(Window, OpenGLPathStartsBlackAlternatesBuffersAndShowsFramesUpright) {
    open(false);
    ASSERT_TRUE(usingGL()) << "Xvfb's GL offers pixel-buffer objects";
    EXPECT_EQ(caption(), "Template");

    beginFrame();
    const Surface& s = *displaySurface();
    ASSERT_NE(s.pixels, nullptr);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.pitch, 640);
    int lit = 0;
    for (int i = 0; i < 640 * 480; ++i) lit += s.pixels[i] != 0;
    EXPECT_EQ(lit, 0) << "the first frame is black";
    endFrame();

    EXPECT_EQ(currentFrameBuffer(), 0);
    for (int n = 1; n <= 3; ++n) {
        presentDisplay();
        EXPECT_EQ(currentFrameBuffer(), n % 2);
        EXPECT_TRUE(frameBufferMapped());
    }
    EXPECT_EQ(countLitPixels(screenWhere([](const auto& p) { return !p.empty(); })), 0);

    drawMarkedFrame();
    presentDisplay();
    expectMarkedFrameUpright();
}

TEST_F(Window, AFrameBufferThatWillNotMapIsReplacedAndTheFrameStillShows) {
    open(false);
    ASSERT_TRUE(usingGL());
    const auto realMap = __glewMapBuffer;
    __glewMapBuffer = refuseToMap;
    presentDisplay();  // the next buffer fails to map
    __glewMapBuffer = realMap;

    EXPECT_FALSE(frameBufferMapped());
    drawMarkedFrame();  // goes to the stand-in memory
    presentDisplay();
    expectMarkedFrameUpright();

    EXPECT_TRUE(frameBufferMapped()) << "the following buffer maps again";
    fillFrame(0x336699);
    presentDisplay();
    const auto pixels = screenWhere([](const auto& p) { return !p.empty() && p[0] == 0x336699; });
    EXPECT_EQ(at(pixels, 100, 100), 0x336699u);
}

TEST_F(Window, SoftwarePathHasItsCaptionAndShowsFramesUpright) {
    open(true);
    EXPECT_FALSE(usingGL());
    EXPECT_EQ(caption(), "Template - FALLBACK");

    presentDisplay();
    EXPECT_EQ(countLitPixels(screenWhere([](const auto& p) { return !p.empty(); })), 0);

    drawMarkedFrame();
    presentDisplay();
    expectMarkedFrameUpright();
}

TEST_F(Window, EventsAreDrainedToTheEndAndEscOrCloseRequestQuit) {
    open(true);
    auto key = [](SDLKey sym) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = sym;
        return event;
    };
    SDL_Event queued[] = {key(SDLK_a), key(SDLK_ESCAPE), key(SDLK_b)};
    for (SDL_Event& event : queued) SDL_PushEvent(&event);
    EXPECT_TRUE(drainEvents());
    SDL_Event left;
    EXPECT_EQ(SDL_PollEvent(&left), 0) << "events after Esc stay in the queue";

    SDL_Event other = key(SDLK_q);
    SDL_PushEvent(&other);
    EXPECT_FALSE(drainEvents());

    ASSERT_TRUE(requestClose(server_.name(), frame_));
    bool quit = false;
    for (int attempt = 0; attempt < 40 && !quit; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        quit = drainEvents();
    }
    EXPECT_TRUE(quit) << "a close request from the window manager ends the run";
}

TEST_F(Window, HeldCameraKeysAreRead) {
    open(true);
    const std::string target = " --window " + std::to_string(frame_);
    ASSERT_TRUE(runWithDisplay(server_.name(), "xdotool keydown" + target + " w Up n"));
    HeldKeys keys;
    for (int attempt = 0; attempt < 40 && !(keys.w && keys.up && keys.n); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        drainEvents();
        keys = readHeldKeys();
    }
    EXPECT_TRUE(keys.w);
    EXPECT_TRUE(keys.up);
    EXPECT_TRUE(keys.n);
    EXPECT_FALSE(keys.s || keys.a || keys.d || keys.r || keys.f || keys.down || keys.left || keys.right || keys.m);

    ASSERT_TRUE(runWithDisplay(server_.name(), "xdotool keyup" + target + " w Up n"));
    for (int attempt = 0; attempt < 40 && (keys.w || keys.up || keys.n); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        drainEvents();
        keys = readHeldKeys();
    }
    EXPECT_FALSE(keys.w || keys.up || keys.n);
}

TEST(FrameTime, CountsPerMillisecondAreTruncatedBeforeDividing) {
    EXPECT_DOUBLE_EQ(frameMilliseconds(0, 16666667, 1000000000), 16.666667);
    // 3579545 counts per second: 3579 per millisecond, so one second reads a little over 1000 ms.
    EXPECT_DOUBLE_EQ(frameMilliseconds(1000, 1000 + 3579545, 3579545), 3579545.0 / 3579.0);
    EXPECT_DOUBLE_EQ(frameMilliseconds(int64_t(1) << 50, (int64_t(1) << 50) + 500, 1000000), 0.5);
}

}  // namespace
