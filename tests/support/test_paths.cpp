#include "support/test_paths.h"

#include <filesystem>
#include <fstream>
#include <sstream>

std::string sourceDir() {
    return TPL_SOURCE_DIR;
}
std::string programPath() {
    return TPL_PROGRAM;
}

std::string scratchDir(const std::string& name) {
    std::filesystem::path dir = std::filesystem::path(TPL_TEST_WORK_DIR) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string fileContents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}
