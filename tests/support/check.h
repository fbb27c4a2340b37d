#pragma once
// Assertions on text and on what a program printed that show all of it when
// they fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/run_program.h"

inline testing::AssertionResult contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "'" << part << "' is not in:\n" << text;
}

// The program exited with `code`, saying `reason`; with oneLine, in one line and nothing more.
inline testing::AssertionResult refused(const ProgramResult& r, const std::string& reason, bool oneLine = false,
                                        int code = 2) {
    if (r.exitCode == code && r.output.find(reason) != std::string::npos &&
        (!oneLine || std::count(r.output.begin(), r.output.end(), '\n') == 1))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "wanted exit code " << code << " and '" << reason << "'"
                                       << (oneLine ? " on one line" : "") << ", got " << r.exitCode << ":\n"
                                       << r.output;
}
