#pragma once
#include <string>

// The folder holding the images and the track: the requested one if given, else
// "data" in the working directory when it holds any of the show's files, else
// "data" beside the executable or one folder above it, else an installed
// program's <prefix>/share/template/data; "data" when none exists (loading then
// reports the missing file). A "data" folder in the working directory that holds
// some of the files but not all is still the one used, so that loading names
// what it misses; one that holds none of them is passed over, and `note` then
// says which folder is used instead (empty otherwise).
std::string findDataDir(const std::string& requested, std::string& note);

// False with "data folder not found: <path>" when a folder was asked for (--data)
// and there is none; the default search never fails.
bool checkDataDir(const std::string& requested, std::string& error);
