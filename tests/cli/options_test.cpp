#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "entry/options.h"
#include "support/test_paths.h"

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
    EXPECT_DOUBLE_EQ(o.still.seconds, 60.0);
    EXPECT_EQ(o.still.outPath, "s.png");
    EXPECT_DOUBLE_EQ(o.still.dtMs, 16.5);
    EXPECT_EQ(o.demo.driver.backend, BackendChoice::Cpu);
    EXPECT_EQ(o.demo.driver.threads, 3);
    EXPECT_FALSE(o.demo.overlays);
    ASSERT_TRUE(parse({"--capture", "d", "--fps", "30", "--from", "5", "--to", "20"}, o, error)) << error;
    EXPECT_EQ(o.capture.range.fps, 30);
    EXPECT_DOUBLE_EQ(o.capture.range.fromSeconds, 5.0);
    EXPECT_DOUBLE_EQ(o.capture.range.toSeconds, 20.0);
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
        {{"--cpu-kernel", "avx"}, "'avx' is not one of simd, scalar"}, {{"--cpu-kernel="}, "--cpu-kernel"},
        {{"--benchmark", "--still", "5"}, "--benchmark cannot be combined"},
        {{"--video", "v.mp4", "--benchmark"}, "--benchmark cannot be combined"},
        {{"--benchmark", "--start", "3"}, "--start only applies to the live show"},
        {{"--moments", "13"}, "--moments only applies to --benchmark"}, {{"--runs", "2"}, "--runs"},
        {{"--benchmark", "--runs", "0"}, "from 1 to 1000"},
        // Every moment of the list is checked; the show ends at the tick after 105.99 s.
        {{"--benchmark", "--moments", "13,106"}, "'106' is not a time from 0 to 105.99 seconds"},
        {{"--benchmark", "--moments", "13,,30"}, "'' is not a time"}, {{"--benchmark", "--moments=1e"}, "'1e'"},
    };
    for (const auto& [args, culprit] : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(parse(args, o, error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find(culprit), std::string::npos) << ::testing::PrintToString(args) << " -> " << error;
    }
}

TEST(Options, CpuKernelAndBenchmark) {
    Options o;
    std::string error;
    EXPECT_EQ(o.demo.driver.cpuKernel, CpuKernel::Simd) << "simd is the default";
    ASSERT_TRUE(parse({"--cpu-kernel", "scalar", "--still", "5"}, o, error)) << error;
    EXPECT_EQ(o.demo.driver.cpuKernel, CpuKernel::Scalar);
    ASSERT_TRUE(parse({"--cpu-kernel=scalar", "--cpu-kernel=simd"}, o = Options(), error)) << error;
    EXPECT_EQ(o.demo.driver.cpuKernel, CpuKernel::Simd) << "the last one given wins";

    ASSERT_TRUE(parse({"--benchmark", "--threads", "2", "--cpu-kernel", "scalar", "--backend", "cpu"}, o = Options(),
                      error)) << error;
    EXPECT_EQ(o.mode, RunMode::Benchmark);
    EXPECT_EQ(o.benchmark.moments, (std::vector<double>{0.5, 13, 30, 60, 97}));
    EXPECT_EQ(o.benchmark.runs, 3);
    EXPECT_EQ(o.demo.driver.threads, 2);
    EXPECT_EQ(o.demo.driver.cpuKernel, CpuKernel::Scalar);
    ASSERT_TRUE(parse({"--benchmark", "--moments", "97,.5,105.99", "--runs=1"}, o = Options(), error)) << error;
    EXPECT_EQ(o.benchmark.moments, (std::vector<double>{97, 0.5, 105.99}));
    EXPECT_EQ(o.benchmark.runs, 1);
}

