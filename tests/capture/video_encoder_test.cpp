#include "app/video_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "capture/probe.h"
#include "support/test_paths.h"

namespace {

std::string valueAfter(const std::vector<std::string>& args, const std::string& flag) {
    const auto it = std::find(args.begin(), args.end(), flag);
    return it != args.end() && it + 1 != args.end() ? *(it + 1) : "";
}

bool contains(const std::vector<std::string>& args, const std::string& value) {
    return std::find(args.begin(), args.end(), value) != args.end();
}

VideoSettings smallVideo(const std::string& path, int frames) {
    VideoSettings s;
    s.outputPath = path;
    s.width = 64;
    s.height = 48;
    s.fps = 10;
    s.frameCount = frames;
    return s;
}

// A 1.5 s tone, shorter than the test videos so that the loop is exercised.
std::string makeTone(const std::string& dir) {
    const std::string path = dir + "/tone.mp3";
    std::string error;
    const bool made = runProgram({"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                  "sine=frequency=440:duration=1.5", "-c:a", "libmp3lame", path},
                                 error);
    return made ? path : "";
}

double rms(const std::vector<int16_t>& samples, double from, double to, int rate) {
    const size_t a = static_cast<size_t>(from * rate), b = std::min(samples.size(), static_cast<size_t>(to * rate));
    double sum = 0.0;
    for (size_t i = a; i < b; ++i) sum += double(samples[i]) * samples[i];
    return b > a ? std::sqrt(sum / double(b - a)) : -1.0;
}

}  // namespace

TEST(VideoArguments, WholeShowLoopsAndFadesTheTrackAndCutsBothStreamsToTheFrames) {
    VideoSettings s;
    s.outputPath = "-odd:name.mp4";
    s.frameCount = 6361;
    s.audioPath = "data/track.mp3";
    const std::vector<std::string> args = ffmpegArguments(s);
    EXPECT_EQ(args.front(), "ffmpeg");
    EXPECT_EQ(valueAfter(args, "-pix_fmt"), "bgra");  // the first -pix_fmt describes the input
    EXPECT_EQ(valueAfter(args, "-s"), "640x480");
    EXPECT_EQ(valueAfter(args, "-r"), "60");
    EXPECT_EQ(valueAfter(args, "-t"), secondsText(6361.0 / 60.0));
    EXPECT_EQ(valueAfter(args, "-filter:a"), "afade=t=out:st=96:d=10:curve=tri");
    // The loop applies to the track's input, which is the second one.
    const auto loop = std::find(args.begin(), args.end(), "-stream_loop");
    ASSERT_NE(loop, args.end());
    EXPECT_EQ(*(loop + 1), "-1");
    EXPECT_EQ(*(loop + 2), "-i");
    EXPECT_EQ(*(loop + 3), "file:data/track.mp3");
    EXPECT_TRUE(contains(args, "1:a:0"));
    EXPECT_TRUE(contains(args, "libx264"));
    EXPECT_EQ(valueAfter(args, "-crf"), "20");
    EXPECT_EQ(valueAfter(args, "-preset"), "veryfast");
    // An output name that looks like an option or a protocol stays a file name.
    EXPECT_EQ(args.back(), "file:-odd:name.mp4");
}

TEST(VideoArguments, PartStartsTheTrackAtItsFirstFrameAndSilentVideosHaveNoAudio) {
    VideoSettings s;
    s.outputPath = "part.mp4";
    s.fps = 10;
    s.frameCount = 4;
    s.audioPath = "track.mp3";
    s.audioStartSeconds = 12.3;
    std::vector<std::string> args = ffmpegArguments(s);
    EXPECT_EQ(valueAfter(args, "-t"), "0.4");
    EXPECT_EQ(valueAfter(args, "-filter:a"), "afade=t=out:st=96:d=10:curve=tri,atrim=start=12.3,asetpts=PTS-STARTPTS");

    s.audioPath.clear();
    args = ffmpegArguments(s);
    EXPECT_FALSE(contains(args, "-stream_loop"));
    EXPECT_FALSE(contains(args, "-filter:a"));
    EXPECT_FALSE(contains(args, "1:a:0"));
    EXPECT_FALSE(contains(args, "-c:a"));
    EXPECT_EQ(valueAfter(args, "-t"), "0.4");
}

TEST(VideoEncoder, EncodesFramesWithTheLoopedFadedTrack) {
    const std::string dir = scratchDir("video_with_audio");
    const std::string tone = makeTone(dir);
    ASSERT_FALSE(tone.empty());
    VideoSettings s = smallVideo(dir + "/out.mp4", 12);
    s.audioPath = tone;
    s.audioStartSeconds = 2.0;  // the track has looped once by then
    s.fadeStartSeconds = 2.5;   // so the fade runs 0.5 s to 1.0 s into the video
    s.fadeSeconds = 0.5;
    VideoEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.start(s, error)) << error;
    std::vector<uint32_t> red(64 * 48, 0x00FF0000u);
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(encoder.writeFrame(red.data(), 64, error)) << error;
    ASSERT_TRUE(encoder.finish(error)) << error;

