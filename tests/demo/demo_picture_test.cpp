// Pictures of other sizes and of several passes, through the Demo as the
// headless jobs drive it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../../bench/frame_compare.h"
#include "anim/show_replay.h"
#include "demo/demo.h"
#include "demo/surface.h"
#include "support/test_demo.h"
#include "support/test_paths.h"

namespace {

struct Picture {
    std::vector<uint32_t> pixels;
    std::vector<float> light;  // when kept
};

// One frame of the moment `seconds` into the show, its passes numbered from passBase.
Picture render(DemoOptions options, float seconds, int passBase, uint32_t fill = 0u) {
    options.music = false;
    options.driver.backend = BackendChoice::Cpu;
    // The sampler table is shuffled by rand(), unseeded on purpose so that each
    // run of the program has the same table: seeded as at start-up, every Demo
    // here has it too, as two runs of the program would.
    std::srand(1);
    TestDemo shown(options, 0, fill);
    Demo& demo = shown.demo;
    // The still's steps: one big step would skip the choreography's cues.
    replayShow(demo.show, 0, momentTick(seconds, 10.0).run.tick, 10.0f);
    shown.driver.setPassCounter(passBase);
    std::string error;
    EXPECT_EQ(demo.tick(0.0f, error), TickResult::Running) << error;
    Picture picture{shown.pixels, {}};
    if (const float* light = demo.light())
        picture.light.assign(light, light + static_cast<size_t>(demo.viewArea().width) * demo.viewArea().height * 3);
    return picture;
}

DemoOptions sized(int width, int height, int passes = 1) {
    DemoOptions options;
    options.overlays = false;
    options.pictureWidth = width;
    options.pictureHeight = height;
    options.passes = passes;
    return options;
}

double psnr(const Picture& a, const Picture& b) {
    return compareFrames(a.pixels.data(), b.pixels.data(), a.pixels.size()).psnr;
}

// Mean squared difference of two pictures' light, each value limited to [0, 16].
double lightNoise(const Picture& a, const Picture& b) {
    EXPECT_EQ(a.light.size(), b.light.size());
    double sum = 0.0;
    for (size_t i = 0; i < a.light.size(); ++i) {
        const double d = std::clamp(a.light[i], 0.0f, 16.0f) - std::clamp(b.light[i], 0.0f, 16.0f);
        sum += d * d;
    }
    return sum / static_cast<double>(a.light.size());
}

}  // namespace

TEST(GamePicture, OnePassIsTheExactFrameAndMorePassesCutTheNoise) {
    // Keeping the light takes the averaging path; with one pass its pixels are the kernel's own.
    DemoOptions kept = sized(640, 480);
    kept.keepLight = true;
    const Picture exact = render(sized(640, 480), 13.0f, 1300);
    const Picture averaged = render(kept, 13.0f, 1300);
    EXPECT_EQ(averaged.pixels, exact.pixels);
    ASSERT_EQ(averaged.light.size(), 640u * 480 * 3);
    EXPECT_TRUE(render(sized(640, 480), 13.0f, 1300).light.empty()) << "light kept unasked";

    // Two independent renders of one moment (other pass numbers) agree better
    // at 16 passes. In the light the passes are averaged in, independent passes
    // cut the noise power 16 times (12 dB). Light is limited at 16 times white
    // for the figure: one pass brighter than that turns a 16-pass mean white on
    // its own, and the closed room's rare very bright paths would otherwise make
    // it a lottery. In bytes the gain is smaller (near 8.5 and 7.5 dB): the tone
    // curve's square root already hides much of a dark pixel's one-pass noise,
    // and a bright path saturates white however many passes share it. 4 passes
    // gain about 6 dB in light and 4 in bytes, a broken average nothing.
    for (const float seconds : {13.0f, 97.0f}) {
        const auto pair = [&](int passes) {
            DemoOptions options = sized(320, 240, passes);
            options.keepLight = true;
            return std::make_pair(render(options, seconds, passes * 1000), render(options, seconds, passes * 5000));
        };
        const auto one = pair(1), sixteen = pair(16);
        const double lightGain =
            10.0 * std::log10(lightNoise(one.first, one.second) / lightNoise(sixteen.first, sixteen.second));
        const double byteGain = psnr(sixteen.first, sixteen.second) - psnr(one.first, one.second);
        EXPECT_GE(lightGain, 10.0) << "at " << seconds << " s";
        EXPECT_LE(lightGain, 14.0) << "at " << seconds << " s: more than independent passes can give";
        EXPECT_GE(byteGain, 6.5) << "at " << seconds << " s";
    }
}

