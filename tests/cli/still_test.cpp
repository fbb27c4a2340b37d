// The headless still, end to end through the real program.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/png_read.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace {

ProgramResult still(const std::string& dir, std::vector<std::string> extra) {
    std::vector<std::string> args = {programPath(), "--backend", "cpu", "--dt", "40", "--no-overlays"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runProgram(args, {}, dir);
}

TEST(Still, RendersAPlausibleDeterministicFrameThatDependsOnTheMoment) {
    const std::string dir = scratchDir("still_frame");
    for (const auto& args : {std::vector<std::string>{"--still", "14", "--out", "a.png"},
                             {"--still", "14", "--out", "b.png", "--threads", "1"},
                             {"--still", "99", "--out", "c.png"}}) {
        const ProgramResult r = still(dir, args);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    int w = 0, h = 0;
    const std::vector<uint32_t> a = readPng(dir + "/a.png", w, h);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    EXPECT_EQ(a, readPng(dir + "/b.png", w, h)) << "two CPU renders of one tick differ";
    EXPECT_NE(a, readPng(dir + "/c.png", w, h)) << "another moment, the same picture";

    // A lit scene: mostly not black, not saturated, with many distinct colours.
    const std::set<uint32_t> colours(a.begin(), a.end());
    EXPECT_GT(colours.size(), 1000u);
    EXPECT_LT(std::count(a.begin(), a.end(), 0xFF000000u), long(a.size() / 4));
    EXPECT_LT(std::count(a.begin(), a.end(), 0xFFFFFFFFu), long(a.size() / 4));
}

TEST(Still, RefusesBadRequestsWithoutWritingAFile) {
    const std::string dir = scratchDir("still_refused");
    // A malformed command line, then output paths that cannot be written.
    for (const auto& args : {std::vector<std::string>{"--still", "5", "--frobnicate", "--out", "x.png"},
                             {"--still", "5", "--out", "missing/folder/x.png"}, {"--still", "5", "--out", "."}}) {
        const ProgramResult r = still(dir, args);
        EXPECT_NE(r.exitCode, 0) << args.back();
        EXPECT_FALSE(r.output.empty());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "a refused still left files behind";
}

}  // namespace
