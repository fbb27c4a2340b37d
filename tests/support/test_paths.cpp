#include "support/test_paths.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string sourceDir() {
    return TPL_SOURCE_DIR;
}
std::string programPath() {
    return TPL_PROGRAM;
}

std::string scratchDir(const std::string& name) {
    fs::path dir = fs::path(TPL_TEST_WORK_DIR) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

std::string fileContents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string fakeOnPath(const std::string& dir, const std::string& name, const std::string& body) {
    fs::create_directories(dir + "/bin");
    std::ofstream(dir + "/bin/" + name) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(dir + "/bin/" + name, fs::perms::owner_all);
    return "PATH=" + dir + "/bin:" + std::getenv("PATH");
}
