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

#include "support/run_program.h"
#include "support/test_paths.h"
#include "support/check.h"

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
    env.insert(env.begin(), {"PATH=" + fakes + ":" + std::getenv("PATH"), "OUT=" + dir + "/out",
                             "CUDACXX=", "GPU_CHECK_DESKTOP=", "GPU_CHECK_TESTS=", "GPU_CHECK_SECONDS="});
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

// Each run of the stand-ins: the exit code, the verdict on the last line, the
// files that come back (when given) and what the console ("") or a file says.
struct Case {
    std::vector<std::string> env;
    int exitCode;
    std::string verdict;
    std::set<std::string> files;
    std::vector<std::pair<std::string, std::string>> says;
    std::vector<std::string> notBack = {};
};

TEST(GpuCheckScript, EachOutcomeBringsBackItsVerdictLogsAndFrames) {
    const std::set<std::string> frames = {"summary.txt", "cpu_13.ppm", "cuda_13.ppm"};
    // clang-format off
    const std::vector<Case> cases = {
        // Every step ran, each with its own arguments.
        {{}, 0, "gpu-check: PASSED in [0-9]+ s", frames,
         {{"", "== configure (desktop OFF, tests OFF)"}, {"", "== build"}, {"", "== CUDA against CPU, 32 samples"},
          {"", "== sizes through one driver"}, {"", "== CUDA against CPU, 64 samples"}, {"", "== memcheck"},
          {"", "memcheck: no errors"}, {"", "Fake GPU, 9.0"}, {"", "release 13.0, a fake"}}},
        // A failure brings back its logs, but no stale frames of an earlier run.
        {{"FAKE_ENGINE_CHECK=fail"}, 1, "gpu-check: FAILED in [0-9]+ s: engine-check engine-check-sizes memcheck",
         {"summary.txt", "engine-check.log", "engine-check-sizes.log", "memcheck.log", "configure.log", "build.log",
          "cpu_13.ppm", "cuda_13.ppm"},
         {{"", "FAILED: engine-check exit code 1"}, {"engine-check.log", "FAILED: PSNR 31.06 dB"},
          {"configure.log", "Template: CUDA backend ON"}, {"build.log", "Built target engine-check"},
          {"cuda_13.ppm", std::string("P6\n1 1\n255\n\001\002\004")}}},
        // memcheck fails only on errors it counted; one that never reached the device says so.
        {{"FAKE_MEMCHECK=errors"}, 1, "gpu-check: FAILED in [0-9]+ s: memcheck", {},
         {{"", "FAILED: memcheck 2 errors"}, {"memcheck.log", "Invalid __global__ write"}, {"build.log", ""}}},
        {{"FAKE_MEMCHECK=no-device"}, 0, "gpu-check: PASSED in [0-9]+ s \\(memcheck could not run\\)", {},
         {{"", "memcheck: could not run (exit code 1"}, {"memcheck.log", "terminated before first instrumented"}}},
        // Configure or build failures end with their log, the reason in the summary too.
        {{"FAKE_CMAKE=configure-fails"}, 1, "gpu-check: FAILED in [0-9]+ s: configure", {},
         {{"", "a fake configure failure"}, {"configure.log", "a fake configure failure"}}, {"engine-check.log"}},
        {{"FAKE_CMAKE=build-fails"}, 1, "gpu-check: FAILED in [0-9]+ s: build", {},
         {{"", "a fake compile error"}, {"build.log", "a fake compile error"}}, {"engine-check.log"}},
        // A hanging step is stopped, and the verdict comes inside the budget.
        {{"FAKE_ENGINE_CHECK=hang", "GPU_CHECK_SECONDS=20"}, 1, "gpu-check: FAILED in [0-9]+ s: .*", {},
         {{"", "FAILED: engine-check timed out"}, {"", "FAILED: engine-check-sizes not started: no time left"},
          {"engine-check.log", "(stopped after"}}}};
    // clang-format on
    const std::string dir = scratchDir("gpu_check");
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.env));
        // Frames and a log of an earlier run on the same (warm) machine.
        fs::remove_all(dir + "/out");
        fs::create_directories(dir + "/build/gpu-check-logs/frames");
        fs::create_directories(dir + "/out");
        for (const std::string stale :
             {"/build/gpu-check-logs/frames/cuda_97.ppm", "/out/cuda_97.ppm", "/out/tests.log"})
            std::ofstream(dir + stale) << "stale";
        const ScriptRun run = runCheck(dir, c.env);
        EXPECT_EQ(run.result.exitCode, c.exitCode) << run.result.output;
        EXPECT_TRUE(std::regex_match(lastLine(run.result.output), std::regex(c.verdict))) << run.result.output;
        EXPECT_LT(run.seconds, 20.0);
        expectReturnable(run);
        if (!c.files.empty()) {
            EXPECT_EQ(filesBack(run.out), c.files);
        }
        for (const auto& [file, text] : c.says) {
            EXPECT_TRUE(file.empty() || fs::exists(run.out + "/" + file)) << file;
            EXPECT_TRUE(contains(file.empty() ? run.result.output : fileContents(run.out + "/" + file), text)) << file;
        }
        for (const std::string& file : c.notBack) EXPECT_FALSE(fs::exists(run.out + "/" + file)) << file;
        EXPECT_FALSE(fs::exists(dir + "/build/gpu-check-logs/frames/cuda_97.ppm"));
    }
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
    EXPECT_EQ(
        fileContents(tree + "/.gpu-check-stamp").rfind("commit " + head.output.substr(0, 40) + "\nchanges: none\n", 0),
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
