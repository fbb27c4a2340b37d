// Video codecs and containers: the ffmpeg arguments each name and --codec give,
// a tiny capture in each read back with ffprobe, the refusals made before
// rendering, and --overwrite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "anim/show_state.h"
#include "outputs/video_encoder.h"
#include "outputs/video_format.h"
#include "outputs/video_output.h"
#include "support/check.h"
#include "support/png_read.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace {

// ffprobe's flat output as key=value, e.g. streams.stream.0.codec_name -> h264.
std::map<std::string, std::string> probe(const std::string& path) {
    std::istringstream lines(
        runProgram({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                    "stream=codec_type,codec_name,codec_tag_string,pix_fmt,nb_read_frames", "-of", "flat", path})
            .output);
    std::map<std::string, std::string> facts;
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string value = line.substr(equals + 1);
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        facts[line.substr(0, equals)] = value;
    }
    return facts;
}

std::string head(const std::string& path, size_t bytes) {
    std::ifstream file(path, std::ios::binary);
    std::string text(bytes, '\0');
    file.read(&text[0], static_cast<std::streamsize>(bytes));
    text.resize(static_cast<size_t>(file.gcount()));
    return text;
}

// The video's frames decoded to RGB, as 0x00RRGGBB words.
std::vector<uint32_t> decodedFrames(const std::string& path) {
    const std::string rgb =
        runProgram({"ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}).output;
    std::vector<uint32_t> pixels(rgb.size() / 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] =
            uint32_t(uint8_t(rgb[3 * i])) << 16 | uint32_t(uint8_t(rgb[3 * i + 1])) << 8 | uint8_t(rgb[3 * i + 2]);
    return pixels;
}

class VideoProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (programPath().empty()) GTEST_SKIP() << "the program is not built";
    }
    // A tiny part: 3 frames of 160 x 120 from 13 s at 10 per second.
    ProgramResult capture(const std::string& args, const std::vector<std::string>& env = {}) {
        return runProgram(
            {"/bin/sh", "-c",
             "exec \"$0\" --data \"$1\" --backend cpu --size 160x120 --fps 10 --from 13 --to 13.3 " + args,
             programPath(), sourceDir() + "/data"},
            env, dir_);
    }
    const std::string dir_ = scratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

}  // namespace

// Which codec goes in which container, whatever the extension's case; the
// container's own codec without --codec; --crf only where it means something.
TEST(VideoFormat, CodecsGoOnlyInContainersThatHoldThem) {
    const std::map<std::string, std::string> holds = {{"h264", "mp4 mov mkv"}, {"h265", "mp4 mov mkv"},
                                                      {"prores", "mov mkv"},   {"ffv1", "mov mkv"},
                                                      {"vp9", "mp4 mkv webm"}, {"av1", "mp4 mkv webm"}};
    VideoFormat format;
    std::string error;
    for (const auto& [codec, containers] : holds)
        for (const std::string container : {"mp4", "mov", "mkv", "webm"}) {
            const bool fits = (" " + containers + " ").find(" " + container + " ") != std::string::npos;
            error.clear();
            EXPECT_EQ(videoFormatFor("out/v." + container, codec, -1, format, error), fits)
                << codec << " " << container;
            if (fits) continue;
            EXPECT_TRUE(contains(error, "out/v." + container));
            EXPECT_NE(error.find("." + containers.substr(0, containers.find(' '))), std::string::npos)
                << "names a container that works: " << error;
        }

    for (auto [name, codec, encoder, audio] : {std::tuple{"A.MP4", "h264", "libx264", "aac"},
                                               {"a.Mov", "prores", "prores_ks", "aac"},
                                               {"a.mkv", "ffv1", "ffv1", "aac"},
                                               {"a.webm", "vp9", "libvpx-vp9", "libopus"}}) {
        ASSERT_TRUE(videoFormatFor(name, "", -1, format, error)) << name << ": " << error;
        EXPECT_EQ(format.codec, codec) << name;
        EXPECT_EQ(format.videoEncoder, encoder) << name;
        EXPECT_EQ(format.audioEncoder, audio) << name;
        EXPECT_EQ(format.containerArguments.empty(), format.container == "mkv" || format.container == "webm") << name;
    }
    ASSERT_TRUE(videoFormatFor("a.mov", "h265", 28, format, error)) << error;
    const std::vector<std::string>& args = format.videoArguments;
    const auto quality = std::find(args.begin(), args.end(), "-crf");
    ASSERT_TRUE(quality != args.end() && quality + 1 != args.end());
    EXPECT_EQ(quality[1], "28");
    EXPECT_NE(std::find(args.begin(), args.end(), "hvc1"), args.end()) << "the tag QuickTime players look for";

    for (auto [name, codec, crf, reason] : {std::tuple{"a.mov", "prores", 10, "--crf does not apply to prores"},
                                            {"a.mkv", "ffv1", 0, "lossless"},
                                            {"a.mp4", "h264", 52, "0 to 51"},
                                            {"a.mp4", "h265", 63, "0 to 51"},
                                            {"a.avi", "", -1, ".mp4, .mov, .mkv or .webm"},
                                            {"mp4", "", -1, "name the video"}}) {
        error.clear();
        EXPECT_FALSE(videoFormatFor(name, codec, crf, format, error)) << name << " " << codec;
        EXPECT_TRUE(contains(error, reason));
    }
    EXPECT_TRUE(videoFormatFor("a.webm", "vp9", 63, format, error)) << error;
}