TEST(Options, LiveQualityAndPreview) {
    Options o;
    std::string error;
    EXPECT_TRUE(o.live.adaptiveQuality) << "the live show adapts by default";
    EXPECT_DOUBLE_EQ(o.live.targetFps, 30.0);
    ASSERT_TRUE(parse({"--quality", "exact", "--target-fps", "60", "--stats", "s.txt"}, o, error)) << error;
    EXPECT_FALSE(o.live.adaptiveQuality);
    EXPECT_DOUBLE_EQ(o.live.targetFps, 60.0);
    EXPECT_EQ(o.live.statsPath, "s.txt");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--still", "5", "--preview"},
                                                 {"--capture", "d", "--preview"}, {"--video=v.mp4", "--preview"}}) {
        ASSERT_TRUE(parse(args, o = Options(), error)) << error;
        EXPECT_TRUE(o.output.preview);
    }
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--preview"}, "--preview only applies to --still, --capture and --video"},
        {{"--benchmark", "--preview"}, "--preview only applies"},
        {{"--still", "5", "--quality", "exact"}, "--quality only applies to the live show"},
        {{"--video", "v.mp4", "--stats", "s.txt"}, "--stats only applies to the live show"},
        {{"--target-fps", "0"}, "from 1 to 240"}, {{"--quality", "best"}, "'best' is not one of adaptive, clean, exact"},
    };
    for (const auto& [args, culprit] : refused) {
        EXPECT_FALSE(parse(args, o = Options(), error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find(culprit), std::string::npos) << ::testing::PrintToString(args) << " -> " << error;
    }
}

