// Which data folder a run takes when none is named: a ./data meant for the show
// is used even when broken, so that its missing file is named; any other
// ./data is passed over, saying which folder is used instead.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_program.h"
#include "support/test_paths.h"
#include "support/check.h"

namespace fs = std::filesystem;

namespace {

ProgramResult stillIn(const std::string& workDir) {
    return runProgram({programPath(), "--still", "13", "--size", "16x16", "--backend", "cpu", "--out", "s.png"}, {},
                      workDir);
}

}  // namespace

TEST(DataDir, APartialDataFolderIsUsedAndItsMissingFileNamed) {
    if (programPath().empty()) GTEST_SKIP() << "the program is not part of this build";
    const std::string dir = scratchDir("data_dir_partial");
    fs::create_directory(dir + "/data");
    // Someone's own title images, one of them renamed away.
    for (const char* name : {"re.png", "greek.png", "track.mp3"})
        fs::copy_file(sourceDir() + "/data/" + name, dir + "/data/" + name);
    const ProgramResult r = stillIn(dir);
    EXPECT_TRUE(refused(r, "File not found: data/logo.png"));
    EXPECT_FALSE(fs::exists(dir + "/s.png"));
    // Nothing but a link to an image moved away counts as well.
    fs::remove_all(dir + "/data");
    fs::create_directory(dir + "/data");
    fs::create_symlink(dir + "/moved/logo.png", dir + "/data/logo.png");
    const ProgramResult linked = stillIn(dir);
    EXPECT_TRUE(refused(linked, "File not found: data/logo.png"));
}

TEST(DataDir, AnotherDataFolderIsPassedOverWithALineSayingSo) {
    if (programPath().empty()) GTEST_SKIP() << "the program is not part of this build";
    const std::string dir = scratchDir("data_dir_other");
    fs::create_directory(dir + "/data");
    std::ofstream(dir + "/data/measurements.csv") << "1,2,3\n";
    const ProgramResult r = stillIn(dir);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const std::string note = "data: ./data holds none of the show's files; using ";
    const size_t at = r.output.find(note);
    ASSERT_NE(at, std::string::npos) << r.output;
    const std::string used = r.output.substr(at + note.size(), r.output.find('\n', at) - at - note.size());
    EXPECT_TRUE(fs::is_regular_file(used + "/logo.png")) << used;

    // A job that reads no data says nothing of it.
    const ProgramResult quiet = runProgram({programPath(), "--list-parts", "--fps", "10", "--to", "1"}, {}, dir);
    EXPECT_EQ(quiet.exitCode, 0) << quiet.output;
    EXPECT_EQ(quiet.output.find("data:"), std::string::npos) << quiet.output;
    // Without a ./data there is nothing to say.
    fs::remove_all(dir + "/data");
    fs::remove(dir + "/s.png");
    const ProgramResult plain = stillIn(dir);
    EXPECT_EQ(plain.exitCode, 0) << plain.output;
    EXPECT_EQ(plain.output.find("data:"), std::string::npos) << plain.output;
}
