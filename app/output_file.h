#pragma once
#include <string>

// Refuses an output file we could never write (missing or read-only folder, or
// the name of a folder) before any time is spent rendering it.
bool checkOutputFile(const std::string& path, std::string& error);
