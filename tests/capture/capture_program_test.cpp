// The capture through the real program: a handful of frames each, since a
// frame costs about a second on the CPU backend.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "capture/probe.h"
#include "support/test_paths.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

bool haveProgram() {
    return !programPath().empty() && fs::exists(programPath());
}

// The shipped data, or no overlays while the images are not there yet.
std::string dataArguments() {
    const std::string data = sourceDir() + "/data";
    std::string args = " --data " + shellQuoted(data);
    if (!fs::exists(data + "/greets.png")) args += " --no-overlays";
    return args;
}

struct ProgramRun {
    int exitCode = -1;
    std::string err;
};

ProgramRun runTemplate(const std::string& arguments, const std::string& scratch, const std::string& env = "") {
    const std::string errFile = scratch + "/stderr.txt";
    const std::string command = env + " " + shellQuoted(programPath()) + " " + arguments + dataArguments() + " >" +
                                shellQuoted(scratch + "/stdout.txt") + " 2>" + shellQuoted(errFile);
    ProgramRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    std::stringstream text;
    text << in.rdbuf();
    run.err = text.str();
    return run;
}

std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    if (fs::is_directory(dir))
        for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(CaptureProgram, PartsWriteFramesNamedByTickThatMatchAcrossParts) {
    if (!haveProgram()) GTEST_SKIP() << "the program is not built";
    const std::string scratch = scratchDir("capture_part");
    const ProgramRun first =
        runTemplate("--capture " + shellQuoted(scratch + "/a") + " --fps 10 --from 12 --to 12.3", scratch);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(filesIn(scratch + "/a"),
              (std::set<std::string>{"frame_00120.png", "frame_00121.png", "frame_00122.png", "frame_00123.png"}));
    EXPECT_NE(first.err.find("frame 4/4"), std::string::npos) << first.err;

    // The same tick reached from another starting point renders the same pixels.
    const ProgramRun second =
        runTemplate("--capture " + shellQuoted(scratch + "/b") + " --fps 10 --from 12.2 --to 12.25", scratch);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(filesIn(scratch + "/b"), std::set<std::string>{"frame_00122.png"});
    EXPECT_EQ(fileBytes(scratch + "/a/frame_00122.png"), fileBytes(scratch + "/b/frame_00122.png"));
    EXPECT_NE(fileBytes(scratch + "/a/frame_00121.png"), fileBytes(scratch + "/a/frame_00122.png"));
}

TEST(CaptureProgram, ShortVideoHasTheFramesAndTheLength) {
    if (!haveProgram()) GTEST_SKIP() << "the program is not built";
    const std::string scratch = scratchDir("capture_video");
    const std::string video = scratch + "/part.mp4";
    const ProgramRun run = runTemplate("--video " + shellQuoted(video) + " --fps 10 --from 12 --to 12.3", scratch);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const VideoFacts facts = probeVideo(video);
    ASSERT_NE(facts.find("video"), nullptr);
    EXPECT_EQ(facts.find("video")->frames, 4);
    EXPECT_NEAR(facts.duration, 0.4, 0.03);
    const bool music = fs::exists(sourceDir() + "/data/track.mp3");
    EXPECT_EQ(facts.find("audio") != nullptr, music);
}

TEST(CaptureProgram, RefusesBeforeRenderingWithoutFfmpegOrAWritableFolder) {
    if (!haveProgram()) GTEST_SKIP() << "the program is not built";
    const std::string scratch = scratchDir("capture_refuses");
    const ProgramRun noEncoder = runTemplate("--video " + shellQuoted(scratch + "/v.mp4") + " --capture " +
                                                 shellQuoted(scratch + "/frames") + " --fps 10 --from 12 --to 12.3",
                                             scratch, "PATH=/nonexistent");
    EXPECT_NE(noEncoder.exitCode, 0);
    EXPECT_NE(noEncoder.err.find("ffmpeg"), std::string::npos) << noEncoder.err;
    EXPECT_TRUE(filesIn(scratch + "/frames").empty());
    EXPECT_FALSE(fs::exists(scratch + "/v.mp4"));

    { std::ofstream(scratch + "/plain") << "x"; }
    const ProgramRun badFolder =
        runTemplate("--capture " + shellQuoted(scratch + "/plain/frames") + " --fps 10 --from 12 --to 12.3", scratch);
    EXPECT_NE(badFolder.exitCode, 0);
    EXPECT_NE(badFolder.err.find("plain/frames"), std::string::npos) << badFolder.err;
    EXPECT_EQ(std::count(badFolder.err.begin(), badFolder.err.end(), '\n'), 1) << badFolder.err;
}

TEST(CaptureProgram, InterruptKeepsFinishedFramesAndAPlayableVideo) {
    if (!haveProgram()) GTEST_SKIP() << "the program is not built";
    const std::string scratch = scratchDir("capture_interrupt");
    const std::string frames = scratch + "/frames", video = scratch + "/v.mp4";
    const std::string command = "exec " + shellQuoted(programPath()) + " --capture " + shellQuoted(frames) +
                                " --video " + shellQuoted(video) + " --fps 10 --from 12 --to 15" + dataArguments() +
                                " 2>" + shellQuoted(scratch + "/stderr.txt");
    std::vector<std::string> argsText = {"/bin/sh", "-c", command};
    char* argv[] = {argsText[0].data(), argsText[1].data(), argsText[2].data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    // Wait for the second frame, then ask it to stop.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (!fs::exists(frames + "/frame_00121.png") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(kill(pid, SIGINT), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);

    // Frames from 120 on, without gaps or leftovers, and a video of as many.
    const std::set<std::string> names = filesIn(frames);
    ASSERT_GE(names.size(), 2u);
    EXPECT_LT(names.size(), 31u);
    int tick = 120;
    for (const std::string& name : names) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "frame_%05d.png", tick++);
        EXPECT_EQ(name, expected);
    }
    const VideoFacts facts = probeVideo(video);
    ASSERT_NE(facts.find("video"), nullptr);
    EXPECT_EQ(facts.find("video")->frames, static_cast<int>(names.size()));
    EXPECT_NEAR(facts.duration, names.size() / 10.0, 0.05);
    std::ifstream in(scratch + "/stderr.txt");
    std::stringstream err;
    err << in.rdbuf();
    EXPECT_NE(err.str().find("kept " + std::to_string(names.size()) + " of 31 frames"), std::string::npos) << err.str();
}