TEST(Options, ReconstructionRungsAndTheirRefusals) {
    Options o;
    std::string error;
    EXPECT_EQ(o.demo.reuse, PictureReuse::Temporal) << "reduced frames are reconstructed over frames by default";
    EXPECT_FALSE(o.demo.reconstructFull);
    ASSERT_TRUE(parse({"--quality", "clean"}, o, error)) << error;
    EXPECT_TRUE(o.live.adaptiveQuality);
    EXPECT_TRUE(o.demo.reconstructFull);
    ASSERT_TRUE(parse({"--temporal", "off"}, o = Options(), error)) << error;
    EXPECT_EQ(o.demo.reuse, PictureReuse::PerFrame);
    ASSERT_TRUE(parse({"--still", "40", "--rung", "1@320x240", "--temporal=on"}, o = Options(), error)) << error;
    EXPECT_EQ(o.output.rung, "1@320x240");
    ASSERT_TRUE(parse({"--capture", "d", "--rung", "4@160x120", "--temporal", "off"}, o = Options(), error)) << error;
    for (auto [args, reason] : {
             std::pair<std::vector<std::string>, std::string>{{"--still", "5", "--rung", "3@320x240"},
                                                              "'3@320x240' is not one of the live show's rungs: 32@640x480"},
             // Each ladder has its own rungs.
             {{"--still", "5", "--rung", "1@320x240", "--temporal", "off"}, "is not one of the live show's rungs"},
             {{"--still", "5", "--rung", "1@320x240", "--preview"}, "--rung cannot be combined with --preview"},
             {{"--video", "v.mp4", "--rung", "1@320x240", "--passes", "4"}, "--rung cannot be combined with --passes"},
             {{"--rung", "1@320x240"}, "--rung only applies to --still, --capture and --video"},
             {{"--assemble", "d", "--video", "v.mp4", "--rung", "1@320x240"}, "--rung"},
             {{"--still", "5", "--quality", "clean"}, "--quality only applies to the live show"},
             {{"--benchmark", "--temporal", "off"}, "--temporal only applies to the live show, --still"},
             {{"--temporal", "maybe"}, "'maybe' is not one of on, off"},
         }) {
        EXPECT_FALSE(parse(args, o = Options(), error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find(reason), std::string::npos) << ::testing::PrintToString(args) << " -> " << error;
    }
}

TEST(Options, WindowSizeAndFullscreen) {
    Options o;
    std::string error;
    EXPECT_EQ(o.live.windowWidth, 640);
    EXPECT_EQ(o.live.windowHeight, 480);
    EXPECT_FALSE(o.live.fullscreen);
    ASSERT_TRUE(parse({"--window", "160x16384", "--fullscreen"}, o, error)) << error;
    EXPECT_EQ(o.live.windowWidth, 160);
    EXPECT_EQ(o.live.windowHeight, 16384);
    EXPECT_TRUE(o.live.fullscreen);
    ASSERT_TRUE(parse({"--window=1920x0001080"}, o = Options(), error)) << error;
    EXPECT_EQ(o.live.windowWidth, 1920);
    EXPECT_EQ(o.live.windowHeight, 1080);
    const std::string range = "is not a size WxH with both sides from 160 to 16384";
    for (const std::string bad : {"159x600", "800x16385", "800x0", "800", "800x", "x600", "800x600x2", "800X600",
                                   "800*600", "-800x600", "+800x600", "800.0x600", " 800x600", "1e3x600", "0x10",
                                   "99999999999999999999x600", ""}) {
        EXPECT_FALSE(parse({"--window", bad}, o = Options(), error)) << bad;
        EXPECT_NE(error.find("--window: '" + bad + "' " + range), std::string::npos) << bad << " -> " << error;
    }
    // A row of 16384 pixels is more than SDL can hold; 16383 is the widest.
    EXPECT_FALSE(parse({"--window", "16384x160"}, o = Options(), error));
    EXPECT_NE(error.find("--window: 16384x160 is too wide: a window is at most 16383 pixels wide"), std::string::npos)
        << error;
    ASSERT_TRUE(parse({"--window", "16383x16384"}, o = Options(), error)) << error;
    for (const std::string job : {"--still=5", "--benchmark"})
        for (const std::string option : {"--window=800x600", "--fullscreen"}) {
            EXPECT_FALSE(parse({job, option}, o = Options(), error)) << job << " " << option;
            EXPECT_NE(error.find("only applies to the live show"), std::string::npos) << error;
        }
}

TEST(Options, PictureSizeAndPassesForStillsAndCaptures) {
    Options o;
    std::string error;
    EXPECT_EQ(o.demo.pictureWidth, 640);
    EXPECT_EQ(o.demo.pictureHeight, 480);
    EXPECT_EQ(o.demo.passes, 1);
    EXPECT_FALSE(o.demo.keepAspect);
    ASSERT_TRUE(parse({"--still", "5", "--size", "1920x1080", "--keep-aspect", "--passes", "16"}, o, error)) << error;
    EXPECT_EQ(o.demo.pictureWidth, 1920);
    EXPECT_EQ(o.demo.pictureHeight, 1080);
    EXPECT_TRUE(o.demo.keepAspect);
    EXPECT_EQ(o.demo.passes, 16);
    ASSERT_TRUE(parse({"--capture", "d", "--size=16x16384", "--passes=4096"}, o = Options(), error)) << error;
    EXPECT_EQ(o.demo.pictureWidth, 16);
    EXPECT_EQ(o.demo.pictureHeight, 16384);
    for (auto [args, reason] : {
             std::pair<std::vector<std::string>, std::string>{{"--still", "5", "--size", "15x480"},
                                                              "with both sides from 16 to 16384"},
             {{"--still", "5", "--size", "640x16385"}, "with both sides from 16 to 16384"},
             {{"--still", "5", "--size", "640"}, "with both sides from 16 to 16384"},
             // Within the sides' range but too many pixels for one frame.
             {{"--still", "5", "--size", "16384x16384"}, "is more than 67108864 pixels"},
             {{"--still", "5", "--passes", "0"}, "from 1 to 4096"},
             {{"--video", "v.mp4", "--passes", "4097"}, "from 1 to 4096"},
             {{"--still", "5", "--preview", "--passes", "2"}, "--preview cannot be combined with --passes"},
             {{"--size", "800x600"}, "--size only applies to --still, --capture and --video"},
             {{"--benchmark", "--passes", "2"}, "--passes only applies to --still, --capture and --video"},
             {{"--keep-aspect"}, "--keep-aspect only applies to --still, --capture and --video"},
         }) {
        EXPECT_FALSE(parse(args, o = Options(), error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find(reason), std::string::npos) << ::testing::PrintToString(args) << " -> " << error;
    }
}

TEST(Options, CodecQualityAndOverwriteForVideosAndStills) {
    Options o;
    std::string error;
    EXPECT_TRUE(o.capture.video.codec.empty()) << "the container's own codec by default";
    EXPECT_EQ(o.capture.video.crf, -1);
    EXPECT_FALSE(o.output.overwrite);
    ASSERT_TRUE(parse({"--video", "v.webm", "--codec", "av1", "--crf=63", "--overwrite"}, o, error)) << error;
    EXPECT_EQ(o.capture.video.codec, "av1");
    EXPECT_EQ(o.capture.video.crf, 63);
    EXPECT_TRUE(o.output.overwrite);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--still", "5", "--overwrite"},
                                                 {"--capture", "d", "--overwrite"},
                                                 {"--assemble", "d", "--video", "v.mp4", "--overwrite", "--codec", "ffv1"}})
        EXPECT_TRUE(parse(args, o = Options(), error)) << ::testing::PrintToString(args) << " -> " << error;
    for (auto [args, reason] : {
             std::pair<std::vector<std::string>, std::string>{{"--video", "v.mp4", "--codec", "mpeg2"},
                                                              "'mpeg2' is not one of h264, h265, prores, ffv1, vp9, av1"},
             {{"--video", "v.mp4", "--crf", "64"}, "from 0 to 63"},
             {{"--video", "v.mp4", "--crf", "-1"}, "from 0 to 63"},
             {{"--capture", "d", "--codec", "h264"}, "--codec only applies to --video"},
             {{"--still", "5", "--crf", "20"}, "--crf only applies to --video"},
             {{"--overwrite"}, "--overwrite only applies to"},
             {{"--benchmark", "--overwrite"}, "--overwrite only applies to"},
         }) {
        EXPECT_FALSE(parse(args, o = Options(), error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find(reason), std::string::npos) << ::testing::PrintToString(args) << " -> " << error;
    }
}

TEST(Options, AssembleNeedsAVideoAndTakesNoRenderingSettings) {
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"--assemble", "frames", "--video", "v.mkv", "--fps", "25", "--from", "3", "--to", "4", "--mute"},
                      o, error))
        << error;
    EXPECT_EQ(o.mode, RunMode::Assemble);
    EXPECT_EQ(o.capture.frameDir, "frames");
    EXPECT_EQ(o.capture.range.fps, 25);
    EXPECT_DOUBLE_EQ(o.capture.range.fromSeconds, 3.0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--assemble", "frames"},
          {"--assemble", "frames", "--video", "v.mp4", "--capture", "x"},
          {"--assemble", "frames", "--video", "v.mp4", "--size", "320x240"},
          {"--assemble", "frames", "--video", "v.mp4", "--passes", "4"},
          {"--assemble", "frames", "--video", "v.mp4", "--start", "4"}})
        EXPECT_FALSE(parse(args, o = Options(), error)) << ::testing::PrintToString(args);
}

