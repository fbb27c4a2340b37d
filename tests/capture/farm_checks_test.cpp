// tools/farm-capture.sh against what a new user gets wrong: options refused
// before the first part (not after every part has rendered), a program that
// plans nothing, a plan too long for a pipe, a folder of frames made with
// other settings, and paths that look like options. Tiny captures (32x24, a
// few frames) on GNU parallel and the real program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "outputs/capture_plan.h"
#include "outputs/video_encoder.h"
#include "capture/farm_support.h"
#include "support/check.h"

namespace fs = std::filesystem;

namespace {

const std::string range = "--fps 10 --from 13 --to 13.3";  // ticks 130 to 132
const std::string small = "--size 32x24";

int frameFiles(const std::string& folder) {
    int count = 0;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        if (entry.path().filename().string().rfind("frame_", 0) == 0) ++count;
    return count;
}

class FarmScript : public ::testing::Test {
protected:
    void SetUp() override {
        if (programPath().empty()) GTEST_SKIP() << "the program is not built";
        if (findOnPath("parallel").empty()) GTEST_SKIP() << "GNU parallel is not installed";
    }
    // The script with the given words, the real program unless env names another.
    ProgramResult farm(const std::string& args, std::vector<std::string> env = {}) {
        env.insert(env.begin(), "TEMPLATE_BIN=" + programPath());  // the later setting wins
        return runIn(dir_, "exec \"$TOOLS/farm-capture.sh\" " + args, env);
    }
    ProgramResult program(const std::string& args) { return runIn(dir_, "exec \"$PROGRAM\" --data \"$DATA\" " + args); }
    // A stand-in for the program: a shell script.
    std::string fake(const std::string& name, const std::string& body) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
        return path;
    }
    std::string bytes(const std::string& path) { return fileContents(dir_ + "/" + path); }
    const std::string dir_ = scratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

}  // namespace

TEST(CaptureDryRun, ChecksTheVideoAsACaptureWouldAndWritesNothing) {
    if (programPath().empty()) GTEST_SKIP() << "the program is not built";
    const std::string dir = scratchDir("capture_dry_run");
    const ProgramResult fine =
        runIn(dir, "exec \"$PROGRAM\" --data \"$DATA\" --capture frames --video show.mp4 --dry-run " + range);
    EXPECT_EQ(fine.exitCode, 0) << fine.output;
    EXPECT_TRUE(contains(fine.output, "3 frames (ticks 130 to 132)"));
    EXPECT_TRUE(fs::is_empty(dir)) << "nothing rendered, no folder, no video";
    // The video's own refusals are those the farm script passes on (below).
    const std::string dryRun = "exec \"$PROGRAM\" --data \"$DATA\" --dry-run ";
    EXPECT_TRUE(refused(runIn(dir, dryRun + "--capture f --fps 10 --from 3.01 --to 3.05"), "no frame to capture"));
    EXPECT_TRUE(refused(runIn(dir, dryRun + "--still 3"), "--dry-run only applies to --capture and --video"));
    std::ofstream(dir + "/show.mp4") << "an earlier video";
    EXPECT_TRUE(refused(runIn(dir, dryRun + "--video show.mp4 " + range), "show.mp4 exists: use --overwrite"));
}

// Every mistake is named before a part renders, with exit code 2: no frames,
// no folder, not GNU parallel's usage, not "parts failed ... run this again".
TEST_F(FarmScript, RefusesBadOptionsBeforeTheFirstPart) {
    for (const auto& [args, message] : std::vector<std::pair<std::string, std::string>>{
             {"--jobs abc", "--jobs: 'abc' is not a number of job slots"},
             {"--jobs ''", "--jobs: '' is not a number of job slots"},
             {"--parts 2 --part-frames 3", "--part-frames and --parts cannot be combined"},
             {"--task 0/2 --part-frames 3", "it cannot take --parts or --part-frames"},
             {"--sshloginfile machines", "--sshloginfile: cannot read machines"},
             {"--passes abc", "--passes: 'abc' is not a whole number"},
             {"--codec h264", "--codec only applies to --video"},
             {"--video show.avi", "name the video .mp4, .mov, .mkv or .webm"},
             {"--video show.mkv --crf 10", "--crf does not apply to ffv1"},
             {"--video show.mp4 --crf 60", "--crf 60 is beyond h264's range of 0 to 51"},
             {"--video missing/show.mp4", "its folder missing is missing or not writable"},
             {"--task 1/2 --video show.avi", "name the video .mp4, .mov, .mkv or .webm"}}) {
        const ProgramResult r = farm("--out frames --data \"$DATA\" " + small + " " + range + " " + args);
        EXPECT_TRUE(refused(r, message)) << args;
        EXPECT_EQ(r.output.find("parallel"), std::string::npos) << args << ": " << r.output;
        EXPECT_FALSE(fs::exists(dir_ + "/frames")) << args << ": " << r.output;
        fs::remove_all(dir_ + "/frames");
    }
    EXPECT_TRUE(refused(farm("--list-parts --parts 2 --part-frames 3"), "cannot be combined"));
}

