// The command-line reader the program and engine-check share, on a table of its own.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/decimal_text.h"
#include "base/median.h"

namespace {

struct Settings {
    std::vector<std::string> taken;  // name=text, in order
    OptionValue last;
};

struct Row {
    OptionSyntax syntax;
};

const Row rows[] = {
    {{"--flag", ValueKind::None, "", 0, 0}},
    {{"--psnr", ValueKind::Decimal, "DB", 0, 1000}},
    {{"--list", ValueKind::SecondsList, "A,B", 0, 10}},
    {{"--size", ValueKind::Size, "WxH", 16, 100}},
    {{"--stop", ValueKind::None, "", 0, 0}},
    {{"--dir", ValueKind::Folder, "DIR", 0, 0}},
};

bool read(std::vector<std::string> args, Settings& settings, std::string& error) {
    args.insert(args.begin(), "program");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return readCommandLine<Row>(
        static_cast<int>(argv.size()), argv.data(), rows, std::size(rows),
        [&](const Row& row, const OptionValue& value, bool& stop, std::string&) {
            settings.taken.push_back(std::string(row.syntax.name) + "=" + value.text);
            settings.last = value;
            stop = row.syntax.name == std::string("--stop");
            return true;
        },
        error);
}

TEST(CommandLine, ReadsEachValueOnceByItsKind) {
    Settings s;
    std::string error;
    ASSERT_TRUE(read({"--flag", "--psnr=31.5", "--dir", "a=b", "--list", "1,2.5,.5", "--size=0016x100"}, s, error))
        << error;
    EXPECT_EQ(s.taken,
              (std::vector<std::string>{"--flag=", "--psnr=31.5", "--dir=a=b", "--list=1,2.5,.5", "--size=0016x100"}));
    EXPECT_EQ(s.last.width, 16);
    EXPECT_EQ(s.last.height, 100);
    ASSERT_TRUE(read({"--list", "3,0"}, s = Settings(), error)) << error;
    EXPECT_EQ(s.last.numbers, (std::vector<double>{3, 0}));
    ASSERT_TRUE(read({"--stop", "--bogus"}, s = Settings(), error)) << "nothing after a stop is read";
    EXPECT_EQ(s.taken.size(), 1u);
}

// Each kind's refusals, with the option and its range named, are checked
// through the tables that use this reader: tests/cli/options_test.cpp and
// tests/driver/check_options_test.cpp.

TEST(DecimalText, ShortestFixedTextOfTheGivenPlaces) {
    EXPECT_EQ(decimalText(12.3, 6), "12.3");
    EXPECT_EQ(decimalText(96.0, 6), "96");
    EXPECT_EQ(decimalText(1.0 / 60.0, 6), "0.016667");
    EXPECT_EQ(decimalText(-0.0000001, 6), "0") << "never -0";
    EXPECT_EQ(decimalText(100.0, 0), "100") << "no point to trim the zeros of";
    EXPECT_EQ(decimalText(13.508333333333, 12), "13.508333333333");
}

TEST(Median, MiddleOrMeanOfTheMiddleTwo) {
    EXPECT_EQ(median({5, 1, 3}), 3);
    EXPECT_EQ(median({4, 1, 3, 2}), 2.5);
    EXPECT_EQ(median({}), -1) << "no timed runs";
}

}  // namespace
