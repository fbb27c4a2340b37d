#pragma once
#include <string>

// Where tests find the sources, a scratch folder of their own and the built program.
std::string sourceDir();
std::string programPath();
// A fresh, empty folder under the build tree for the calling test.
std::string scratchDir(const std::string& name);
// A whole file as bytes; empty when it cannot be read.
std::string fileContents(const std::string& path);
