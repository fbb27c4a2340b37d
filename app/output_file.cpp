#include "app/output_file.h"

#include <unistd.h>

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
    if (fs::is_directory(path, ignored)) {
        error = "cannot write " + path + ": it is a folder";
        return false;
    }
    return true;
}