TEST(Options, ListPartsTakesTheRangeAndOneSplitAndNothingToRender) {
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"--list-parts", "--fps", "30", "--from", "90", "--to", "94", "--parts", "3"}, o, error)) << error;
    EXPECT_EQ(o.mode, RunMode::ListParts);
    EXPECT_EQ(o.parts.partShares, 3);
    ASSERT_TRUE(parse({"--list-parts"}, o = Options(), error)) << error;
    EXPECT_EQ(o.parts.partFrames, 60);
    EXPECT_EQ(o.parts.partShares, 0) << "parts of 60 frames by default";
    for (auto [args, reason] : {
             std::pair<std::vector<std::string>, std::string>{{"--list-parts", "--parts", "2", "--part-frames", "5"},
                                                              "cannot be combined"},
             {{"--capture", "d", "--parts", "2"}, "--parts only applies to --list-parts"},
             {{"--list-parts", "--video", "v.mp4"}, "cannot take --video"},
             {{"--list-parts", "--passes", "4"}, "--passes"},
             {{"--list-parts", "--data", "d"}, "cannot take --data"},
             {{"--list-parts", "--parts", "0"}, "from 1 to"},
         }) {
        EXPECT_FALSE(parse(args, o = Options(), error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find(reason), std::string::npos) << ::testing::PrintToString(args) << " -> " << error;
    }
}

