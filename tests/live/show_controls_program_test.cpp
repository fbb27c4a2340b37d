// The show's control keys as a user meets them: the built program in a window
// under a private X server, its music recorded by SDL's disk audio driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

#include "demo/readout_font.h"
#include "support/disk_audio.h"
#include "support/run_program.h"
#include "support/test_paths.h"
#include "support/x_server.h"
#include "support/check.h"

namespace {

constexpr int width = 640, height = 480;

// Polls the window until `wanted` holds (a CPU frame can take seconds) for a
// whole picture. A loaded X server can be read halfway through putting a frame
// up, so a grab only counts once one a moment later agrees with it.
template <class Wanted>
Pixels grabWhen(const std::string& display, unsigned long window, Wanted wanted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        const Pixels p = grabWindowWhen(display, window, width, height, std::max(left, 0.0), wanted);
        if (!wanted(p) || left <= 0.0) return p;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        if (grabWindow(display, window, width, height) == p) return p;
    }
}

// The next frame presented after `shown`: every frame differs from the last,
// if only in the readout's frame time and the tracer's noise.
Pixels nextFrame(const std::string& display, unsigned long window, const Pixels& shown) {
    return grabWhen(display, window, [&](const Pixels& p) { return !p.empty() && p != shown; });
}

// The readout's box in the top-left corner: 4 pixels in, its text 3 more.
bool inReadout(int x, int y) {
    return x < 320 && y < 60;
}

// Reads a line of the readout back from the picture, letter by letter; "" where
// a cell matches no glyph, so a line that is not there reads as nothing.
std::string readoutLine(const Pixels& p, int line) {
    std::string text;
    for (int cell = 0; cell < 50 && !p.empty(); ++cell) {
        const int left = 7 + cell * glyphAdvance, top = 7 + line * textLineHeight;
        uint8_t rows[glyphHeight] = {};
        for (int y = 0; y < glyphHeight; ++y)
            for (int x = 0; x < glyphWidth; ++x)
                rows[y] |= (p[(top + y) * width + left + x] == textColour) << (glyphWidth - 1 - x);
        char found = 0;
        for (char c = ' '; c <= '_' && !found; ++c)
            if (std::equal(rows, rows + glyphHeight, glyphRows(c))) found = c;
        if (!found) return "";
        text += found;
    }
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// The demo clock on the readout's fourth line ("T 13.25 S", "  PAUSED" after it while paused).
std::string clockLine(const Pixels& p) {
    return readoutLine(p, 3);
}
float clockSeconds(const Pixels& p) {
    const std::string line = clockLine(p);
    return line.size() > 2 ? std::strtof(line.c_str() + 2, nullptr) : -1.0f;
}
bool pausedOn(const Pixels& p) {
    const std::string line = clockLine(p);
    return line.size() > 8 && line.compare(line.size() - 8, 8, "  PAUSED") == 0;
}

// The share of the picture, the readout left out, where a channel moved by more than 64.
double changedShare(const Pixels& a, const Pixels& b) {
    long changed = 0, all = 0;
    for (int i = 0; i < width * height; ++i) {
        if (inReadout(i % width, i / width)) continue;
        ++all;
        for (int shift : {0, 8, 16})
            if (std::abs(int(a[i] >> shift & 0xff) - int(b[i] >> shift & 0xff)) > 64) {
                ++changed;
                break;
            }
    }
    return static_cast<double>(changed) / all;
}

}  // namespace

