#pragma once
#include <string>
#include <vector>

struct ProgramResult {
    int exitCode = -1;   // -1 when it did not exit normally
    std::string output;  // stdout and stderr together
};

// Runs a program with extra environment settings ("NAME=value", or "NAME=" to unset)
// in the given working folder and waits for it.
ProgramResult runProgram(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                         const std::string& workDir = "");
