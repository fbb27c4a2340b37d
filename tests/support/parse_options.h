#pragma once
#include <string>
#include <vector>

#include "entry/options.h"

// The program's option parser on the words after the program's name.
inline bool parse(std::vector<std::string> args, Options& options, std::string& error) {
    args.insert(args.begin(), "template");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    return parseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}