TEST(ShowControlsProgram, SpacePausesPictureAndMusicArrowsJumpAndIShowsTheReadout) {
    if (programPath().empty()) GTEST_SKIP() << "the program is not part of this build";
    XServer server;
    ASSERT_FALSE(server.name.empty()) << "Xvfb did not start";
    const std::string& x = server.name;
    const std::string audio = scratchDir("show_controls_program") + "/audio.raw";
    const std::vector<std::string> args{"timeout",   "550", programPath(), "--no-overlays", "--backend", "cpu",
                                        "--threads", "2",   "--quality",   "exact",         "--start",   "20"};
    const std::vector<std::string> env{"DISPLAY=" + x, "SDL_VIDEODRIVER=", "SDL_AUDIODRIVER=disk",
                                       "SDL_DISKAUDIOFILE=" + audio, "SDL_DISKAUDIODELAY=23"};
    auto show = std::async(std::launch::async, [&] { return runProgram(args, env); });
    const std::vector<std::string> search{"timeout", "120", "xdotool", "search", "--sync", "--name", "^Template$"};
    const unsigned long window = std::strtoul(runProgram(search, {"DISPLAY=" + x}).output.c_str(), nullptr, 10);
    ASSERT_NE(window, 0u);
    const auto press = [&](const std::string& key) {
        EXPECT_EQ(runProgram({"xdotool", "key", "--window", std::to_string(window), key}, {"DISPLAY=" + x}).exitCode,
                  0);
    };
    // Should a check give up early, Esc ends the show rather than its time limit.
    struct EndShow {
        std::function<void()> end;
        ~EndShow() { end(); }
    } endShow{[&] { runProgram({"xdotool", "key", "--window", std::to_string(window), "Escape"}, {"DISPLAY=" + x}); }};
    // The first frame after which the clock reads the same on two frames in a row.
    // (A frame whose clock cannot be read does not count; a window that stops changing ends the wait.)
    const auto settled = [&](Pixels p) {
        for (;;) {
            Pixels next = nextFrame(x, window, p);
            if (next == p || (!clockLine(p).empty() && clockLine(next) == clockLine(p))) return p;
            p = std::move(next);
        }
    };
    // Once the clock reads otherwise than on `from`, where it comes to rest.
    const auto movedFrom = [&](const Pixels& from) {
        return settled(grabWhen(
            x, window, [&](const Pixels& p) { return !clockLine(p).empty() && clockLine(p) != clockLine(from); }));
    };

    const Pixels first = grabWhen(x, window, [](const Pixels& p) {
        return std::count_if(p.begin(), p.end(), [](uint32_t c) { return c != 0; }) > width * height / 10;
    });
    EXPECT_EQ(clockLine(first), "") << "a readout before I";
    press("i");
    const Pixels running = grabWhen(x, window, [](const Pixels& p) { return !clockLine(p).empty(); });
    ASSERT_FALSE(clockLine(running).empty()) << "no readout after I";
    EXPECT_TRUE(contains(readoutLine(running, 0), " FPS  "));
    EXPECT_TRUE(contains(readoutLine(running, 1), " SPP  640X480"));
    EXPECT_EQ(readoutLine(running, 2).rfind("CPU, 2 THREADS", 0), 0u) << readoutLine(running, 2);
    EXPECT_GE(clockSeconds(running), 20.0f) << clockLine(running);
    EXPECT_FALSE(pausedOn(running));
    const Pixels runningOn = nextFrame(x, window, running);
    EXPECT_GT(clockSeconds(runningOn), clockSeconds(running)) << "the clock runs";

    // The frame being made when the key comes still runs on; then the clock stops.
    press("space");
    const Pixels paused = settled(runningOn);
    ASSERT_TRUE(pausedOn(paused)) << clockLine(paused);
    const long pausedAudio = recordedBytes(audio);
    const Pixels later = nextFrame(x, window, nextFrame(x, window, paused));
    EXPECT_EQ(clockLine(later), clockLine(paused));
    EXPECT_LT(changedShare(paused, later), 0.02) << "paused, frames differ by the tracer's noise only";
    const long second = diskAudioSecond;
    ASSERT_TRUE(waitForRecorded(audio, pausedAudio + second));

    // Jumps while paused land on another moment, still paused: three forward,
    // then one back. A key at a time: keys sent to a window carry no time, and
    // SDL takes a release and a press of one key at the same time for a key
    // repeat, so a second press before the show reads the first would be lost.
    // A jump goes 5 s from where the show stands and ends on the first 10 ms step
    // at or past its target, so each landing is measured from the one before
    // (the overshoots add up over several jumps). The float clock summed from the
    // start drifts a few milliseconds more, and the readout rounds to 10 ms.
    constexpr float landing = 0.03f;
    Pixels ahead = later;
    for (int jump = 1; jump <= 3; ++jump) {
        press("Right");
        const Pixels from = ahead;
        ahead = movedFrom(from);
        EXPECT_TRUE(pausedOn(ahead)) << clockLine(ahead);
        EXPECT_NEAR(clockSeconds(ahead), clockSeconds(from) + 5.0f, landing) << clockLine(ahead);
    }
    EXPECT_NEAR(clockSeconds(ahead), clockSeconds(paused) + 15.0f, 3 * landing) << clockLine(ahead);
    EXPECT_GT(changedShare(paused, ahead), 0.2) << "the picture 15 s later";
    press("Left");
    const Pixels back = movedFrom(ahead);
    EXPECT_NEAR(clockSeconds(back), clockSeconds(ahead) - 5.0f, landing) << clockLine(back);

    // Going on: the clock runs from there and the music plays again.
    press("space");
    const Pixels resumed = grabWhen(x, window, [](const Pixels& p) { return !clockLine(p).empty() && !pausedOn(p); });
    EXPECT_FALSE(pausedOn(resumed)) << clockLine(resumed);
    EXPECT_GT(clockSeconds(resumed), clockSeconds(back));
    EXPECT_GT(clockSeconds(nextFrame(x, window, resumed)), clockSeconds(resumed));
    const long resumedAudio = recordedBytes(audio);
    ASSERT_TRUE(waitForRecorded(audio, resumedAudio + second));

    press("Escape");
    const ProgramResult result = show.get();
    EXPECT_EQ(result.exitCode, 1) << result.output;

    const Recording recording(audio);
    const auto peak = [&](long from, long to) { return recording.peak(from, to); };
    EXPECT_GT(peak(0, pausedAudio - second / 4), 2000) << "the music played before the pause";
    EXPECT_LT(peak(pausedAudio + second / 10, pausedAudio + second), 50) << "silent while paused";
    EXPECT_GT(peak(resumedAudio + second / 10, resumedAudio + second), 2000) << "the music plays again";
}
