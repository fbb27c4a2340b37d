#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

namespace {

struct Parsed {
    bool ok;
    Options options;
    std::string error;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "template");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    Parsed p{false, {}, {}};
    p.ok = parseOptions(static_cast<int>(argv.size()), argv.data(), p.options, p.error);
    return p;
}

TEST(Options, DefaultsToTheLiveShow) {
    Parsed p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.mode, RunMode::Show);
    EXPECT_EQ(p.options.driver.backend, BackendChoice::Auto);
    EXPECT_TRUE(p.options.overlays);
}

TEST(Options, StillWithItsSettings) {
    Parsed p = parse(
        {"--still", "60", "--out", "s.png", "--dt", "16.5", "--backend", "cpu", "--threads", "3", "--no-overlays"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, RunMode::Still);
    EXPECT_DOUBLE_EQ(p.options.stillSeconds, 60.0);
    EXPECT_EQ(p.options.outPath, "s.png");
    EXPECT_DOUBLE_EQ(p.options.dtMs, 16.5);
    EXPECT_EQ(p.options.driver.backend, BackendChoice::Cpu);
    EXPECT_EQ(p.options.driver.threads, 3);
    EXPECT_FALSE(p.options.overlays);
}

TEST(Options, CaptureAndVideoShareOneJob) {
    Parsed p = parse({"--video", "part.mp4", "--fps", "30", "--from", "0", "--to", "20"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, RunMode::Capture);
    EXPECT_EQ(p.options.videoPath, "part.mp4");
    EXPECT_EQ(p.options.fps, 30);
    EXPECT_DOUBLE_EQ(p.options.toSeconds, 20.0);
}

TEST(Options, HelpWinsOverEverythingElse) {
    EXPECT_EQ(parse({"--still", "3", "--help"}).options.mode, RunMode::Help);
    EXPECT_EQ(parse({"--version"}).options.mode, RunMode::Version);
}

// Each malformed command line is refused with a reason that names the culprit.
TEST(Options, RefusesMalformedInput) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "--bogus"},
        {{"--still"}, "--still"},
        {{"--still", "-1"}, "--still"},
        {{"--still", "abc"}, "abc"},
        {{"--still", "5x"}, "5x"},
        {{"--still", "nan"}, "nan"},
        {{"--still", "200"}, "--still"},
        {{"--still", "5", "--dt", "0"}, "--dt"},
        {{"--still", "5", "--dt", "-10"}, "--dt"},
        {{"--still", "5", "--out", ""}, "--out"},
        {{"--backend", "gpu"}, "gpu"},
        {{"--threads", "0"}, "--threads"},
        {{"--threads", "two"}, "two"},
        {{"--capture", "d", "--fps", "0"}, "--fps"},
        {{"--capture", "d", "--from", "20", "--to", "10"}, "--from"},
        {{"--still", "5", "--capture", "d"}, "--capture"},
        {{"--out", "x.png"}, "--out"},
        {{"--fps", "30"}, "--fps"},
        {{"--still", "5", "--start", "3"}, "--start"},
    };
    for (const auto& [args, culprit] : cases) {
        Parsed p = parse(args);
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_FALSE(p.ok) << line;
        EXPECT_NE(p.error.find(culprit), std::string::npos) << line << "-> " << p.error;
    }
}

}  // namespace
