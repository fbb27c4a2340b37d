#pragma once
#include <string>

// The folder holding the images and the track: the requested one if given, else
// "data" in the working directory, else "data" beside the executable or one
// folder above it, else an installed program's <prefix>/share/template/data;
// "data" when none exists (loading then reports the missing file).
std::string findDataDir(const std::string& requested);

// False with "data folder not found: <path>" when a folder was asked for (--data)
// and there is none; the default search never fails.
bool checkDataDir(const std::string& requested, std::string& error);