struct CodecCase {
    const char* args;
    const char* file;
    const char* codec;      // as ffprobe names it
    const char* signature;  // in the container's first bytes
    const char* audio;
};

class VideoCodecs : public VideoProgram {
protected:
    // Three frames with the music, decoding to the captured pictures (exactly
    // for FFV1, closely for the others).
    void captureReadsBack(const CodecCase& c) {
        const ProgramResult r = capture(std::string("--capture frames --video ") + c.file + " " + c.args);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        std::map<std::string, std::string> facts = probe(dir_ + "/" + c.file);
        EXPECT_EQ(facts["streams.stream.0.codec_type"], "video");
        EXPECT_EQ(facts["streams.stream.0.codec_name"], c.codec);
        EXPECT_EQ(facts["streams.stream.0.nb_read_frames"], "3");
        EXPECT_EQ(facts["streams.stream.1.codec_type"], "audio");
        EXPECT_EQ(facts["streams.stream.1.codec_name"], c.audio);
        if (std::string(c.codec) == "hevc") {
            EXPECT_EQ(facts["streams.stream.0.codec_tag_string"], "hvc1");
        }
        EXPECT_TRUE(contains(head(dir_ + "/" + c.file, 64), c.signature)) << "container " << c.signature;

        std::vector<uint32_t> captured;
        for (int tick = 130; tick <= 132; ++tick) {
            int w = 0, h = 0;
            const std::vector<uint32_t> png = readPng(dir_ + "/frames/frame_00" + std::to_string(tick) + ".png", w, h);
            for (uint32_t p : png) captured.push_back(p & 0x00FFFFFFu);
        }
        ASSERT_EQ(captured.size(), 3u * 160u * 120u);
        const std::vector<uint32_t> decoded = decodedFrames(dir_ + "/" + c.file);
        ASSERT_EQ(decoded.size(), captured.size());
        if (std::string(c.codec) == "ffv1") {
            EXPECT_TRUE(decoded == captured) << "FFV1 is lossless";
            return;
        }
        double difference = 0;
        for (size_t i = 0; i < captured.size(); ++i)
            for (int shift : {0, 8, 16})
                difference += std::abs(int(captured[i] >> shift & 0xFF) - int(decoded[i] >> shift & 0xFF));
        EXPECT_LT(difference / (captured.size() * 3), 12.0) << "the pictures, in their colours";
    }
};

TEST_F(VideoCodecs, H264InMp4) {
    captureReadsBack({"", "v.mp4", "h264", "ftypisom", "aac"});
}
TEST_F(VideoCodecs, H265InMp4) {
    captureReadsBack({"--codec h265 --crf 30", "v.mp4", "hevc", "ftypisom", "aac"});
}
TEST_F(VideoCodecs, ProResInMov) {
    captureReadsBack({"", "v.mov", "prores", "ftypqt", "aac"});
}
TEST_F(VideoCodecs, Ffv1InMkv) {
    captureReadsBack({"", "v.mkv", "ffv1", "matroska", "aac"});
}
TEST_F(VideoCodecs, Vp9InWebm) {
    captureReadsBack({"", "v.webm", "vp9", "webm", "opus"});
}
TEST_F(VideoCodecs, Av1InWebm) {
    captureReadsBack({"--codec av1", "v.webm", "av1", "webm", "opus"});
}

