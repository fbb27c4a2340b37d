// engine-check's CPU frame of a moment is the still of that moment, pixel for
// pixel: it replays the show as the still does, outside the desktop.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/png_read.h"
#include "support/run_program.h"
#include "support/test_paths.h"

#ifndef TPL_ENGINE_CHECK
#error "TPL_ENGINE_CHECK must name the engine-check program (bench/CMakeLists.txt)"
#endif

namespace {

// A binary PPM as 0x00RRGGBB words; empty when it is not a 255-level P6 file.
std::vector<uint32_t> readPpm(const std::string& path, int& width, int& height) {
    std::ifstream file(path, std::ios::binary);
    std::string magic;
    int levels = 0;
    file >> magic >> width >> height >> levels;
    file.get();  // the one whitespace before the samples
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<uint32_t> pixels;
    if (magic != "P6" || levels != 255 || bytes.size() != size_t(width) * height * 3) return pixels;
    for (size_t i = 0; i < bytes.size(); i += 3)
        pixels.push_back(uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2]);
    return pixels;
}

TEST(EngineCheck, CpuFrameOfAMomentIsItsStill) {
    const std::string dir = scratchDir("engine_check");
    const ProgramResult check = runProgram(
        {TPL_ENGINE_CHECK, "--allow-no-gpu", "--moments", "60,0", "--cpu-runs", "1", "--runs", "1", "--ppm", "."}, {},
        dir);
    ASSERT_EQ(check.exitCode, 0) << check.output;
    // Tick 0 and a later one; the titles over the first seconds belong to the desktop.
    for (const auto& [moment, extra] : {std::pair<std::string, std::string>{"0", "--no-overlays"}, {"60", ""}}) {
        std::vector<std::string> args = {programPath(), "--still", moment, "--backend", "cpu", "--out", "s.png",
                                         "--overwrite"};
        args.insert(args.end(), {"--data", sourceDir() + "/data"});
        if (!extra.empty()) args.push_back(extra);
        const ProgramResult still = runProgram(args, {}, dir);
        ASSERT_EQ(still.exitCode, 0) << still.output;
        int w = 0, h = 0, pw = 0, ph = 0;
        std::vector<uint32_t> png = readPng(dir + "/s.png", w, h);
        for (uint32_t& p : png) p &= 0x00FFFFFFu;
        const std::vector<uint32_t> ppm = readPpm(dir + "/cpu_" + moment + ".ppm", pw, ph);
        ASSERT_EQ(ppm.size(), 640u * 480u) << "moment " << moment;
        EXPECT_EQ(pw, w);
        EXPECT_EQ(ph, h);
        EXPECT_TRUE(ppm == png) << "engine-check's CPU frame at " << moment << " s is not the still";
    }
}

}  // namespace
