#pragma once
#include <string>

// Refuses an output file we could never write (missing or read-only folder) or
// must not replace (anything but a regular file: a folder, a symbolic link, a
// device, a pipe) before any time is spent rendering it. Cheap enough to ask
// again right before a finished file is renamed into place.
bool checkOutputFile(const std::string& path, std::string& error);

// checkOutputFile before a job starts, and also refuses a name that exists
// unless replacing it was asked for (--overwrite): "NAME exists: use
// --overwrite to replace it".
bool checkNewOutputFile(const std::string& path, bool overwrite, std::string& error);
