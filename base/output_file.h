#pragma once
#include <sys/types.h>

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

// A new, empty file beside path to write it under: hidden, named after it with
// a random part and the suffix (".NAME.k3Xq9a" + suffix), and created
// exclusively, so that two runs making one output never share it and no file
// of the user's is ever taken for it. Returns the descriptor, open for
// writing, and the name in temporary; -1 with error (and errno) when none
// can be made.
int createTemporaryBeside(const std::string& path, const std::string& suffix, mode_t mode, std::string& temporary,
                          std::string& error);

// Moves a finished temporary to path. With replace, only a regular file under
// the name is replaced. Without it nothing is replaced, not even a file that
// appeared there after the checks (another run's): "NAME exists: ...". The
// temporary is removed when it cannot be put in place.
bool putInPlace(const std::string& temporary, const std::string& path, bool replace, std::string& error);
