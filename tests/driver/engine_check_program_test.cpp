// engine-check end to end on a machine without a GPU: a second CPU backend in
// check mode stands in for the device, so sizes that reallocate the buffers,
// the layers, the gate and the report run as they do against CUDA.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "support/run_program.h"
#include "support/test_paths.h"
#include "support/check.h"

#ifndef TPL_ENGINE_CHECK
#error "TPL_ENGINE_CHECK must name the engine-check program (bench/CMakeLists.txt)"
#endif

namespace {

std::vector<std::string> linesStartingWith(const std::string& output, const std::regex& start) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        if (std::regex_search(line, start)) lines.push_back(line);
    return lines;
}

TEST(EngineCheckProgram, CpuStandInPassesEveryMomentAndSizeWithLayers) {
    const std::string dir = scratchDir("engine_check_program");
    // 81 x 61: two runs of 2048 pixels and a tail, the last block part-full;
    // 16 x 16: a frame smaller than one run. Each size change reallocates.
    const ProgramResult check =
        runProgram({TPL_ENGINE_CHECK, "--device", "cpu", "--threads", "2", "--size", "64x48,81x61,16x16", "--layers",
                    "--moments", "13,0.5", "--runs", "1", "--cpu-runs", "1", "--ppm", "frames"},
                   {}, dir);
    ASSERT_EQ(check.exitCode, 0) << check.output;
    EXPECT_TRUE(contains(check.output, "CUDA: CPU, 2 threads, scalar kernel (standing in for CUDA)"));
    EXPECT_TRUE(contains(check.output, "engine-check: passed"));

    // One row and one layers line per moment and size, in tick order, all exact.
    const std::vector<std::string> rows =
        linesStartingWith(check.output, std::regex("^ +(0\\.5|13) +[0-9]+ +[0-9]+x[0-9]+ +[-0-9.]+ "));
    const std::vector<std::string> layers = linesStartingWith(check.output, std::regex("  layers: "));
    ASSERT_EQ(rows.size(), 6u) << check.output;
    ASSERT_EQ(layers.size(), 6u) << check.output;
    const char* order[] = {"64x48", "81x61", "16x16"};
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i]);
        EXPECT_TRUE(contains(rows[i], i < 3 ? "    0.5     50" : "     13   1300"));
        EXPECT_TRUE(contains(rows[i], order[i % 3]));
        // Exact frames: infinite PSNR and margin, nothing unwritten.
        EXPECT_TRUE(std::regex_search(rows[i], std::regex(" inf +[0-9.]+ +inf +0 +100\\.00% +100\\.00% +0  ok$")));
        EXPECT_TRUE(contains(layers[i], "light error 0% "));
        EXPECT_TRUE(contains(layers[i], "0 pixels off their light, 0 values not finite; guide: 0 of"));
        EXPECT_EQ(layers[i].substr(layers[i].size() - 4), "  ok");
    }

    // Both frames of every moment and size, named by moment and size; the
    // report names a pair that exists.
    for (const char* name : {"0.5_64x48", "0.5_81x61", "0.5_16x16", "13_64x48", "13_81x61", "13_16x16"})
        for (const char* backend : {"cpu", "cuda"}) {
            const std::string path = dir + "/frames/" + backend + "_" + name + ".ppm";
            EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
        }
    EXPECT_EQ(fileContents(dir + "/frames/cpu_13_81x61.ppm"), fileContents(dir + "/frames/cuda_13_81x61.ppm"));
    std::smatch weakest;
    const std::string output = check.output;
    ASSERT_TRUE(
        std::regex_search(output, weakest,
                          std::regex("engine-check: weakest frames: (frames/cpu_[^ ]+\\.ppm) "
                                     "(frames/cuda_[^ ]+\\.ppm) \\(([0-9.]+) s at ([0-9x]+), margin inf dB\\)")))
        << output;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/" + weakest[1].str()));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/" + weakest[2].str()));
}

TEST(EngineCheckProgram, RefusedOptionsAndTheCaseWithoutAGpu) {
    const std::string dir = scratchDir("engine_check_refusals");
    // The refusals themselves are tests/driver/check_options_test.cpp's.
    EXPECT_TRUE(refused(runProgram({TPL_ENGINE_CHECK, "--size", "640x15"}, {}, dir),
                        "engine-check: --size: '640x15' is not a size WxH", true));

    // Against CUDA: without a device the CPU frames are still made, and the
    // exit code says there was nothing to compare unless that is allowed.
    ProgramResult run =
        runProgram({TPL_ENGINE_CHECK, "--size", "16x16", "--moments", "1", "--runs", "0", "--cpu-runs", "0"}, {}, dir);
    if (run.output.find("no usable CUDA device") == std::string::npos) GTEST_SKIP() << "a CUDA device is here";
    EXPECT_TRUE(refused(run, "engine-check: CPU frames only (no GPU)\n", false, 3));
    run = runProgram(
        {TPL_ENGINE_CHECK, "--size", "16x16", "--moments", "1", "--runs", "0", "--cpu-runs", "0", "--allow-no-gpu"}, {},
        dir);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

}  // namespace
