// Outputs that two runs, or a run and the user, make in one place: each run
// writes under a temporary name of its own, puts its file in place only where
// it may, and leaves the names beside its outputs alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "capture/farm_support.h"
#include "support/check.h"

namespace fs = std::filesystem;

namespace {

// Two runs of the program started together in dir, each with its own
// arguments; their exit codes and what they printed.
struct Pair {
    int codes[2] = {-1, -1};
    std::string outputs[2];
};

Pair runTogether(const std::string& dir, const std::string& first, const std::string& second) {
    fs::create_directory(dir + "/logs");
    const std::string run = "\"$PROGRAM\" --data \"$DATA\" ";
    const ProgramResult r = runIn(dir, run + first + " >logs/0 2>&1 & a=$!; " + run + second +
                                           " >logs/1 2>&1 & b=$!; wait $a; echo $? >logs/0.code; wait $b; echo $? "
                                           ">logs/1.code");
    Pair pair;
    for (int i = 0; i < 2; ++i) {
        pair.outputs[i] = fileContents(dir + "/logs/" + std::to_string(i));
        pair.codes[i] = std::atoi(fileContents(dir + "/logs/" + std::to_string(i) + ".code").c_str());
    }
    fs::remove_all(dir + "/logs");
    return pair;
}

class SharedOutputs : public ProgramInScratch {};

}  // namespace

// Two stills of different moments started together into one name: only the
// first to finish puts its picture there; the other says the name is taken,
// and the picture is the one of the run that said it wrote it.
TEST_F(SharedOutputs, TwoStillsOfOneNameLeaveThePictureOfTheRunThatWroteIt) {
    const std::string still = "--size 320x240 --no-overlays --still ";
    ASSERT_EQ(run(still + "13 --out at13.png").exitCode, 0);
    ASSERT_EQ(run(still + "14 --out at14.png").exitCode, 0);
    const Pair pair = runTogether(dir_, still + "13 --out s.png", still + "14 --out s.png");
    ASSERT_EQ(std::min(pair.codes[0], pair.codes[1]), 0) << pair.outputs[0] << pair.outputs[1];
    ASSERT_EQ(std::max(pair.codes[0], pair.codes[1]), 2) << pair.outputs[0] << pair.outputs[1];
    const int winner = pair.outputs[0].find("wrote s.png") != std::string::npos ? 0 : 1;
    EXPECT_TRUE(contains(pair.outputs[winner], "wrote s.png"));
    EXPECT_TRUE(contains(pair.outputs[1 - winner], "s.png exists: use --overwrite"));
    EXPECT_EQ(fileContents(dir_ + "/s.png"), fileContents(dir_ + (winner == 0 ? "/at13.png" : "/at14.png")));
    EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"at13.png", "at14.png", "s.png"})) << "no temporary is left";
}

// Two runs making one video at once never write into each other's file:
// without --overwrite one makes it and the other refuses to replace it; with
// it both finish and what is there is a whole video.
TEST_F(SharedOutputs, TwoRunsOfOneVideoEachEncodeTheirOwn) {
    const std::string video = "--video v.mp4 --mute --size 64x48 --fps 10 --from 13 --to 15 ";
    const Pair kept = runTogether(dir_, video, video);
    ASSERT_EQ(std::min(kept.codes[0], kept.codes[1]), 0) << kept.outputs[0] << kept.outputs[1];
    ASSERT_EQ(std::max(kept.codes[0], kept.codes[1]), 2) << kept.outputs[0] << kept.outputs[1];
    EXPECT_TRUE(contains((kept.outputs[0] + kept.outputs[1]), "v.mp4 exists: use --overwrite"))
        << kept.outputs[0] << kept.outputs[1];
    EXPECT_EQ(videoFacts(dir_ + "/v.mp4").frames, 20);

    const Pair replaced = runTogether(dir_, video + "--overwrite", video + "--overwrite");
    EXPECT_EQ(replaced.codes[0], 0) << replaced.outputs[0];
    EXPECT_EQ(replaced.codes[1], 0) << replaced.outputs[1];
    EXPECT_EQ(videoFacts(dir_ + "/v.mp4").frames, 20);
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{"v.mp4"}) << "no partial video is left";
}

// Files, folders and links named like a temporary of an output are the
// user's: they are neither removed, written through nor in the way.
TEST_F(SharedOutputs, NamesBesideTheOutputsAreLeftAlone) {
    { std::ofstream(dir_ + "/important.png.part") << "mine"; }
    fs::create_symlink("important.png.part", dir_ + "/other.png.part");
    ASSERT_EQ(run("--still 13 --size 32x24 --out other.png").exitCode, 0);
    { std::ofstream(dir_ + "/.v.mp4.partial.mp4") << "mine too"; }
    fs::create_directories(dir_ + "/frames/frame_00130.png.part");
    const ProgramResult still = run("--still 13 --size 32x24 --out important.png");
    EXPECT_EQ(still.exitCode, 0) << still.output;
    const ProgramResult capture = run("--capture frames --video v.mp4 --size 32x24 --fps 10 --from 13 --to 13.2");
    EXPECT_EQ(capture.exitCode, 0) << capture.output;
    EXPECT_EQ(fileContents(dir_ + "/important.png.part"), "mine");
    EXPECT_EQ(fileContents(dir_ + "/.v.mp4.partial.mp4"), "mine too");
    EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{".v.mp4.partial.mp4", "frames", "important.png",
                                                       "important.png.part", "other.png", "other.png.part", "v.mp4"}));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir_ + "/other.png")));
    EXPECT_EQ(filesIn(dir_ + "/frames"),
              (std::vector<std::string>{"frame_00130.png", "frame_00130.png.part", "frame_00131.png"}));
}