TEST(Options, TakeTheirValueAfterAnEqualsSign) {
    Options spaced, joined;
    std::string error;
    ASSERT_TRUE(parse({"--still", "60", "--out", "s.png", "--dt", "16.5", "--backend", "cpu", "--threads", "3",
                       "--data", "d", "--no-overlays"}, spaced, error)) << error;
    ASSERT_TRUE(parse({"--still=60", "--out=s.png", "--dt=16.5", "--backend=cpu", "--threads=3", "--data=d",
                       "--no-overlays"}, joined, error)) << error;
    EXPECT_EQ(joined.mode, RunMode::Still);
    EXPECT_EQ(joined.still.seconds, spaced.still.seconds);
    EXPECT_EQ(joined.still.outPath, spaced.still.outPath);
    EXPECT_EQ(joined.still.dtMs, spaced.still.dtMs);
    EXPECT_EQ(joined.demo.driver.backend, spaced.demo.driver.backend);
    EXPECT_EQ(joined.demo.driver.threads, spaced.demo.driver.threads);
    EXPECT_EQ(joined.dataDir, spaced.dataDir);
    ASSERT_TRUE(parse({"--capture=a=b", "--fps=30", "--from=5", "--to=20"}, joined = Options(), error)) << error;
    EXPECT_EQ(joined.capture.frameDir, "a=b") << "only the first '=' splits";
    EXPECT_EQ(joined.capture.range.fps, 30);

    for (auto [args, reason] : {std::pair<std::vector<std::string>, std::string>{{"--mute=1"}, "--mute takes no value"},
                                {{"--help=yes"}, "--help takes no value"}, {{"--out="}, "--out needs a file name"},
                                {{"--bogus=1"}, "unknown option '--bogus'"}, {{"--start="}, "'' is not a time"}}) {
        EXPECT_FALSE(parse(args, joined = Options(), error)) << args[0];
        EXPECT_NE(error.find(reason), std::string::npos) << args[0] << " -> " << error;
    }
}

