#include "base/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

bool checkOutputFile(const std::string& path, std::string& error) {
    const fs::path parent = fs::path(path).parent_path();
    const std::string dir = parent.empty() ? "." : parent.string();
    std::error_code ignored;
    if (!fs::is_directory(dir, ignored) || access(dir.c_str(), W_OK) != 0) {
        error = "cannot write " + path + ": its folder " + dir + " is missing or not writable";
        return false;
    }
    // The file is written beside and renamed over the name, which would
    // replace a link, a device or a pipe rather than write through it.
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISREG(info.st_mode)) return true;
    error = "cannot write " + path + ": " +
            (S_ISLNK(info.st_mode)   ? "it is a symbolic link; name the file itself"
             : S_ISDIR(info.st_mode) ? "it is a folder"
                                     : "it is not a regular file");
    return false;
}

bool checkNewOutputFile(const std::string& path, bool overwrite, std::string& error) {
    if (!checkOutputFile(path, error)) return false;
    struct stat info;
    if (overwrite || lstat(path.c_str(), &info) != 0) return true;
    error = path + " exists: use --overwrite to replace it";
    return false;
}