TEST(GamePicture, TitleImagesScaleWithThePictureAndKeepTheirPlace) {
    // White title images, 2 rows high and 10 + index wide, as the show's files would be.
    const std::string dir = scratchDir("game_picture_titles");
    for (int i = 0; i < overlayCount; ++i)
        std::ofstream(dir + "/" + overlayFileNames[i]) << "P5 " << 10 + i << " 2 255\n"
                                                       << std::string(20 + 2 * i, '\xFF');
    // A 360-row picture scales them by 0.75; with --keep-aspect the 4:3 view
    // sits between bars that are left as they were. At 1.25 s the "re" image
    // (row 400 of 480) is at full strength.
    for (const bool keepAspect : {false, true}) {
        DemoOptions options = sized(keepAspect ? 640 : 480, 360);
        options.overlays = true;
        options.keepAspect = keepAspect;
        options.dataDir = dir;
        constexpr uint32_t fill = 0x00123456u;
        const Picture titled = render(options, 1.25f, 125, fill);
        options.overlays = false;
        const Picture bare = render(options, 1.25f, 125, fill);
        const int width = options.pictureWidth, left = keepAspect ? 80 : 0;
        // Scaled sizes round to the nearest pixel: 2 rows stay 2, row 400 becomes 300.
        const int reWidth = (3 * (10 + reOverlayId) + 2) / 4, reLeft = left + (480 - reWidth) / 2;
        int brightened = 0;
        for (int y = 0; y < 360; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t t = titled.pixels[y * width + x], b = bare.pixels[y * width + x];
                const bool onRe = y >= 300 && y < 302 && x >= reLeft && x < reLeft + reWidth;
                if (x < left || x >= left + 480) {
                    ASSERT_EQ(t, fill) << "bar at " << x << "," << y;
                } else if (onRe) {
                    brightened += t != b;
                } else if (y >= 290 && y < 312) {
                    ASSERT_EQ(t, b) << "title outside its place at " << x << "," << y;
                }
            }
        EXPECT_GT(brightened, reWidth) << (keepAspect ? "letterboxed" : "480 x 360");
    }
}

// The live show's rung above the full setting draws a larger picture, and
// back: a Demo whose picture changes size draws what a Demo made at that size
// draws, its title images scaled from the files each time (not from the last
// scaling).
TEST(GamePicture, APictureResizedOnTheWayIsThePictureMadeAtThatSize) {
    const std::string dir = scratchDir("game_picture_resized");
    for (int i = 0; i < overlayCount; ++i)
        std::ofstream(dir + "/" + overlayFileNames[i]) << "P5 " << 10 + i << " 2 255\n"
                                                       << std::string(20 + 2 * i, '\xFF');
    DemoOptions options = sized(frameWidth, frameHeight);
    options.overlays = true;
    options.dataDir = dir;
    const int sizes[3][2] = {{480, 360}, {320, 240}, {frameWidth, frameHeight}};
    std::vector<Picture> references;
    for (const auto& size : sizes) {
        DemoOptions made = options;
        made.pictureWidth = size[0], made.pictureHeight = size[1];
        references.push_back(render(made, 1.25f, 125));
    }

    options.music = false;
    options.driver.backend = BackendChoice::Cpu;
    std::srand(1);
    TestDemo shown(options);
    Demo& demo = shown.demo;
    replayShow(demo.show, 0, momentTick(1.25f, 10.0).run.tick, 10.0f);
    std::string error;
    for (int k = 0; k < 3; ++k) {
        const int w = sizes[k][0], h = sizes[k][1];
        const Picture* wanted = &references[k];
        ASSERT_TRUE(demo.setPictureSize(w, h, error)) << error;
        std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
        Surface surface(w, h, pixels.data(), w);
        demo.surface = &surface;
        demo.setRenderSetting({samplesPerFrame, w, h, 0});
        shown.driver.setPassCounter(125);
        ASSERT_EQ(demo.tick(0.0f, error), TickResult::Running) << error;
        EXPECT_EQ(demo.viewArea().width, w);
        EXPECT_TRUE(pixels == wanted->pixels) << w << " x " << h;
    }
    EXPECT_FALSE(demo.setPictureSize(0, 480, error));
}