// Plain decimal for times, digits for counts, the same for every option; a
// refusal states the range.
TEST(Options, OneNumberSyntaxWithTheRangeInEveryRefusal) {
    struct Case {
        const char* option;
        std::string text;
        double value;  // what it reads as; NAN when refused
    };
    const double refused = NAN;
    const std::vector<Case> cases = {
        {"--start", "60", 60}, {"--start", "+5", 5}, {"--start", ".5", 0.5}, {"--start", "5.", 5},
        {"--start", "1E+1", 10}, {"--start", "106", 106}, {"--start", "0x10", refused}, {"--start", "inf", refused},
        {"--start", "nan", refused}, {"--start", "1e", refused}, {"--start", " 5", refused}, {"--start", "5 ", refused},
        {"--start", "5x", refused}, {"--start", "1,5", refused}, {"--start", "-1", refused},
        {"--start", "106.001", refused}, {"--start", "1e999", refused}, {"--start", "", refused},
        {"--threads", "1", 1}, {"--threads", "007", 7}, {"--threads", "256", 256}, {"--threads", "257", refused},
        {"--threads", "1024", refused}, {"--threads", "0", refused}, {"--threads", "+3", refused},
        {"--threads", "-1", refused}, {"--threads", "3.0", refused}, {"--threads", "1e2", refused},
        {"--threads", "0x10", refused}, {"--threads", "99999999999999999999", refused},
        // Long values are read without recursion: a regular expression matcher overflowed the stack here.
        {"--start", std::string(200000, '0') + "5", 5}, {"--threads", std::string(200000, '0') + "5", 5},
    };
    for (const Case& c : cases) {
        Options o;
        std::string error;
        const bool ok = parse({c.option, c.text}, o, error);
        const std::string what = std::string(c.option) + " '" + c.text + "': " + error;
        ASSERT_EQ(ok, !std::isnan(c.value)) << what;
        if (ok)
            EXPECT_EQ(c.option == std::string("--start") ? o.live.startSeconds : o.demo.driver.threads, c.value) << what;
        else
            EXPECT_NE(error.find(c.option == std::string("--start") ? "from 0 to 106 seconds" : "from 1 to 256"),
                      std::string::npos) << what;
    }
    // The same syntax and a stated range for the other numbers.
    for (auto [args, range] : {std::pair<std::vector<std::string>, std::string>{
                                   {"--capture", "d", "--fps", "0x10"}, "from 1 to 1000"},
                               {{"--capture", "d", "--fps", "1001"}, "from 1 to 1000"},
                               {{"--still", "0x10"}, "from 0 to 106 seconds"},
                               {{"--still", "5", "--dt", "0"}, "above 0 and up to 10000 ms"},
                               {{"--still", "5", "--dt", "0x1p3"}, "above 0 and up to 10000 ms"}}) {
        Options o;
        std::string error;
        EXPECT_FALSE(parse(args, o, error)) << ::testing::PrintToString(args);
        EXPECT_NE(error.find(range), std::string::npos) << ::testing::PrintToString(args) << " -> " << error;
    }
}

