#pragma once
// What the assembly and farm tests share: the program run in a scratch folder
// with the repository's data, and ways to compare what two jobs made.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/test_paths.h"

// Runs a shell command line in dir with $PROGRAM, $DATA and $TOOLS set.
inline ProgramResult runIn(const std::string& dir, const std::string& line, std::vector<std::string> env = {}) {
    env.push_back("PROGRAM=" + programPath());
    env.push_back("DATA=" + sourceDir() + "/data");
    env.push_back("TOOLS=" + sourceDir() + "/tools");
    return runProgram({"/bin/sh", "-c", line}, env, dir);
}

// A test that runs the program with the repository's data in a scratch folder
// named after the test.
class ProgramInScratch : public ::testing::Test {
protected:
    void SetUp() override {
        if (programPath().empty()) GTEST_SKIP() << "the program is not built";
    }
    ProgramResult run(const std::string& args) { return runIn(dir_, "exec \"$PROGRAM\" --data \"$DATA\" " + args); }
    const std::string dir_ = scratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

// The names of the files in a folder that differ from (or are missing in)
// the other folder, compared byte for byte, plus the extra files it has.
inline std::vector<std::string> differingFiles(const std::string& expected, const std::string& actual) {
    namespace fs = std::filesystem;
    auto bytes = [](const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    };
    std::vector<std::string> differing;
    for (const auto& entry : fs::directory_iterator(expected)) {
        const fs::path twin = fs::path(actual) / entry.path().filename();
        if (!fs::exists(twin) || bytes(entry.path()) != bytes(twin))
            differing.push_back(entry.path().filename().string());
    }
    for (const auto& entry : fs::directory_iterator(actual)) {
        const std::string name = entry.path().filename().string();
        if (name[0] != '.' && !fs::exists(fs::path(expected) / name)) differing.push_back("extra " + name);
    }
    return differing;
}

// Checksums of every decoded video frame and audio packet: two videos with
// the same pictures and sound give the same text.
inline std::string decodedChecksums(const std::string& path) {
    const std::string all =
        runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0", "-f", "framemd5", "-"}).output;
    std::istringstream lines(all);
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') kept += line + "\n";
    return kept;
}

// The video frames ffprobe decodes and whether there is an audio stream.
struct VideoFacts {
    int frames = -1;
    bool audio = false;
};

inline VideoFacts videoFacts(const std::string& path) {
    std::istringstream lines(runProgram({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                         "stream=codec_type,nb_read_frames", "-of", "csv=p=0", path})
                                 .output);
    VideoFacts facts;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("video,", 0) == 0) facts.frames = std::stoi(line.substr(6));
        if (line.rfind("audio", 0) == 0) facts.audio = true;
    }
    return facts;
}
