// --assemble: a folder of captured frames becomes the video a capture would
// have made, and an incomplete or mixed folder is refused before encoding.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "outputs/assemble.h"
#include "outputs/video_encoder.h"
#include "capture/farm_support.h"
#include "support/check.h"

namespace fs = std::filesystem;

namespace {

class AssembleProgram : public ProgramInScratch {};

}  // namespace

TEST(AssembleFrames, MissingFramesAreNamedInTickOrderThenCounted) {
    const std::string dir = scratchDir("assemble_missing");
    CapturePlan plan;
    std::string error;
    ASSERT_TRUE(planCapture(10, 13.0, 14.0, showLengthSeconds, plan, error)) << error;
    for (int tick : {130, 131, 133, 134, 136, 137, 138}) std::ofstream(dir + "/" + frameFileName(tick)) << "x";
    fs::create_symlink("nowhere", dir + "/" + frameFileName(132));  // a link to nothing is no frame
    // A folder under a frame's name is there, only not a frame: the job says what it is.
    fs::remove(dir + "/" + frameFileName(134));
    fs::create_directory(dir + "/" + frameFileName(134));
    const std::vector<std::string> missing = missingFrames(dir, plan);
    EXPECT_EQ(missing, (std::vector<std::string>{"frame_00132.png", "frame_00135.png", "frame_00139.png"}));
}

TEST_F(AssembleProgram, MakesTheVideoTheCaptureMadeAndRefusesIncompleteOrMixedFolders) {
    const std::string part = "--fps 10 --from 13 --to 13.5";
    const ProgramResult capture = run("--capture frames --video direct.mp4 --size 160x120 " + part);
    ASSERT_EQ(capture.exitCode, 0) << capture.output;

    const ProgramResult joined = run("--assemble frames --video joined.mp4 " + part);
    ASSERT_EQ(joined.exitCode, 0) << joined.output;
    const VideoFacts facts = videoFacts(dir_ + "/joined.mp4");
    EXPECT_EQ(facts.frames, 5);
    EXPECT_TRUE(facts.audio) << "the music, from the range's start";
    const std::string direct = decodedChecksums(dir_ + "/direct.mp4");
    EXPECT_FALSE(direct.empty());
    EXPECT_EQ(decodedChecksums(dir_ + "/joined.mp4"), direct) << "pictures and sound as the capture encoded them";

    // A wider range than was captured: the frames outside it are missing.
    const ProgramResult wider = run("--assemble frames --video wider.mp4 --fps 10 --from 12.5 --to 13.5");
    EXPECT_TRUE(refused(wider, "5 of 10 frames are missing"));
    EXPECT_TRUE(contains(wider.output, "frame_00125.png, frame_00126.png, frame_00127.png and 2 more"));

    fs::remove(dir_ + "/frames/frame_00132.png");
    EXPECT_TRUE(refused(run("--assemble frames --video gap.mp4 " + part), "frame_00132.png"));

    // A frame of another size (from another capture) in its place.
    const ProgramResult small = run("--capture small --size 80x60 --fps 10 --from 13.2 --to 13.3");
    ASSERT_EQ(small.exitCode, 0) << small.output;
    fs::copy_file(dir_ + "/small/frame_00132.png", dir_ + "/frames/frame_00132.png");
    EXPECT_TRUE(refused(run("--assemble frames --video mixed.mp4 " + part), "frame_00132.png is 80x60"));

    EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"direct.mp4", "frames", "joined.mp4", "small"}))
        << "no video, not even a partial one";
}

// A frame cut short is refused, saying how, before ffmpeg is started to
// encode anything; so is a pipe (without waiting on it) or a folder under a
// frame's name, said to be what it is. (The loader's other refusals are the
// title images' too.)
TEST_F(AssembleProgram, RefusesUnreadableFramesBeforeEncodingSayingWhy) {
    ASSERT_EQ(run("--capture frames --size 32x24 --fps 10 --from 13 --to 13.4").exitCode, 0);
    const std::string frame = dir_ + "/frames/frame_00132.png";
    const std::string good = fileContents(frame);
    // ffmpeg as installed, but noting each time it is started to encode.
    const std::string path = fakeOnPath(
        dir_, "ffmpeg",
        "case \"$*\" in *rawvideo*) touch \"$0.encoding\";; esac\nexec \"" + findOnPath("ffmpeg") + "\" \"$@\"");
    const std::pair<std::string, std::string> cases[] = {
        {"cut", "cannot read frames/frame_00132.png: cut short: the file ends at byte 300, inside the IDAT chunk"},
        {"pipe", "cannot use frames/frame_00132.png: it is a pipe, not a frame file"},
        {"folder", "cannot use frames/frame_00132.png: it is a folder, not a frame file"},
    };
    for (const auto& [kind, message] : cases) {
        fs::remove(frame);
        if (kind == "cut") std::ofstream(frame, std::ios::binary) << good.substr(0, 300);
        if (kind == "pipe") {
            ASSERT_EQ(mkfifo(frame.c_str(), 0644), 0);
        }
        if (kind == "folder") fs::create_directory(frame);
        const ProgramResult r = runIn(dir_,
                                      "exec timeout 60 \"$PROGRAM\" --data \"$DATA\" --assemble frames --video v.mp4 "
                                      "--fps 10 --from 13 --to 13.4",
                                      {path});
        EXPECT_TRUE(refused(r, "assemble: " + message, true)) << kind;
        EXPECT_FALSE(fs::exists(dir_ + "/bin/ffmpeg.encoding")) << kind << ": found only once encoding had started";
        fs::remove_all(frame);
    }
    EXPECT_FALSE(fs::exists(dir_ + "/v.mp4"));
}

// A 16-bit grey PNG is a frame like any other: FreeImage takes it to 8 bits
// (the high byte of each sample), the same grey in every channel.
TEST_F(AssembleProgram, TakesSixteenBitGreyFrames) {
    ASSERT_EQ(run("--capture frames --size 32x24 --fps 10 --from 13 --to 13.3").exitCode, 0);
    const std::string frame = dir_ + "/frames/frame_00131.png";
    fs::remove(frame);
    ASSERT_EQ(runProgram({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "gradients=s=32x24", "-frames:v",
                          "1", "-pix_fmt", "gray16be", frame})
                  .exitCode,
              0);
    const std::string grey =
        runProgram({"ffmpeg", "-v", "error", "-i", frame, "-f", "rawvideo", "-pix_fmt", "gray16be", "-"}).output;
    ASSERT_EQ(grey.size(), 32u * 24u * 2u);

    const ProgramResult r = run("--assemble frames --video v.mkv --mute --fps 10 --from 13 --to 13.3");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // FFV1 keeps the pixels exactly: the second frame decodes to the grey's high bytes.
    const std::string rgb = runProgram({"ffmpeg", "-v", "error", "-i", dir_ + "/v.mkv", "-vf", "select=eq(n\\,1)", "-f",
                                        "rawvideo", "-pix_fmt", "rgb24", "-"})
                                .output;
    ASSERT_EQ(rgb.size(), 32u * 24u * 3u);
    int wrong = 0;
    for (size_t i = 0; i < 32u * 24u; ++i)
        for (int c = 0; c < 3; ++c) wrong += rgb[3 * i + c] != grey[2 * i];
    EXPECT_EQ(wrong, 0);
}
