#include "entry/data_dir.h"

#include <filesystem>
#include <system_error>

#include "demo/overlays.h"

namespace fs = std::filesystem;

namespace {

bool hasData(const fs::path& dir) {
    std::error_code ec;
    return fs::is_regular_file(dir / "logo.png", ec);
}

// Any of the show's names (a link to nowhere too): a folder someone meant for
// the show, even if broken.
bool holdsShowFiles(const fs::path& dir) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(dir / "track.mp3", ec))) return true;
    for (const char* name : overlayFileNames)
        if (fs::exists(fs::symlink_status(dir / name, ec))) return true;
    return false;
}

std::string installedDataDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "";
    for (const fs::path& dir : {exe.parent_path(), exe.parent_path().parent_path()}) {
        if (hasData(dir / "data")) return (dir / "data").string();
    }
    // An installed program: <prefix>/bin/template with <prefix>/share/template/data.
    const fs::path installed = exe.parent_path().parent_path() / "share" / "template" / "data";
    return hasData(installed) ? installed.string() : "";
}

}  // namespace

std::string findDataDir(const std::string& requested, std::string& note) {
    note.clear();
    if (!requested.empty()) return requested;
    std::error_code ec;
    const bool local = fs::is_directory("data", ec);
    if (local && holdsShowFiles("data")) return "data";
    const std::string found = installedDataDir();
    if (found.empty()) return "data";
    if (local) note = "./data holds none of the show's files; using " + found;
    return found;
}

bool checkDataDir(const std::string& requested, std::string& error) {
    std::error_code ec;
    if (requested.empty() || fs::is_directory(requested, ec)) return true;
    error = "data folder not found: " + requested;
    return false;
}