    const VideoFacts facts = probeVideo(s.outputPath);
    ASSERT_TRUE(facts.ok);
    ASSERT_NE(facts.find("video"), nullptr);
    ASSERT_NE(facts.find("audio"), nullptr);
    EXPECT_EQ(facts.find("video")->frames, 12);
    EXPECT_NEAR(facts.find("video")->duration, 1.2, 1e-3);
    EXPECT_NEAR(facts.find("audio")->duration, 1.2, 0.03);
    EXPECT_NEAR(facts.duration, 1.2, 0.03);

    // Channel order: the 0x00RRGGBB frame must come out red.
    const std::vector<uint8_t> rgb =
        commandOutput("ffmpeg -v error -i " + shellQuoted(s.outputPath) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(rgb.size(), 64u * 48u * 3u);
    EXPECT_GT(rgb[3 * 1000], 230);
    EXPECT_LT(rgb[3 * 1000 + 1], 25);
    EXPECT_LT(rgb[3 * 1000 + 2], 25);

    // Loud before the fade, about half way down in its middle, silent after it.
    const std::vector<uint8_t> pcm =
        commandOutput("ffmpeg -v error -i " + shellQuoted(s.outputPath) + " -map 0:a -ac 1 -ar 8000 -f s16le -");
    std::vector<int16_t> samples(pcm.size() / 2);
    std::copy(pcm.data(), pcm.data() + samples.size() * 2, reinterpret_cast<uint8_t*>(samples.data()));
    const double loud = rms(samples, 0.05, 0.45, 8000);
    EXPECT_GT(loud, 1000.0);
    EXPECT_NEAR(rms(samples, 0.72, 0.78, 8000) / loud, 0.5, 0.1);
    EXPECT_LT(rms(samples, 1.05, 1.15, 8000), loud * 0.02);
}

TEST(VideoEncoder, TrimmingAStoppedCaptureCutsTheMusicToThePictures) {
    const std::string dir = scratchDir("video_trim");
    const std::string tone = makeTone(dir);
    ASSERT_FALSE(tone.empty());
    VideoSettings s = smallVideo(dir + "/out.mp4", 30);  // planned 3 s, stopped after 8 frames
    s.audioPath = tone;
    VideoEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.start(s, error)) << error;
    std::vector<uint32_t> frame(64 * 48, 0x00336699u);
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(encoder.writeFrame(frame.data(), 64, error)) << error;
    ASSERT_TRUE(encoder.finish(error)) << error;
    EXPECT_GT(probeVideo(s.outputPath).duration, 2.9);  // the music ran on

    ASSERT_TRUE(trimVideo("ffmpeg", s.outputPath, 0.8, error)) << error;
    const VideoFacts facts = probeVideo(s.outputPath);
    ASSERT_NE(facts.find("video"), nullptr);
    ASSERT_NE(facts.find("audio"), nullptr);
    EXPECT_EQ(facts.find("video")->frames, 8);
    EXPECT_NEAR(facts.duration, 0.8, 0.05);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator{}), 2);
}

TEST(VideoEncoder, ReportsAnEncoderThatDiesInsteadOfHanging) {
    const std::string dir = scratchDir("video_dies");
    VideoSettings s = smallVideo(dir + "/out.mp4", 50);
    s.width = 640;
    s.height = 480;  // a frame larger than the pipe buffer, so a write must reach ffmpeg
    s.videoCodec = {"-c:v", "no_such_codec"};
    VideoEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.start(s, error)) << error;
    std::vector<uint32_t> frame(640 * 480, 0u);
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) failed = !encoder.writeFrame(frame.data(), 640, error);
    EXPECT_TRUE(failed);
    EXPECT_NE(error.find("stopped reading"), std::string::npos) << error;
    std::string status;
    EXPECT_FALSE(encoder.finish(status));
    EXPECT_NE(status.find("exited with status"), std::string::npos) << status;
    EXPECT_FALSE(encoder.running());
}

TEST(VideoEncoder, MissingProgramFailsBeforeStarting) {
    VideoSettings s = smallVideo(scratchDir("video_missing") + "/out.mp4", 5);
    s.program = "no-such-encoder-program";
    VideoEncoder encoder;
    std::string error;
    EXPECT_FALSE(encoder.start(s, error));
    EXPECT_NE(error.find("not found on PATH"), std::string::npos) << error;
    EXPECT_FALSE(encoder.running());
    EXPECT_FALSE(std::filesystem::exists(s.outputPath));

    EXPECT_EQ(findOnPath("no-such-encoder-program"), "");
    const std::string sh = findOnPath("sh");
    EXPECT_FALSE(sh.empty());
    EXPECT_EQ(sh.front(), '/');
}
