// The progress of captures and assemblies: rewritten in place on a terminal,
// plain lines in a log.
#include "outputs/progress_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>

#include "support/run_program.h"
#include "support/test_paths.h"

namespace {

std::string contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

}  // namespace

TEST(ProgressLine, ATerminalGetsOneLineRewrittenInPlace) {
    std::FILE* terminal = std::tmpfile();
    ASSERT_NE(terminal, nullptr);
    ProgressLine progress(100, 16, terminal, true);
    progress.update(99, true, 15);
    progress.update(100, true);
    progress.close();
    const std::string text = contents(terminal);
    std::fclose(terminal);
    ASSERT_EQ(std::count(text.begin(), text.end(), '\r'), 2) << text;
    const size_t second = text.find('\r', 1);
    const std::string first = text.substr(1, second - 1), last = text.substr(second + 1);
    EXPECT_EQ(first.rfind("frame 99/100, pass 15/16 of the next  ", 0), 0u) << first;
    EXPECT_EQ(last.rfind("frame 100/100  ", 0), 0u) << last;
    // The last line drops the pass, which is longer than any change of the rate
    // and time texts, so it is shorter: it blanks out what the first left, and
    // the line ends once.
    EXPECT_EQ(last.size(), first.size() + 1) << "padded to the longest, then the newline";
    EXPECT_EQ(last.find_last_not_of(' ', last.size() - 2) < first.size() - 20, true) << last;
    EXPECT_EQ(last.back(), '\n');
}

TEST(ProgressLine, ClockTextRoundsToWholeSeconds) {
    EXPECT_EQ(clockText(-5.0), "0:00:00");
    EXPECT_EQ(clockText(59.5), "0:01:00");
    EXPECT_EQ(clockText(3661.4), "1:01:01");
    EXPECT_EQ(clockText(100 * 3600.0), "100:00:00");
}

// Run with stderr into a pipe, as a log of tools/run.sh or a farm job has it:
// no carriage returns, and the last frame's line.
TEST(ProgressLine, CaptureAndAssembleWriteALogLineByLine) {
    if (programPath().empty()) GTEST_SKIP() << "the program is not part of this build";
    const std::string dir = scratchDir("progress_log");
    const std::vector<std::string> part{"--fps", "10", "--from", "13", "--to", "13.3"};
    std::vector<std::string> capture{programPath(), "--capture", dir + "/frames",      "--size", "32x24", "--backend",
                                     "cpu",         "--data",    sourceDir() + "/data"};
    capture.insert(capture.end(), part.begin(), part.end());
    std::vector<std::string> assemble{programPath(),  "--assemble", dir + "/frames",      "--video",
                                      dir + "/v.mkv", "--data",     sourceDir() + "/data"};
    assemble.insert(assemble.end(), part.begin(), part.end());
    for (const auto& args : {capture, assemble}) {
        SCOPED_TRACE(args[1]);
        const ProgramResult r = runProgram(args);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(r.output.find('\r'), std::string::npos) << r.output;
        EXPECT_TRUE(std::regex_search(r.output, std::regex("(^|\n)frame 3/3  [0-9.e+]+ frames/s  0:00:00 left\n")))
            << r.output;
    }
}