// A program that prints no plan, or not a plan, is an error, never "all parts
// are already in" with an empty folder.
TEST_F(FarmScript, AProgramThatPlansNoPartsIsAnError) {
    struct Case {
        std::string program, args, message;
    };
    for (const Case& c : std::vector<Case>{
             {"/bin/true", "", "--list-parts printed no parts"},
             {"/bin/false", "", "--list-parts failed (exit status 1)"},
             {fake("greets", "echo hello"), "", "printed 'hello', not a part (first-tick last-tick from to)"},
             {fake("backwards", "echo '5 3 1 2'"), "", "printed '5 3 1 2', not a part"},
             {fake("gap", "echo '0 2 0 0.25'; echo '4 6 0.35 0.65'"), "",
              "parts that do not follow each other (ticks 4 to 6 after 2)"},
             {fake("empty", "echo '0 -1 - -'"), "", "printed no part with frames"},
             {fake("short", "echo '0 2 0 0.25'"), "--task 0/3", "printed 1 parts for 3 shares"}}) {
        const ProgramResult run = farm("--out frames " + c.args, {"TEMPLATE_BIN=" + c.program});
        EXPECT_TRUE(refused(run, c.message)) << c.program;
        EXPECT_EQ(run.output.find("already"), std::string::npos) << c.program << ": " << run.output;
        EXPECT_EQ(frameFiles(dir_ + "/frames"), 0) << c.program;
    }
}

// Parts of 3 frames over the whole show: a plan of 2120 lines, longer than a
// pipe holds. A first run of a moment records the settings; the rest of the
// show is put there as stand-ins, so the whole-show run has one part to render.
TEST_F(FarmScript, APlanLongerThanAPipeStillRendersItsParts) {
    const ProgramResult plan = farm("--list-parts --part-frames 3");
    ASSERT_EQ(plan.exitCode, 0) << plan.output;
    ASSERT_GT(plan.output.size(), 65536u);
    const std::string farmed = "--out frames --data \"$DATA\" --part-frames 3 " + small;
    const ProgramResult first = farm(farmed + " --fps 60 --from 13 --to 13.05");  // ticks 780 to 782
    ASSERT_EQ(first.exitCode, 0) << first.output;
    for (int tick = 0; tick < 6360; ++tick)
        if (tick < 780 || tick > 785) std::ofstream(dir_ + "/frames/" + frameFileName(tick));

    const ProgramResult whole = farm(farmed + " --jobs 2");
    ASSERT_EQ(whole.exitCode, 0) << whole.output;
    EXPECT_TRUE(contains(whole.output, "rendering 1 of 2120 parts"));
    const ProgramResult reference = program("--capture reference --fps 60 --from 13 --to 13.1 " + small);
    ASSERT_EQ(reference.exitCode, 0) << reference.output;
    for (int tick = 780; tick <= 785; ++tick) {
        const std::string name = frameFileName(tick);
        EXPECT_FALSE(bytes("frames/" + name).empty()) << name;
        EXPECT_EQ(bytes("frames/" + name), bytes("reference/" + name)) << name;
    }
}

// A folder holds the frames of one set of the settings that change pixels: a
// rerun with others is refused rather than mixing the old frames into the
// video; --overwrite renders them again. --backend, --threads and --cpu-kernel
// give the same frames and may differ.
TEST_F(FarmScript, AFolderKeepsTheSettingsOfItsFrames) {
    const std::string farmed = "--out frames --data \"$DATA\" --part-frames 2 " + small + " " + range;
    const ProgramResult preview = farm(farmed + " --preview --video preview.mp4");
    ASSERT_EQ(preview.exitCode, 0) << preview.output;
    EXPECT_EQ(videoFacts(dir_ + "/preview.mp4").frames, 3) << "--assemble takes the folder with its record";
    const std::string previewFrame = bytes("frames/frame_00131.png");

    const ProgramResult mixed = farm(farmed + " --video exact.mp4");
    EXPECT_TRUE(refused(mixed, "holds frames rendered with other settings (preview: yes (now no))"));
    EXPECT_TRUE(contains(mixed.output, "use --overwrite"));
    EXPECT_FALSE(fs::exists(dir_ + "/exact.mp4"));
    EXPECT_EQ(bytes("frames/frame_00131.png"), previewFrame);
    EXPECT_TRUE(refused(farm(farmed + " --preview --size 48x36 --passes 1"), "size: 32x24 (now 48x36)"));

    const ProgramResult sameFrames = farm(farmed + " --preview --backend cpu --threads 1 --cpu-kernel scalar");
    EXPECT_EQ(sameFrames.exitCode, 0) << sameFrames.output;
    EXPECT_TRUE(contains(sameFrames.output, "all 2 parts are already in"));

    const ProgramResult redone = farm(farmed + " --overwrite --video exact.mp4");
    ASSERT_EQ(redone.exitCode, 0) << redone.output;
    ASSERT_EQ(program("--capture reference " + small + " " + range).exitCode, 0);
    EXPECT_EQ(differingFiles(dir_ + "/reference", dir_ + "/frames"), std::vector<std::string>{});
    EXPECT_EQ(videoFacts(dir_ + "/exact.mp4").frames, 3);
    EXPECT_EQ(farm(farmed + " --preview").exitCode, 2) << "the folder now holds the exact frames";
}

