// --assemble: a folder of captured frames becomes the video a capture would
// have made, and an incomplete or mixed folder is refused before encoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "outputs/assemble.h"
#include "capture/farm_support.h"

namespace fs = std::filesystem;

namespace {

class AssembleProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (programPath().empty()) GTEST_SKIP() << "the program is not built";
    }
    ProgramResult run(const std::string& args) { return runIn(dir_, "exec \"$PROGRAM\" --data \"$DATA\" " + args); }
    const std::string dir_ = scratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

}  // namespace

TEST(AssembleFrames, MissingFramesAreNamedInTickOrderThenCounted) {
    const std::string dir = scratchDir("assemble_missing");
    CapturePlan plan;
    std::string error;
    ASSERT_TRUE(planCapture(10, 13.0, 14.0, showLengthSeconds, plan, error)) << error;
    for (int tick : {130, 131, 133, 134, 136, 137, 138})
        std::ofstream(dir + "/" + frameFileName(tick)) << "x";
    fs::create_directory(dir + "/" + frameFileName(132));  // a folder is no frame
    const std::vector<std::string> missing = missingFrames(dir, plan);
    EXPECT_EQ(missing, (std::vector<std::string>{"frame_00132.png", "frame_00135.png", "frame_00139.png"}));
    EXPECT_EQ(listFrames(missing), "frame_00132.png, frame_00135.png, frame_00139.png");
    EXPECT_EQ(listFrames({"a", "b", "c", "d", "e"}), "a, b, c and 2 more");
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
    EXPECT_EQ(wider.exitCode, 2);
    EXPECT_NE(wider.output.find("5 of 10 frames are missing"), std::string::npos) << wider.output;
    EXPECT_NE(wider.output.find("frame_00125.png, frame_00126.png, frame_00127.png and 2 more"), std::string::npos)
        << wider.output;

    fs::remove(dir_ + "/frames/frame_00132.png");
    const ProgramResult gap = run("--assemble frames --video gap.mp4 " + part);
    EXPECT_EQ(gap.exitCode, 2);
    EXPECT_NE(gap.output.find("frame_00132.png"), std::string::npos) << gap.output;

    // A frame of another size (from another capture) in its place.
    const ProgramResult small = run("--capture small --size 80x60 --fps 10 --from 13.2 --to 13.3");
    ASSERT_EQ(small.exitCode, 0) << small.output;
    fs::copy_file(dir_ + "/small/frame_00132.png", dir_ + "/frames/frame_00132.png");
    const ProgramResult mixed = run("--assemble frames --video mixed.mp4 " + part);
    EXPECT_EQ(mixed.exitCode, 2);
    EXPECT_NE(mixed.output.find("frame_00132.png is 80x60"), std::string::npos) << mixed.output;

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_))
        if (entry.is_regular_file()) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"direct.mp4", "joined.mp4"})) << "no video, not even a partial one";
}
