// tools/gpu-check.sh on a machine without a GPU: stand-ins for nvidia-smi,
// nvcc, CMake, compute-sanitizer and engine-check (tests/tools/fakes) let the
// script's own logic run for real: what a failure brings back, the time
// limits, memcheck's verdicts and the commit a tree without .git reports.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "support/run_program.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace {

struct ScriptRun {
    ProgramResult result;
    std::string out;  // the report folder
    double seconds = 0;
};

std::string lastLine(const std::string& text) {
    std::istringstream in(text);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

std::set<std::string> filesBack(const std::string& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        EXPECT_TRUE(entry.is_regular_file()) << entry.path() << ": only plain files come back";
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Runs the script of `tree` (the sources by default) with the stand-ins first on
// the path, the build folder and the report in `dir`.
ScriptRun runCheck(const std::string& dir, std::vector<std::string> env, const std::string& tree = sourceDir()) {
    const std::string fakes = sourceDir() + "/tests/tools/fakes";
    env.insert(env.begin(), {"PATH=" + fakes + ":" + std::getenv("PATH"), "OUT=" + dir + "/out", "CUDACXX=",
                             "GPU_CHECK_DESKTOP=", "GPU_CHECK_TESTS=", "GPU_CHECK_SECONDS="});
    ScriptRun run;
    run.out = dir + "/out";
    const auto begin = std::chrono::steady_clock::now();
    run.result = runProgram({"bash", tree + "/tools/gpu-check.sh", dir + "/build"}, env, dir);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return run;
}

// What comes back is what the device gives back: at most 8 plain files with plain names.
void expectReturnable(const ScriptRun& run) {
    const std::set<std::string> files = filesBack(run.out);
    EXPECT_LE(files.size(), 8u);
    for (const std::string& name : files) EXPECT_TRUE(std::regex_match(name, std::regex("[A-Za-z0-9._-]+"))) << name;
    ASSERT_TRUE(files.count("summary.txt"));
    // The report holds everything the console said, down to the verdict.
    EXPECT_EQ(fileContents(run.out + "/summary.txt"), run.result.output);
}

TEST(GpuCheckScript, AFailedCheckBringsBackItsLogsButNoStaleFrames) {
    const std::string dir = scratchDir("gpu_check_failed");
    // Frames and a log of an earlier run on the same (warm) machine.
    fs::create_directories(dir + "/build/gpu-check-logs/frames");
    fs::create_directories(dir + "/out");
    for (const std::string stale : {"/build/gpu-check-logs/frames/cuda_97.ppm", "/out/cuda_97.ppm", "/out/tests.log"})
        std::ofstream(dir + stale) << "stale";

    const ScriptRun run = runCheck(dir, {"FAKE_ENGINE_CHECK=fail"});
    EXPECT_EQ(run.result.exitCode, 1) << run.result.output;
    EXPECT_TRUE(std::regex_match(lastLine(run.result.output),
                                 std::regex("gpu-check: FAILED in [0-9]+ s: engine-check engine-check-sizes memcheck")))
        << run.result.output;
    EXPECT_NE(run.result.output.find("FAILED: engine-check exit code 1"), std::string::npos) << run.result.output;
    expectReturnable(run);
    const std::set<std::string> files = filesBack(run.out);
    EXPECT_EQ(files, (std::set<std::string>{"summary.txt", "engine-check.log", "engine-check-sizes.log",
                                             "memcheck.log", "configure.log", "build.log", "cpu_13.ppm",
                                             "cuda_13.ppm"}));
    EXPECT_NE(fileContents(run.out + "/engine-check.log").find("FAILED: PSNR 31.06 dB"), std::string::npos);
    EXPECT_NE(fileContents(run.out + "/configure.log").find("Template: CUDA backend ON"), std::string::npos);
    EXPECT_NE(fileContents(run.out + "/build.log").find("Built target engine-check"), std::string::npos);
    EXPECT_EQ(fileContents(run.out + "/cuda_13.ppm"), std::string("P6\n1 1\n255\n\001\002\004"));
    EXPECT_FALSE(fs::exists(dir + "/build/gpu-check-logs/frames/cuda_97.ppm"));
}

TEST(GpuCheckScript, APassingCheckBringsBackTheReportAndTheWeakestFrames) {
    const std::string dir = scratchDir("gpu_check_passed");
    const ScriptRun run = runCheck(dir, {});
    EXPECT_EQ(run.result.exitCode, 0) << run.result.output;
    EXPECT_TRUE(std::regex_match(lastLine(run.result.output), std::regex("gpu-check: PASSED in [0-9]+ s")))
        << run.result.output;
    expectReturnable(run);
    EXPECT_EQ(filesBack(run.out), (std::set<std::string>{"summary.txt", "cpu_13.ppm", "cuda_13.ppm"}));
    // Every step ran, each with its own arguments.
    for (const char* step : {"== configure (desktop OFF, tests OFF)", "== build", "== CUDA against CPU, 32 samples",
                             "== sizes through one driver", "== CUDA against CPU, 64 samples", "== memcheck",
                             "memcheck: no errors", "Fake GPU, 9.0", "release 13.0, a fake"})
        EXPECT_NE(run.result.output.find(step), std::string::npos) << step;
}

TEST(GpuCheckScript, MemcheckFailsOnlyOnErrorsItCounted) {
    const std::string dir = scratchDir("gpu_check_memcheck");
    ScriptRun run = runCheck(dir, {"FAKE_MEMCHECK=errors"});
    EXPECT_EQ(run.result.exitCode, 1) << run.result.output;
    EXPECT_NE(run.result.output.find("FAILED: memcheck 2 errors"), std::string::npos) << run.result.output;
    EXPECT_TRUE(std::regex_match(lastLine(run.result.output), std::regex("gpu-check: FAILED in [0-9]+ s: memcheck")));
    expectReturnable(run);
    EXPECT_NE(fileContents(run.out + "/memcheck.log").find("Invalid __global__ write"), std::string::npos);
    EXPECT_TRUE(fs::exists(run.out + "/build.log"));

    // A sanitizer that never reached the device found nothing either way: said, and its log kept.
    run = runCheck(dir, {"FAKE_MEMCHECK=no-device"});
    EXPECT_EQ(run.result.exitCode, 0) << run.result.output;
    EXPECT_NE(run.result.output.find("memcheck: could not run (exit code 1"), std::string::npos) << run.result.output;
    EXPECT_TRUE(std::regex_match(lastLine(run.result.output),
                                 std::regex("gpu-check: PASSED in [0-9]+ s \\(memcheck could not run\\)")));
    expectReturnable(run);
    EXPECT_NE(fileContents(run.out + "/memcheck.log").find("terminated before first instrumented"), std::string::npos);
}

TEST(GpuCheckScript, ConfigureOrBuildFailuresEndWithTheirLog) {
    const std::string dir = scratchDir("gpu_check_build");
    for (const auto& [fake, log, text] : {std::tuple<std::string, std::string, std::string>{
                                              "configure-fails", "configure", "a fake configure failure"},
                                          {"build-fails", "build", "a fake compile error"}}) {
        SCOPED_TRACE(fake);
        const ScriptRun run = runCheck(dir, {"FAKE_CMAKE=" + fake});
        EXPECT_EQ(run.result.exitCode, 1) << run.result.output;
        EXPECT_TRUE(std::regex_match(lastLine(run.result.output), std::regex("gpu-check: FAILED in [0-9]+ s: " + log)))
            << run.result.output;
        EXPECT_NE(run.result.output.find(text), std::string::npos) << "the reason is in the summary too";
        expectReturnable(run);
        EXPECT_NE(fileContents(run.out + "/" + log + ".log").find(text), std::string::npos);
        EXPECT_FALSE(fs::exists(run.out + "/engine-check.log")) << "nothing ran after the failure";
    }
}

TEST(GpuCheckScript, AHangingStepIsStoppedWithinTheBudget) {
    const std::string dir = scratchDir("gpu_check_hang");
    const ScriptRun run = runCheck(dir, {"FAKE_ENGINE_CHECK=hang", "GPU_CHECK_SECONDS=20"});
    EXPECT_EQ(run.result.exitCode, 1) << run.result.output;
    EXPECT_LT(run.seconds, 20.0) << "the verdict comes inside the budget";
    EXPECT_NE(run.result.output.find("FAILED: engine-check timed out"), std::string::npos) << run.result.output;
    EXPECT_NE(run.result.output.find("FAILED: engine-check-sizes not started: no time left"), std::string::npos)
        << run.result.output;
    EXPECT_TRUE(std::regex_match(lastLine(run.result.output), std::regex("gpu-check: FAILED in [0-9]+ s: .*")));
    expectReturnable(run);
    EXPECT_NE(fileContents(run.out + "/engine-check.log").find("(stopped after"), std::string::npos);
}

TEST(GpuCheckScript, ATreeWithoutGitNamesTheStampedCommit) {
    const std::string dir = scratchDir("gpu_check_stamp");
    const std::string tree = dir + "/tree", sent = dir + "/sent";
    fs::create_directories(tree + "/tools");
    fs::copy_file(sourceDir() + "/tools/gpu-check.sh", tree + "/tools/gpu-check.sh");
    std::ofstream(tree + "/README") << "a tree\n";
    const std::string identity[] = {"-c", "user.name=Test", "-c", "user.email=test@example.invalid"};
    for (const std::vector<std::string>& git :
         {std::vector<std::string>{"git", "init", "-q", tree},
          {"git", "-C", tree, "add", "."},
          {"git", "-C", tree, identity[0], identity[1], identity[2], identity[3], "commit", "-qm", "a tree"}})
        ASSERT_EQ(runProgram(git).exitCode, 0) << git.back();
    const ProgramResult head = runProgram({"git", "-C", tree, "rev-parse", "HEAD"});
    const std::string commit = head.output.substr(0, 10);

    const ProgramResult stamped = runProgram({"bash", tree + "/tools/gpu-check.sh", "--stamp"});
    ASSERT_EQ(stamped.exitCode, 0) << stamped.output;
    EXPECT_EQ(fileContents(tree + "/.gpu-check-stamp").rfind("commit " + head.output.substr(0, 40) + "\nchanges: none\n", 0),
              0u);

    // The tree as the device gets it: no .git.
    fs::copy(tree, sent, fs::copy_options::recursive);
    fs::remove_all(sent + "/.git");
    const std::string first = "gpu-check of " + commit + " (from .gpu-check-stamp; ";
    ScriptRun run = runCheck(dir, {}, sent);
    EXPECT_EQ(run.result.output.rfind(first + "the tree is as stamped) on ", 0), 0u) << run.result.output;
    std::ofstream(sent + "/README") << "changed after the stamp\n";
    run = runCheck(dir, {}, sent);
    EXPECT_EQ(run.result.output.rfind(first + "1 tracked files differ from it) on ", 0), 0u) << run.result.output;
    fs::remove(sent + "/.gpu-check-stamp");
    run = runCheck(dir, {}, sent);
    EXPECT_EQ(run.result.output.rfind("gpu-check of an unknown commit (no .git and no .gpu-check-stamp", 0), 0u)
        << run.result.output;
    // Without a checkout there is nothing to stamp.
    EXPECT_EQ(runProgram({"bash", sent + "/tools/gpu-check.sh", "--stamp"}).exitCode, 2);
}

}  // namespace