// An ffmpeg without an encoder the video needs fails the job before a frame
// is rendered, naming the encoder; without music no audio encoder is needed.
TEST_F(VideoProgram, AMissingEncoderIsRefusedBeforeRendering) {
    const std::string real = findOnPath("ffmpeg");
    const std::string path = fakeOnPath(dir_, "ffmpeg",
                                        "case \"$*\" in *-encoders*) \"" + real +
                                            "\" \"$@\" | grep -v -e libx265 -e libopus; exit 0;; esac\n"
                                            "exec \"" +
                                            real + "\" \"$@\"");
    // One line each, before rendering.
    EXPECT_TRUE(refused(capture("--video v.mp4 --codec h265", {path}), "no libx265 encoder", true));
    const ProgramResult opus = capture("--video v.webm", {path});
    EXPECT_TRUE(refused(opus, "no libopus encoder", true));
    EXPECT_TRUE(contains(opus.output, "--mute"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "only bin/ is there";

    const ProgramResult silent = capture("--video v.webm --mute --to 13.1", {path});
    ASSERT_EQ(silent.exitCode, 0) << silent.output;
    std::map<std::string, std::string> facts = probe(dir_ + "/v.webm");
    EXPECT_EQ(facts["streams.stream.0.codec_name"], "vp9");
    EXPECT_EQ(facts.count("streams.stream.1.codec_type"), 0u) << "no audio stream";
}

// An existing video or frame is refused, naming it, and left as it was;
// --overwrite replaces them.
TEST_F(VideoProgram, ExistingOutputsAreKeptUnlessOverwriting) {
    fs::create_directory(dir_ + "/frames");
    for (const char* name : {"frames/frame_00130.png", "frames/frame_00132.png", "v.mkv"})
        std::ofstream(dir_ + "/" + name) << "older";

    EXPECT_TRUE(refused(capture("--capture frames"),
                        "frames/frame_00130.png exists (and 1 more of the range): use --overwrite"));
    EXPECT_TRUE(refused(capture("--video v.mkv --mute"), "v.mkv exists: use --overwrite to replace it"));
    for (const char* name : {"frames/frame_00130.png", "frames/frame_00132.png", "v.mkv"})
        EXPECT_EQ(fileContents(dir_ + "/" + name), "older") << name;
    EXPECT_FALSE(fs::exists(dir_ + "/frames/frame_00131.png")) << "refused before the first frame";

    const ProgramResult replaced = capture("--capture frames --video v.mkv --mute --overwrite");
    ASSERT_EQ(replaced.exitCode, 0) << replaced.output;
    int w = 0, h = 0;
    for (int tick = 130; tick <= 132; ++tick)
        EXPECT_EQ(readPng(dir_ + "/frames/frame_00" + std::to_string(tick) + ".png", w, h).size(), 160u * 120u) << tick;
    EXPECT_EQ(probe(dir_ + "/v.mkv")["streams.stream.0.nb_read_frames"], "3");
}

// A size one up on each odd side would be more pixels than a frame may have:
// only the size below is offered.
TEST(VideoFormat, OddSizesAreOfferedOnlyEvenSizesThatFit) {
    VideoRequest request;
    request.path = "v.mp4";
    CapturePlan plan;
    std::string error, warning;
    ASSERT_TRUE(planCapture(10, 13.0, 13.3, showLengthSeconds, plan, error)) << error;
    VideoSettings video;
    const std::string data = sourceDir() + "/data";
    EXPECT_FALSE(planVideo(request, false, false, false, data, plan, 8191, 8193, video, warning, error));
    EXPECT_TRUE(contains(error, "not 8191x8193: use --size 8190x8192, or --codec vp9"));
    EXPECT_TRUE(planVideo(request, false, false, false, data, plan, 8190, 8192, video, warning, error)) << error;
}

// x264 and x265 refuse an odd side: such a size is refused before rendering,
// naming the sizes that work. ProRes, FFV1, VP9 and AV1 take any size, and an
// assembly of odd frames is refused or made by the same rule.
TEST_F(VideoProgram, OddSizesAreRefusedOnlyWhereTheCodecNeedsEvenSides) {
    const std::pair<const char*, const char*> refusals[] = {
        {"--video v.mp4 --size 33x25",
         "cannot write v.mp4: h264 video needs an even width and height, not 33x25: use --size 32x24 or 34x26, "
         "or --codec vp9 or av1, which take any size"},
        {"--video v.mkv --codec h265 --size 32x25", "not 32x25: use --size 32x24 or 32x26, or --codec prores, ffv1, "},
        {"--video v.mov --codec h264 --size 33x24", "or --codec prores or ffv1, which"},
    };
    for (auto [args, message] : refusals) {
        EXPECT_TRUE(refused(capture(args), message, true)) << "refused before rendering: " << args;
    }
    EXPECT_TRUE(fs::is_empty(dir_));

    const auto size = [](const std::string& path) {
        return runProgram({"ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of", "csv=p=0", path})
            .output;
    };
    for (auto [file, codec] : {std::pair{"v.mov", "prores"}, {"v.mkv", "ffv1"}, {"v.webm", "vp9"}, {"v.mp4", "av1"}}) {
        const ProgramResult r = capture(std::string("--video ") + file + " --codec " + codec + " --mute --size 33x25");
        ASSERT_EQ(r.exitCode, 0) << file << "\n" << r.output;
        EXPECT_EQ(size(dir_ + "/" + file), "33,25\n") << file;
    }

    ASSERT_EQ(capture("--capture odd --size 33x25").exitCode, 0);
    const auto assemble = [this](const std::string& args) {
        return runProgram(
            {"/bin/sh", "-c", "exec \"$0\" --data \"$1\" --assemble odd --fps 10 --from 13 --to 13.3 " + args,
             programPath(), sourceDir() + "/data"},
            {}, dir_);
    };
    EXPECT_TRUE(refused(assemble("--video a.mp4"),
                        "h264 video needs an even width and height, and the frames are "
                        "33x25: use --codec vp9 or av1, which take any size"));
    EXPECT_FALSE(fs::exists(dir_ + "/a.mp4"));
    const ProgramResult ffv1 = assemble("--video a.mkv --mute");
    ASSERT_EQ(ffv1.exitCode, 0) << ffv1.output;
    EXPECT_EQ(size(dir_ + "/a.mkv"), "33,25\n");
}
