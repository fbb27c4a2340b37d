#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

namespace {

bool parse(std::vector<std::string> args, Options& options, std::string& error) {
    args.insert(args.begin(), "template");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(Options, ModesAndTheirSettings) {
    Options o;
    std::string error;
    for (auto [args, mode] : {std::pair<std::vector<std::string>, RunMode>{{}, RunMode::Show},
                              {{"--still", "3", "--help"}, RunMode::Help},  // help wins over everything else
                              {{"--version"}, RunMode::Version},
                              {{"--video", "v.mp4"}, RunMode::Capture}})
        EXPECT_TRUE(parse(args, o = Options(), error) && o.mode == mode) << ::testing::PrintToString(args);
    ASSERT_TRUE(parse({"--still", "60", "--out", "s.png", "--dt", "16.5", "--backend", "cpu", "--threads", "3",
                       "--no-overlays"}, o = Options(), error)) << error;
    EXPECT_EQ(o.mode, RunMode::Still);
    EXPECT_DOUBLE_EQ(o.stillSeconds, 60.0);
    EXPECT_EQ(o.outPath, "s.png");
    EXPECT_DOUBLE_EQ(o.dtMs, 16.5);
    EXPECT_EQ(o.driver.backend, BackendChoice::Cpu);
    EXPECT_EQ(o.driver.threads, 3);
    EXPECT_FALSE(o.overlays);
    ASSERT_TRUE(parse({"--capture", "d", "--fps", "30", "--from", "5", "--to", "20"}, o, error)) << error;
    EXPECT_EQ(o.fps, 30);
    EXPECT_DOUBLE_EQ(o.fromSeconds, 5.0);
    EXPECT_DOUBLE_EQ(o.toSeconds, 20.0);
}

// Each malformed command line is refused with a reason that names the culprit.
TEST(Options, RefusesMalformedInput) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "--bogus"}, {{"--still"}, "--still"}, {{"--still", "-1"}, "--still"},
        {{"--still", "abc"}, "abc"}, {{"--still", "5x"}, "5x"}, {{"--still", "nan"}, "nan"},
        {{"--still", "200"}, "--still"}, {{"--still", "5", "--dt", "0"}, "--dt"},
        {{"--still", "5", "--dt", "-10"}, "--dt"}, {{"--still", "5", "--out", ""}, "--out"},
        {{"--backend", "gpu"}, "gpu"}, {{"--threads", "0"}, "--threads"}, {{"--threads", "two"}, "two"},
        {{"--capture", "d", "--fps", "0"}, "--fps"}, {{"--capture", "d", "--from", "20", "--to", "10"}, "--from"},
        {{"--still", "5", "--capture", "d"}, "--capture"}, {{"--out", "x.png"}, "--out"}, {{"--fps", "30"}, "--fps"},
        {{"--still", "5", "--start", "3"}, "--start"},
    };
    for (const auto& [args, culprit] : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(parse(args, o, error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find(culprit), std::string::npos) << ::testing::PrintToString(args) << " -> " << error;
    }
}

}  // namespace