TEST(Options, HelpAndManualListEveryOption) {
    const std::string help = usageText("template");
    // Each option on a line of its own (a long description once swallowed the next option), none too wide.
    size_t start = 0;
    while (start < help.size()) {
        const size_t end = help.find('\n', start);
        const std::string line = help.substr(start, end - start);
        EXPECT_LE(line.size(), 100u) << line;
        start = end == std::string::npos ? help.size() : end + 1;
    }
    std::ifstream file(sourceDir() + "/docs/template.1");
    ASSERT_TRUE(file) << "docs/template.1 is missing";
    const std::string manual((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (const std::string& name : optionNames()) {
        if (name.compare(0, 2, "--") == 0)
            EXPECT_NE(help.find("\n  " + name + " "), std::string::npos) << name << " does not start a line of --help";
        else
            EXPECT_NE(help.find(name), std::string::npos) << name << " is not in --help";
        std::string escaped;  // groff writes a minus sign as \-
        for (char c : name) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(manual.find(escaped), std::string::npos) << name << " is not in docs/template.1";
    }
}

}  // namespace

namespace {

// The options --help lists under a heading, in order.
std::vector<std::string> listedUnder(const std::string& help, const std::string& heading) {
    std::vector<std::string> names;
    size_t at = help.find("\n" + heading + "\n");
    if (at == std::string::npos) return names;
    at += heading.size() + 2;
    while (at < help.size() && help.compare(at, 2, "  ") == 0) {
        // A description's further lines start further in.
        if (help.compare(at, 4, "  --") == 0) {
            const size_t end = help.find(' ', at + 2);
            names.push_back(help.substr(at + 2, end - at - 2));
        }
        at = help.find('\n', at) + 1;
    }
    return names;
}

// A value each option takes, for trying it with every job.
std::vector<std::string> withValue(const std::string& name) {
    for (auto [option, value] : {std::pair<std::string, std::string>{"--start", "3"}, {"--window", "800x600"},
                                 {"--target-fps", "25"}, {"--quality", "exact"}, {"--temporal", "off"}, {"--stats", "s.txt"},
                                 {"--out", "x.png"}, {"--dt", "16"}, {"--size", "320x240"}, {"--passes", "2"},
                                 {"--fps", "30"}, {"--from", "1"}, {"--to", "2"}, {"--codec", "h264"}, {"--crf", "20"},
                                 {"--part-frames", "5"}, {"--parts", "2"}, {"--moments", "13"}, {"--runs", "1"},
                                 {"--backend", "cpu"}, {"--threads", "2"}, {"--cpu-kernel", "scalar"}, {"--data", "d"}})
        if (option == name) return {name, value};
    return {name};
}

}  // namespace

// The help's headings and the refusals come from one table: what the help
// lists for the live show every headless job refuses (but --temporal), and what it lists as
// common every rendering job takes and the list of parts (which renders
// nothing) refuses.
TEST(Options, HelpHeadingsAgreeWithWhatEachJobTakes) {
    const std::string help = usageText("template");
    const std::vector<std::string> live = listedUnder(help, "Live show (default, needs a display):");
    const std::vector<std::string> common = listedUnder(help, "Common:");
    ASSERT_EQ(live.size(), 8u) << help;
    ASSERT_EQ(common.size(), 8u) << help;
    const std::vector<std::vector<std::string>> headless = {
        {"--still", "5"}, {"--capture", "d"}, {"--video", "v.mp4"}, {"--benchmark"}, {"--list-parts"},
        {"--assemble", "d", "--video", "v.mp4"}};
    for (const std::vector<std::string>& job : headless) {
        for (const std::string& name : live) {
            // Listed with the live show, the first job it applies to; the
            // picture jobs take it too (a --rung look over frames or per frame).
            if (name == "--temporal") continue;
            std::vector<std::string> args = job;
            for (const std::string& word : withValue(name)) args.push_back(word);
            Options o;
            std::string error;
            EXPECT_FALSE(parse(args, o, error)) << ::testing::PrintToString(args);
            EXPECT_EQ(error, name + " only applies to the live show") << ::testing::PrintToString(args);
        }
        for (const std::string& name : common) {
            if (name == "--help" || name == "--version") continue;
            std::vector<std::string> args = job;
            for (const std::string& word : withValue(name)) args.push_back(word);
            Options o;
            std::string error;
            const bool listParts = job[0] == "--list-parts";
            EXPECT_EQ(parse(args, o, error), !listParts) << ::testing::PrintToString(args) << " -> " << error;
            if (listParts) {
                EXPECT_EQ(error, "--list-parts renders nothing: it cannot take " + name);
            }
        }
    }
}

// Of several wrong options, the first one given is named; two jobs are refused
// before any option of them.
TEST(Options, NamesTheFirstOptionGivenThatDoesNotApply) {
    for (auto [args, reason] : {
             std::pair<std::vector<std::string>, std::string>{{"--still", "5", "--fps", "30", "--start", "3"},
                                                              "--fps only applies to --capture, --video and --list-parts"},
             {{"--still", "5", "--start", "3", "--fps", "30"}, "--start only applies to the live show"},
             {{"--fps", "30", "--still", "5", "--capture", "d"}, "--still cannot be combined with --capture or --video"},
             {{"--assemble", "d", "--video", "v.mp4", "--size", "320x240", "--out", "x.png"},
              "--assemble makes a video of frames already made: it cannot take --size"},
             {{"--assemble", "d", "--video", "v.mp4", "--out", "x.png", "--size", "320x240"},
              "--out only applies to --still"},
             {{"--list-parts", "--benchmark", "--still", "5"},
              "--list-parts only lists the parts of a capture: it cannot take --benchmark"},
             {{"--assemble", "d", "--overwrite"}, "--assemble needs --video FILE"},
         }) {
        Options o;
        std::string error;
        EXPECT_FALSE(parse(args, o, error)) << ::testing::PrintToString(args);
        EXPECT_EQ(error, reason) << ::testing::PrintToString(args);
    }
}
