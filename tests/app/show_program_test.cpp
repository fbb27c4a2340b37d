// The live show as a user meets it: the built program under a private X server.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/x_harness.h"
#include "support/test_paths.h"

namespace {

// A CPU frame at 640 x 480 takes a second or more on two threads.
const std::vector<std::string> quickShow{"--mute", "--no-overlays", "--backend", "cpu", "--threads", "2"};

std::vector<std::string> withArgs(std::vector<std::string> extra) {
    std::vector<std::string> args = quickShow;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

class ShowProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (programPath().empty()) GTEST_SKIP() << "the program is not part of this build";
        ASSERT_TRUE(server_.running()) << "Xvfb did not start";
    }

    std::unique_ptr<ChildProcess> start(const std::string& name, std::vector<std::string> extra) {
        return std::make_unique<ChildProcess>(
            programPath(), withArgs(std::move(extra)),
            std::map<std::string, std::string>{
                {"DISPLAY", server_.name()}, {"SDL_VIDEODRIVER", ""}, {"SDL_AUDIODRIVER", "dummy"}},
            scratchDir(name));
    }

    // Waits until the window shows more than a black frame.
    int waitForPicture(unsigned long window, double seconds) {
        const auto start = std::chrono::steady_clock::now();
        int lit = 0;
        while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
            int width = 0, height = 0;
            lit = countLitPixels(grabWindow(server_.name(), window, width, height));
            if (lit > 640 * 480 / 10) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return lit;
    }

    XServer server_;
};

TEST_F(ShowProgram, OpenGLWindowShowsTheSceneAndEscEndsTheRun) {
    auto show = start("gl_escape", {});
    const unsigned long window = waitForWindow(server_.name(), "^Template$", 20.0);
    ASSERT_NE(window, 0u) << show->errors();
    EXPECT_GT(waitForPicture(window, 60.0), 640 * 480 / 10) << "the window stayed black";

    ASSERT_TRUE(runWithDisplay(server_.name(), "xdotool key --window " + std::to_string(window) + " Escape"));
    EXPECT_EQ(show->wait(30.0), 1) << show->errors();
    EXPECT_EQ(show->output().rfind("application started.\n", 0), 0u) << show->output();
}

TEST_F(ShowProgram, SoftwareFallbackDrawsAndAClosedWindowEndsTheRun) {
    auto show = start("software_close", {"--software"});
    const unsigned long window = waitForWindow(server_.name(), "^Template - FALLBACK$", 20.0);
    ASSERT_NE(window, 0u) << show->errors();
    EXPECT_EQ(findWindow(server_.name(), "^Template$"), 0u);
    EXPECT_GT(waitForPicture(window, 60.0), 640 * 480 / 10) << "the window stayed black";

    ASSERT_TRUE(requestClose(server_.name(), window));
    EXPECT_EQ(show->wait(30.0), 1) << show->errors();
}

TEST_F(ShowProgram, StartingNearTheEndRunsToTheEndOfTheShow) {
    auto show = start("end_of_show", {"--start", "105"});
    // About one second of show at a second or more per CPU frame.
    EXPECT_EQ(show->wait(240.0), 0) << show->errors();
    EXPECT_EQ(show->output().rfind("application started.\n", 0), 0u) << show->output();
}

// Without a display the program must refuse instead of drawing into the
// terminal, and point at the headless modes.
TEST(ShowWithoutDisplay, RefusesWithAHintAtTheHeadlessModes) {
    if (programPath().empty()) GTEST_SKIP() << "the program is not part of this build";
    // Unset, and set to a display number no server listens on.
    for (const std::string& display : {std::string(), std::string(":987")}) {
        SCOPED_TRACE("DISPLAY='" + display + "'");
        ChildProcess show(programPath(), quickShow, {{"DISPLAY", display}, {"SDL_VIDEODRIVER", ""}},
                          scratchDir("no_display"));
        EXPECT_EQ(show.wait(30.0), 2);
        const std::string errors = show.errors();
        EXPECT_NE(errors.find("--still"), std::string::npos) << errors;
        EXPECT_NE(errors.find("--capture"), std::string::npos) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(show.output(), "application started.\n");
    }
}

}  // namespace
