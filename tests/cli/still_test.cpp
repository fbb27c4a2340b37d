// The headless still, end to end through the real program.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/png_read.h"
#include "support/run_program.h"
#include "support/test_paths.h"
#include "support/check.h"

namespace {

ProgramResult still(const std::string& dir, std::vector<std::string> extra) {
    std::vector<std::string> args = {programPath(), "--backend", "cpu", "--dt", "40", "--no-overlays"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runProgram(args, {}, dir);
}

TEST(Still, RendersAPlausibleDeterministicFrameThatDependsOnTheMoment) {
    const std::string dir = scratchDir("still_frame");
    for (const auto& args : {std::vector<std::string>{"--still", "14", "--out", "a.png"},
                             {"--still=14", "--out=b.png", "--threads=1"},  // the same, written --opt=value
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

// Exit code 2 and a reason (with the allowed range where there is one), before anything is written.
TEST(Still, RefusesBadRequestsWithoutWritingAFile) {
    const std::string dir = scratchDir("still_refused");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--still", "5", "--frobnicate", "--out", "x.png"}, "unknown option '--frobnicate'"},
        {{"--still", "5", "--out", "missing/folder/x.png"}, "missing/folder"},
        {{"--still", "5", "--out", "."}, "cannot write ."},
        {{"--still", "5", "--data", "no-such-folder"}, "data folder not found: no-such-folder"},
        // Frame times whose ticks wrap an int, or whose single-precision clock drifts off the moment.
        {{"--still", "50", "--dt", "1e-6"}, "limit of 10000000 ticks: for that moment --dt must be from 0.005"},
        {{"--still", "60", "--dt", "0.01"}, "more than half a frame from 60 s"},
        // The tick whose clock passes 106 s ends the show unseen.
        {{"--still", "106", "--dt", "10"},
         "after the show's last frame (tick 10599): the still must be from 0 to 105.99 s"},
    };
    for (const auto& [args, reason] : cases) {
        const ProgramResult r = still(dir, args);
        EXPECT_TRUE(refused(r, reason)) << ::testing::PrintToString(args);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "a refused still left files behind";
}

}  // namespace
