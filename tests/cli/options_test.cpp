#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/parse_options.h"
#include "support/test_paths.h"
#include "support/check.h"

namespace {

// What a command line sets, as words "name=value".
std::string settings(const Options& o) {
    const char* modes[] = {"show", "still", "capture", "assemble", "list-parts", "benchmark", "help", "version"};
    std::ostringstream t;
    t << " mode=" << modes[static_cast<int>(o.mode)] << " still=" << o.still.seconds << " out=" << o.still.outPath
      << " dt=" << o.still.dtMs << " backend=" << static_cast<int>(o.demo.driver.backend)
      << " threads=" << o.demo.driver.threads << " simd=" << (o.demo.driver.cpuKernel == CpuKernel::Simd)
      << " overlays=" << o.demo.overlays << " start=" << o.live.startSeconds << " adaptive=" << o.live.adaptiveQuality
      << " target=" << o.live.targetFps << " stats=" << o.live.statsPath << " clean=" << o.demo.reconstructFull
      << " temporal=" << (o.demo.reuse == PictureReuse::Temporal) << " preview=" << o.output.preview
      << " rung=" << o.output.rung << " window=" << o.live.windowWidth << "x" << o.live.windowHeight
      << " fullscreen=" << o.live.fullscreen << " size=" << o.demo.pictureWidth << "x" << o.demo.pictureHeight
      << " aspect=" << o.demo.keepAspect << " passes=" << o.demo.passes << " codec=" << o.capture.video.codec
      << " crf=" << o.capture.video.crf << " overwrite=" << o.output.overwrite << " dir=" << o.capture.frameDir
      << " fps=" << o.capture.range.fps << " from=" << o.capture.range.fromSeconds
      << " to=" << o.capture.range.toSeconds << " shares=" << o.parts.partShares << " runs=" << o.benchmark.runs
      << " data=" << o.dataDir << " moments=";
    for (double m : o.benchmark.moments) t << m << ",";
    return t.str() + " ";
}

// Each command line is taken, and sets what it says.
TEST(Options, TakesEachJobsSettings) {
    // clang-format off
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "mode=show adaptive=1"},
        {{"--still", "3", "--help"}, "mode=help"},  // help wins over everything else
        {{"--version"}, "mode=version"}, {{"--video", "v.mp4"}, "mode=capture crf=-1"},
        {{"--still", "60", "--out", "s.png", "--dt", "16.5", "--backend", "cpu", "--threads", "3", "--no-overlays"},
         "mode=still still=60 out=s.png dt=16.5 backend=1 threads=3 overlays=0"},
        {{"--capture", "d", "--fps", "30", "--from", "5", "--to", "20"}, "fps=30 from=5 to=20"},
        {{"--cpu-kernel=scalar", "--cpu-kernel=simd"}, "simd=1"},
        {{"--benchmark", "--threads", "2", "--cpu-kernel", "scalar", "--moments", "97,.5,105.99", "--runs=1"},
         "mode=benchmark threads=2 simd=0 runs=1 moments=97,0.5,105.99,"},
        {{"--quality", "exact", "--target-fps", "60", "--stats", "s.txt"}, "adaptive=0 target=60 stats=s.txt"},
        {{"--quality", "clean"}, "adaptive=1 clean=1"}, {{"--temporal", "off"}, "temporal=0"},
        {{"--still", "5", "--preview"}, "preview=1"}, {{"--video=v.mp4", "--preview"}, "preview=1"},
        {{"--still", "40", "--rung", "1@320x240", "--temporal=on"}, "rung=1@320x240 temporal=1"},
        {{"--capture", "d", "--rung", "4@160x120", "--temporal", "off"}, "rung=4@160x120 temporal=0"},
        {{"--window", "160x16384", "--fullscreen"}, "window=160x16384 fullscreen=1"},
        {{"--window=1920x0001080"}, "window=1920x1080"},
        {{"--window", "16383x16384"}, "window=16383x16384"},  // the widest SDL can hold
        {{"--still", "5", "--size", "1920x1080", "--keep-aspect", "--passes", "16"}, "size=1920x1080 aspect=1 passes=16"},
        {{"--capture", "d", "--size=16x16384", "--passes=4096"}, "size=16x16384 passes=4096"},
        {{"--video", "v.webm", "--codec", "av1", "--crf=63", "--overwrite"}, "codec=av1 crf=63 overwrite=1"},
        {{"--still", "5", "--overwrite"}, "overwrite=1"},
        {{"--assemble", "frames", "--video", "v.mkv", "--fps", "25", "--from", "3", "--to", "4", "--mute", "--overwrite",
          "--codec", "ffv1"}, "mode=assemble dir=frames fps=25 from=3 to=4 codec=ffv1"},
        {{"--list-parts", "--fps", "30", "--from", "90", "--to", "94", "--parts", "3"}, "mode=list-parts shares=3"},
        {{"--capture=a=b", "--fps=30"}, "dir=a=b fps=30"},  // only the first '=' splits
        {{"--still=60", "--out=s.png", "--dt=16.5", "--backend=cpu", "--threads=3", "--data=d"},
         "still=60 out=s.png dt=16.5 backend=1 threads=3 data=d"},
        // Plain decimal for times, digits for counts.
        {{"--start", "+5"}, "start=5"}, {{"--start", ".5"}, "start=0.5"}, {{"--start", "5."}, "start=5"},
        {{"--start", "1E+1"}, "start=10"}, {{"--start", "106"}, "start=106"}, {{"--threads", "007"}, "threads=7"},
        {{"--threads", "256"}, "threads=256"},
        // Long values are read without recursion: a regular expression matcher overflowed the stack here.
        {{"--start", std::string(200000, '0') + "5"}, "start=5"}, {{"--threads", std::string(200000, '0') + "5"}, "threads=5"}};
    // clang-format on
    for (const auto& [args, expected] : cases) {
        Options o;
        std::string error;
        const std::string what = ::testing::PrintToString(args).substr(0, 200);
        ASSERT_TRUE(parse(args, o, error)) << what << ": " << error;
        std::istringstream words(expected);
        for (std::string word; words >> word;) EXPECT_TRUE(contains(settings(o), " " + word + " ")) << what;
    }
}

