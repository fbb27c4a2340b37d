// The show window under a private X server: both display paths in this
// process, and the built program as a user meets it.
#include <gtest/gtest.h>
// After gtest: Xlib's macros clash with its names.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "app/gl_display.h"
#include "app/show_loop.h"
#include "demo/surface.h"
#include "app/window.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace {

constexpr uint32_t red = 0xff0000, green = 0x00ff00, blue = 0x0000ff;
using Pixels = std::vector<uint32_t>;

// Xvfb on a display number it picks itself and reports once it accepts connections.
struct XServer {
    pid_t pid = -1;
    std::string name;
    XServer() {
        int fds[2];
        if (pipe(fds) != 0) return;
        if ((pid = fork()) == 0) {
            dup2(open("/dev/null", O_WRONLY), 2);
            // -noreset: otherwise the server may reset between two clients and refuse the next.
            execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-screen", "0", "1024x768x24",
                   "-noreset", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        if (!number.empty()) name = ":" + number;
        close(fds[0]);
    }
    ~XServer() {
        if (pid > 0 && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
    }
};

// The whole 640 x 480 window as 0xRRGGBB rows; empty while it cannot be read.
Pixels grab(const std::string& display, unsigned long window) {
    Pixels pixels;
    ::Display* x = XOpenDisplay(display.c_str());
    if (!x) return pixels;
    const auto previous = XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
    if (XImage* image = XGetImage(x, window, 0, 0, displayWidth, displayHeight, AllPlanes, ZPixmap)) {
        for (int i = 0; i < displayWidth * displayHeight; ++i)
            pixels.push_back(XGetPixel(image, i % displayWidth, i / displayWidth) & 0xffffff);
        XDestroyImage(image);
    }
    XCloseDisplay(x);
    XSetErrorHandler(previous);
    return pixels;
}

// Polls the window until `wanted` holds or `seconds` of wall-clock time have
// passed. The deadline is generous: on a loaded machine one CPU frame can take
// many seconds, and the poll returns as soon as the picture is there.
template <class Wanted>
Pixels grabWhen(const std::string& display, unsigned long window, Wanted wanted, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    Pixels pixels;
    while (!wanted(pixels = grab(display, window)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return pixels;
}

long lit(const Pixels& p) {
    return std::count_if(p.begin(), p.end(), [](uint32_t c) { return c != 0; });
}

void* APIENTRY refuseToMap(GLenum, GLenum) {
    return nullptr;
}

// Top half red, bottom half blue, a green band on the left: a flipped or
// mirrored upload shows at once. On the OpenGL path the frame is drawn while
// its buffer has failed to map, so it goes through the stand-in memory.
TEST(Window, BothPathsShowABlackFirstFrameThenFramesUpright) {
    XServer server;
    ASSERT_FALSE(server.name.empty()) << "Xvfb did not start";
    setenv("DISPLAY", server.name.c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");
    for (const bool software : {false, true}) {
        SCOPED_TRACE(software ? "software" : "OpenGL");
        std::string error;
        ASSERT_TRUE(openWindow(software, error)) << error;
        ASSERT_EQ(usingGL(), !software) << "Xvfb's GL offers pixel-buffer objects";
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        ASSERT_EQ(SDL_GetWMInfo(&info), 1);
        const unsigned long window = info.info.x11.window;

        presentDisplay();
        const Pixels first = grabWhen(server.name, window, [](const Pixels& p) { return !p.empty(); }, 5);
        EXPECT_TRUE(!first.empty() && lit(first) == 0) << "the first frame is black";
        if (!software) {
            const auto realMap = __glewMapBuffer;
            __glewMapBuffer = refuseToMap;
            presentDisplay();
            __glewMapBuffer = realMap;
            EXPECT_FALSE(frameBufferMapped());
        }
        beginFrame();
        Surface& s = *displaySurface();
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) s.pixels[y * s.pitch + x] = x < 64 ? green : y < s.height / 2 ? red : blue;
        endFrame();
        presentDisplay();
        const Pixels p = grabWhen(server.name, window, [&](const Pixels& q) { return !q.empty() && q[320] == red; }, 5);
        const bool remapped = software || frameBufferMapped();
        closeWindow();
        EXPECT_TRUE(remapped) << "the following buffer maps again";
        ASSERT_FALSE(p.empty());
        EXPECT_EQ(p[320], red) << "row 0 belongs at the top";
        EXPECT_EQ(p[470 * 640 + 320], blue);
        EXPECT_EQ(p[240 * 640 + 10], green) << "column 0 belongs on the left";
        EXPECT_EQ(p[479 * 640 + 639], blue);
    }
}

TEST(FrameTime, CountsPerMillisecondAreTruncatedBeforeDividing) {
    EXPECT_DOUBLE_EQ(frameMilliseconds(0, 16666667, 1000000000), 16.666667);
    // 3579545 counts per second: 3579 per millisecond, so one second reads a little over 1000 ms.
    EXPECT_DOUBLE_EQ(frameMilliseconds(1000, 1000 + 3579545, 3579545), 3579545.0 / 3579.0);
    EXPECT_DOUBLE_EQ(frameMilliseconds(int64_t(1) << 50, (int64_t(1) << 50) + 500, 1000000), 0.5);
}

// The built program at CPU speed (a second or more a frame); `timeout` ends it should it hang.
class ShowProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (programPath().empty()) GTEST_SKIP() << "the program is not part of this build";
    }
    std::future<ProgramResult> start(const std::string& display, std::vector<std::string> args) {
        args.insert(args.begin(), {"timeout", "400", programPath(), "--mute", "--no-overlays", "--backend", "cpu",
                                   "--threads", "2"});
        const std::vector<std::string> env{"DISPLAY=" + display, "SDL_VIDEODRIVER=", "SDL_AUDIODRIVER=dummy"};
        return std::async(std::launch::async, [args, env] { return runProgram(args, env); });
    }
    // The first top-level window whose title matches, waiting for it when asked; 0 if none.
    unsigned long findWindow(const std::string& title, bool wait) {
        std::vector<std::string> args{"timeout", "120", "xdotool", "search", "--name", title};
        if (wait) args.insert(args.begin() + 4, "--sync");
        return std::strtoul(runProgram(args, {"DISPLAY=" + x_.name}).output.c_str(), nullptr, 10);
    }
    XServer x_;
};

// The OpenGL window ends on Esc; the software fallback, titled as such, when the window manager closes it.
TEST_F(ShowProgram, WindowShowsTheSceneAndEscOrClosingEndsTheRun) {
    for (const bool software : {false, true}) {
        SCOPED_TRACE(software ? "software" : "OpenGL");
        auto show = start(x_.name, software ? std::vector<std::string>{"--software"} : std::vector<std::string>{});
        const unsigned long window = findWindow(software ? "^Template - FALLBACK$" : "^Template$", true);
        ASSERT_NE(window, 0u);
        const auto shown = [](const Pixels& p) { return lit(p) > 640 * 480 / 10; };
        EXPECT_GT(lit(grabWhen(x_.name, window, shown, 180)), 640 * 480 / 10) << "the window stayed black";
        if (software) {  // no second window; then what a window manager's close button sends
            EXPECT_EQ(findWindow("^Template$", false), 0u);
            ::Display* x = XOpenDisplay(x_.name.c_str());
            ASSERT_NE(x, nullptr);
            XEvent event{};
            event.xclient = {ClientMessage, 0, True, x, window, XInternAtom(x, "WM_PROTOCOLS", False), 32, {}};
            event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
            XSendEvent(x, window, False, NoEventMask, &event);
            XCloseDisplay(x);
        } else {
            const std::vector<std::string> esc{"xdotool", "key", "--window", std::to_string(window), "Escape"};
            EXPECT_EQ(runProgram(esc, {"DISPLAY=" + x_.name}).exitCode, 0);
        }
        const ProgramResult r = show.get();
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_EQ(r.output.rfind("application started.\n", 0), 0u) << r.output;
    }
}

TEST_F(ShowProgram, StartingNearTheEndRunsToTheEndOfTheShow) {
    const ProgramResult r = start(x_.name, {"--start", "105"}).get();
    EXPECT_EQ(r.exitCode, 0) << r.output;
}

// Unset, and a display no server listens on: refused with one line that points at the headless modes.
TEST_F(ShowProgram, WithoutADisplayRefusesWithAHintAtTheHeadlessModes) {
    for (const std::string display : {"", ":987"}) {
        const ProgramResult r = start(display, {}).get();
        EXPECT_EQ(r.exitCode, 2) << display;
        const size_t at = r.output.find("--still");
        ASSERT_NE(at, std::string::npos) << r.output;
        EXPECT_LT(r.output.find("--capture", at), r.output.find('\n', at)) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 2) << r.output;
    }
}

}  // namespace
