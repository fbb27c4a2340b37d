#include "entry/data_dir.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
bool hasData(const fs::path& dir) {
    std::error_code ec;
    return fs::is_regular_file(dir / "logo.png", ec);
}
}  // namespace

std::string findDataDir(const std::string& requested) {
    if (!requested.empty()) return requested;
    if (hasData("data")) return "data";
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const fs::path& dir : {exe.parent_path(), exe.parent_path().parent_path()}) {
            if (hasData(dir / "data")) return (dir / "data").string();
        }
        // An installed program: <prefix>/bin/template with <prefix>/share/template/data.
        const fs::path installed = exe.parent_path().parent_path() / "share" / "template" / "data";
        if (hasData(installed)) return installed.string();
    }
    return "data";
}

bool checkDataDir(const std::string& requested, std::string& error) {
    std::error_code ec;
    if (requested.empty() || fs::is_directory(requested, ec)) return true;
    error = "data folder not found: " + requested;
    return false;
}