// Each malformed command line is refused with a reason that names the
// culprit and states the range; of several wrong options the first given is named.
TEST(Options, RefusesNamingTheCulprit) {
    // clang-format off
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "--bogus"}, {{"--bogus=1"}, "unknown option '--bogus'"}, {{"--still"}, "--still"},
        {{"--still", "abc"}, "abc"}, {{"--still", "200"}, "--still"}, {{"--still", "0x10"}, "from 0 to 106 seconds"},
        {{"--still", "5", "--dt", "0"}, "above 0 and up to 10000 ms"}, {{"--still", "5", "--dt", "0x1p3"}, "--dt"},
        {{"--still", "5", "--out", ""}, "--out"}, {{"--out="}, "--out needs a file name"},
        {{"--mute=1"}, "--mute takes no value"}, {{"--help=yes"}, "--help takes no value"},
        {{"--backend", "gpu"}, "gpu"}, {{"--cpu-kernel", "avx"}, "'avx' is not one of simd, scalar"},
        {{"--capture", "d", "--fps", "0"}, "from 1 to 1000"}, {{"--capture", "d", "--fps", "1001"}, "from 1 to 1000"},
        {{"--capture", "d", "--from", "20", "--to", "10"}, "--from"}, {{"--still", "5", "--capture", "d"}, "--capture"},
        {{"--out", "x.png"}, "--out"}, {{"--benchmark", "--still", "5"}, "--benchmark cannot be combined"},
        {{"--video", "v.mp4", "--benchmark"}, "--benchmark cannot be combined"},
        {{"--moments", "13"}, "--moments only applies to --benchmark"},
        {{"--benchmark", "--runs", "0"}, "from 1 to 1000"},
        // Every moment of the list is checked; the show ends at the tick after 105.99 s.
        {{"--benchmark", "--moments", "13,106"}, "'106' is not a time from 0 to 105.99 seconds"},
        {{"--benchmark", "--moments", "13,,30"}, "'' is not a time"}, {{"--start="}, "'' is not a time"},
        {{"--target-fps", "0"}, "from 1 to 240"},
        {{"--quality", "best"}, "'best' is not one of adaptive, clean, exact"},
        {{"--preview"}, "--preview only applies to --still, --capture and --video"},
        {{"--benchmark", "--preview"}, "--preview only applies"},
        {{"--still", "5", "--quality", "clean"}, "--quality only applies to the live show"},
        {{"--still", "5", "--rung", "3@320x240"}, "'3@320x240' is not one of the live show's rungs: 32@640x480"},
        // Each ladder has its own rungs.
        {{"--still", "5", "--rung", "1@320x240", "--temporal", "off"}, "is not one of the live show's rungs"},
        {{"--still", "5", "--rung", "1@320x240", "--preview"}, "--rung cannot be combined with --preview"},
        {{"--video", "v.mp4", "--rung", "1@320x240", "--passes", "4"}, "--rung cannot be combined with --passes"},
        {{"--rung", "1@320x240"}, "--rung only applies to --still, --capture and --video"},
        {{"--assemble", "d", "--video", "v.mp4", "--rung", "1@320x240"}, "--rung"},
        {{"--benchmark", "--temporal", "off"}, "--temporal only applies to the live show, --still"},
        {{"--temporal", "maybe"}, "'maybe' is not one of on, off"},
        {{"--window", "159x600"}, "--window: '159x600' is not a size WxH with both sides from 160 to 16384"},
        {{"--window", "800x16385"}, "is not a size WxH"}, {{"--window", "800X600"}, "is not a size WxH"},
        {{"--window", "-800x600"}, "is not a size WxH"}, {{"--window", "1e3x600"}, "is not a size WxH"},
        {{"--window", ""}, "is not a size WxH"}, {{"--window", "99999999999999999999x600"}, "is not a size WxH"},
        // A row of 16384 pixels is more than SDL can hold.
        {{"--window", "16384x160"}, "--window: 16384x160 is too wide: a window is at most 16383 pixels wide"},
        {{"--still=5", "--fullscreen"}, "--fullscreen only applies to the live show"},
        {{"--still", "5", "--size", "15x480"}, "with both sides from 16 to 16384"},
        {{"--still", "5", "--size", "640"}, "with both sides from 16 to 16384"},
        // Within the sides' range but too many pixels for one frame.
        {{"--still", "5", "--size", "16384x16384"}, "is more than 67108864 pixels"},
        {{"--video", "v.mp4", "--passes", "4097"}, "from 1 to 4096"},
        {{"--still", "5", "--preview", "--passes", "2"}, "--preview cannot be combined with --passes"},
        {{"--benchmark", "--passes", "2"}, "--passes only applies to --still, --capture and --video"},
        {{"--video", "v.mp4", "--codec", "mpeg2"}, "'mpeg2' is not one of h264, h265, prores, ffv1, vp9, av1"},
        {{"--video", "v.mp4", "--crf", "64"}, "from 0 to 63"},
        {{"--capture", "d", "--codec", "h264"}, "--codec only applies to --video"},
        {{"--benchmark", "--overwrite"}, "--overwrite only applies to"},
        {{"--assemble", "frames"}, "--assemble needs --video FILE"},
        {{"--assemble", "d", "--overwrite"}, "--assemble needs --video FILE"},
        {{"--assemble", "frames", "--video", "v.mp4", "--capture", "x"}, "--capture"},
        {{"--assemble", "frames", "--video", "v.mp4", "--passes", "4"}, "it cannot take --passes"},
        {{"--list-parts", "--parts", "2", "--part-frames", "5"}, "cannot be combined"},
        {{"--capture", "d", "--parts", "2"}, "--parts only applies to --list-parts"},
        {{"--list-parts", "--video", "v.mp4"}, "cannot take --video"}, {{"--list-parts", "--parts", "0"}, "from 1 to"},
        {{"--start", "0x10"}, "--start"}, {{"--start", "inf"}, "from 0 to 106 seconds"}, {{"--start", "1e"}, "'1e'"},
        {{"--start", "5 "}, "'5 '"}, {{"--start", "-1"}, "'-1'"}, {{"--start", "106.001"}, "from 0 to 106 seconds"},
        {{"--start", "1e999"}, "'1e999'"}, {{"--threads", "257"}, "from 1 to 256"}, {{"--threads", "+3"}, "'+3'"},
        {{"--threads", "3.0"}, "'3.0'"}, {{"--threads", "99999999999999999999"}, "from 1 to 256"},
        {{"--still", "5", "--fps", "30", "--start", "3"}, "--fps only applies to --capture, --video and --list-parts"},
        {{"--still", "5", "--start", "3", "--fps", "30"}, "--start only applies to the live show"},
        {{"--fps", "30", "--still", "5", "--capture", "d"}, "--still cannot be combined with --capture or --video"},
        {{"--assemble", "d", "--video", "v.mp4", "--size", "320x240", "--out", "x.png"},
         "--assemble makes a video of frames already made: it cannot take --size"},
        {{"--assemble", "d", "--video", "v.mp4", "--out", "x.png", "--size", "320x240"},
         "--out only applies to --still"},
        {{"--list-parts", "--benchmark", "--still", "5"},
         "--list-parts only lists the parts of a capture: it cannot take --benchmark"}};
    // clang-format on
    for (const auto& [args, culprit] : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(parse(args, o, error)) << ::testing::PrintToString(args);
        EXPECT_TRUE(contains(error, culprit)) << ::testing::PrintToString(args);
    }
}

