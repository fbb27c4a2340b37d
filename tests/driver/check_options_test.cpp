// engine-check's command line takes what the program takes and refuses the
// rest with the range it wants.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../bench/check_options.h"

namespace {

// Parses the arguments after the program name; the error, or "" when taken.
std::string parse(std::vector<std::string> args, CheckOptions& options) {
    args.insert(args.begin(), "engine-check");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::string error;
    return parseCheckOptions(static_cast<int>(argv.size()), argv.data(), options, error) ? "" : error;
}

std::string refusal(const std::vector<std::string>& args) {
    CheckOptions options;
    return parse(args, options);
}

TEST(CheckOptions, SizesMomentsAndCounts) {
    CheckOptions o;
    ASSERT_EQ(parse({}, o), "");
    ASSERT_EQ(o.sizes.size(), 1u);
    EXPECT_EQ(o.sizes[0].width, 640);
    EXPECT_EQ(o.sizes[0].height, 480);
    EXPECT_EQ(o.moments, (std::vector<double>{0.5, 13, 30, 60, 97}));
    EXPECT_FALSE(o.layers || o.cpuDevice);

    ASSERT_EQ(parse({"--size=641x479,4097x4097,16x16384", "--moments", "105.99,0,.5", "--layers", "--runs", "0",
                     "--cpu-runs=1000", "--threads", "256", "--min-margin", "12.5", "--device", "cpu"},
                    o),
              "");
    ASSERT_EQ(o.sizes.size(), 3u);
    EXPECT_EQ(o.sizes[0].width, 641);
    EXPECT_EQ(o.sizes[0].height, 479);
    EXPECT_EQ(o.sizes[1].width * o.sizes[1].height, 4097 * 4097);
    EXPECT_EQ(o.sizes[2].height, 16384);
    EXPECT_EQ(o.moments, (std::vector<double>{105.99, 0, 0.5}));
    EXPECT_TRUE(o.layers && o.cpuDevice);
    EXPECT_EQ(o.runs, 0);
    EXPECT_EQ(o.cpuRuns, 1000);
    EXPECT_EQ(o.threads, 256);
    EXPECT_EQ(o.minMargin, 12.5);
}

TEST(CheckOptions, RefusesWhatTheProgramRefuses) {
    // Sizes: two sides of digits, each 16 to 16384, no more pixels than a frame may have.
    for (const char* size : {"15x480", "640x16385", "640x", "x480", "640x480x2", "0x10", "+640x480", "640X480",
                             "640x480,", "6.4e2x480", " 640x480"}) {
        EXPECT_NE(refusal({"--size", size}).find("is not a size WxH with both sides from 16 to 16384"),
                  std::string::npos)
            << size;
    }
    EXPECT_EQ(refusal({"--size", "640x480,16384x16384"}), "--size: 16384x16384 is more than 67108864 pixels");
    EXPECT_EQ(refusal({"--size", "8192x8192"}), "");

    // Moments: plain decimal within the show, no hex, inf, nan or spaces.
    for (const char* moment : {"0x10", "inf", "nan", " 13", "13 ", "106", "-1", "1e3", "13,", ""})
        EXPECT_NE(refusal({"--moments", moment}).find("is not a number from 0 to 105.99"), std::string::npos)
            << "'" << moment << "'";
    EXPECT_EQ(refusal({"--moments", "1.3e1"}), "");

    // Counts: digits only, in range.
    EXPECT_EQ(refusal({"--runs", "1.5"}), "--runs: '1.5' is not a whole number from 0 to 1000");
    EXPECT_EQ(refusal({"--runs", "1e2"}), "--runs: '1e2' is not a whole number from 0 to 1000");
    EXPECT_EQ(refusal({"--cpu-runs", "1001"}), "--cpu-runs: '1001' is not a whole number from 0 to 1000");
    EXPECT_EQ(refusal({"--threads", "0"}), "--threads: '0' is not a whole number from 1 to 256");
    EXPECT_EQ(refusal({"--threads", "-2"}), "--threads: '-2' is not a whole number from 1 to 256");
    EXPECT_EQ(refusal({"--min-margin", "nan"}), "--min-margin: 'nan' is not a number from 0 to 1000");

    EXPECT_EQ(refusal({"--device", "gpu"}), "--device: 'gpu' is not one of cuda, cpu");
    EXPECT_EQ(refusal({"--ppm="}), "--ppm needs a folder");
    EXPECT_EQ(refusal({"--runs"}), "--runs needs a value");
    EXPECT_EQ(refusal({"--sizes", "640x480"}), "unknown option '--sizes'");
}

}  // namespace
