#pragma once
#include <string>
#include <vector>

// Where tests find the sources, a scratch folder of their own and the built program.
std::string sourceDir();
std::string programPath();
// A fresh, empty folder under the build tree for the calling test.
std::string scratchDir(const std::string& name);
// A whole file as bytes; empty when it cannot be read.
std::string fileContents(const std::string& path);
// The names in a folder, sorted; none when it is not one.
std::vector<std::string> filesIn(const std::string& dir);
// dir/bin/name: a shell script of `body` after its #! line. Returns the PATH
// setting (for runProgram's environment) that finds it first.
std::string fakeOnPath(const std::string& dir, const std::string& name, const std::string& body);