TEST(Options, HelpAndManualListEveryOption) {
    const std::string help = usageText("template");
    // Each option on a line of its own (a long description once swallowed the next option), none too wide.
    for (size_t start = 0, end; start < help.size(); start = end + 1) {
        end = std::min(help.find('\n', start), help.size());
        EXPECT_LE(end - start, 100u) << help.substr(start, end - start);
    }
    std::ifstream file(sourceDir() + "/docs/template.1");
    ASSERT_TRUE(file) << "docs/template.1 is missing";
    const std::string manual((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (const std::string& name : optionNames()) {
        if (name.compare(0, 2, "--") == 0)
            EXPECT_TRUE(contains(help, "\n  " + name + " ")) << name << " does not start a line of --help";
        else
            EXPECT_TRUE(contains(help, name)) << name << " is not in --help";
        std::string escaped;  // groff writes a minus sign as \-
        for (char c : name) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_TRUE(contains(manual, escaped)) << name << " is not in docs/template.1";
    }
}

// The options --help lists under a heading, in order.
std::vector<std::string> listedUnder(const std::string& help, const std::string& heading) {
    std::vector<std::string> names;
    size_t at = help.find("\n" + heading + "\n");
    if (at == std::string::npos) return names;
    at += heading.size() + 2;
    while (at < help.size() && help.compare(at, 2, "  ") == 0) {
        // A description's further lines start further in.
        if (help.compare(at, 4, "  --") == 0) names.push_back(help.substr(at + 2, help.find(' ', at + 2) - at - 2));
        at = help.find('\n', at) + 1;
    }
    return names;
}

// An option with a value it takes, for trying it with every job.
std::vector<std::string> withValue(const std::string& name) {
    for (auto [option, value] : {std::pair<std::string, std::string>{"--start", "3"},
                                 {"--window", "800x600"},
                                 {"--target-fps", "25"},
                                 {"--quality", "exact"},
                                 {"--temporal", "off"},
                                 {"--stats", "s.txt"},
                                 {"--out", "x.png"},
                                 {"--dt", "16"},
                                 {"--size", "320x240"},
                                 {"--passes", "2"},
                                 {"--fps", "30"},
                                 {"--from", "1"},
                                 {"--to", "2"},
                                 {"--codec", "h264"},
                                 {"--crf", "20"},
                                 {"--part-frames", "5"},
                                 {"--parts", "2"},
                                 {"--moments", "13"},
                                 {"--runs", "1"},
                                 {"--backend", "cpu"},
                                 {"--threads", "2"},
                                 {"--cpu-kernel", "scalar"},
                                 {"--data", "d"}})
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
    for (const std::vector<std::string>& job :
         std::vector<std::vector<std::string>>{{"--still", "5"},
                                               {"--capture", "d"},
                                               {"--video", "v.mp4"},
                                               {"--benchmark"},
                                               {"--list-parts"},
                                               {"--assemble", "d", "--video", "v.mp4"}}) {
        const bool listParts = job[0] == "--list-parts";
        for (const std::vector<std::string>* names : {&live, &common})
            for (const std::string& name : *names) {
                // --temporal is listed with the live show, the first job it applies to; the picture jobs take it too.
                if (name == "--temporal" || name == "--help" || name == "--version") continue;
                std::vector<std::string> args = job;
                for (const std::string& word : withValue(name)) args.push_back(word);
                Options o;
                std::string error;
                const bool taken = parse(args, o, error);
                if (names == &live)
                    EXPECT_EQ(error, name + " only applies to the live show") << ::testing::PrintToString(args);
                else if (listParts)
                    EXPECT_EQ(error, "--list-parts renders nothing: it cannot take " + name);
                else
                    EXPECT_TRUE(taken) << ::testing::PrintToString(args) << " -> " << error;
            }
    }
}