// Frames that no run of the script made, or that lie outside the range an
// --overwrite renders again, are not taken for frames of these settings.
TEST_F(FarmScript, FramesOfUnknownSettingsAreNotTakenAsTheseOnes) {
    ASSERT_EQ(program("--capture frames --preview " + small + " " + range).exitCode, 0);
    const std::string farmed = "--out frames --data \"$DATA\" " + small;
    EXPECT_TRUE(
        refused(farm(farmed + " " + range), "holds frames but no record of the settings they were rendered with"));
    EXPECT_TRUE(refused(farm(farmed + " --overwrite --fps 10 --from 13.1 --to 13.3"),
                        "1 of them outside ticks 131 to 132: use another --out"));
    EXPECT_EQ(frameFiles(dir_ + "/frames"), 3) << "refused before anything is removed";

    const ProgramResult redone = farm(farmed + " --overwrite " + range);
    ASSERT_EQ(redone.exitCode, 0) << redone.output;
    ASSERT_EQ(program("--capture reference " + small + " " + range).exitCode, 0);
    EXPECT_EQ(differingFiles(dir_ + "/reference", dir_ + "/frames"), std::vector<std::string>{});
}

// An --overwrite with other settings that does not finish (here: one share of
// two, as a job array's task) leaves the rest missing, not old frames that
// the next run would keep.
TEST_F(FarmScript, AnUnfinishedOverwriteLeavesNoOldFramesBehind) {
    const std::string farmed = "--out frames --data \"$DATA\" " + small + " " + range;
    ASSERT_EQ(farm(farmed + " --preview").exitCode, 0);
    const ProgramResult firstShare = farm(farmed + " --overwrite --task 0/2");
    ASSERT_EQ(firstShare.exitCode, 0) << firstShare.output;
    const ProgramResult secondShare = farm(farmed + " --task 1/2");
    ASSERT_EQ(secondShare.exitCode, 0) << secondShare.output;
    EXPECT_EQ(secondShare.output.find("already there"), std::string::npos) << secondShare.output;
    ASSERT_EQ(program("--capture reference " + small + " " + range).exitCode, 0);
    EXPECT_EQ(differingFiles(dir_ + "/reference", dir_ + "/frames"), std::vector<std::string>{});
}

// Paths that begin with '-' (and one full of shell syntax) are paths
// everywhere: the frame folder, the program, the data, the login file, the
// video. $HOME is a folder of the test's, where "cd -P" would have gone.
TEST_F(FarmScript, PathsThatLookLikeOptionsAreTakenAsPaths) {
    fs::create_directories(dir_ + "/home");
    fs::create_symlink(programPath(), dir_ + "/-bin");
    fs::create_directory_symlink(sourceDir() + "/data", dir_ + "/-data");
    std::ofstream(dir_ + "/-m") << "2/:\n";
    const std::vector<std::string> env = {"TEMPLATE_BIN=-bin", "HOME=" + dir_ + "/home"};
    const std::string common = " --part-frames 2 " + small + " " + range;
    const ProgramResult run = farm("--out -P --data -data --sshloginfile -m --video -v.mp4" + common, env);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(program("--capture reference " + small + " " + range).exitCode, 0);
    EXPECT_EQ(differingFiles(dir_ + "/reference", dir_ + "/-P"), std::vector<std::string>{});
    EXPECT_EQ(videoFacts(dir_ + "/-v.mp4").frames, 3);
    EXPECT_EQ(frameFiles(dir_ + "/home"), 0);

    const std::string odd = "-$(touch injected); 'q\"";
    const ProgramResult quoted =
        farm("--out '-$(touch injected); '\\''q\"' --data -data --sshloginfile -m" + common, env);
    ASSERT_EQ(quoted.exitCode, 0) << quoted.output;
    EXPECT_EQ(differingFiles(dir_ + "/reference", dir_ + "/" + odd), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(dir_ + "/injected"));
    EXPECT_FALSE(fs::exists(dir_ + "/home/injected"));
}
