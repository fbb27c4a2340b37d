#include "base/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Six letters or digits, fresh for every try.
std::string randomPart() {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy yet (very early boot): the clock and the process id still differ between runs.
        unsigned long long seed = static_cast<unsigned long long>(
                                      std::chrono::steady_clock::now().time_since_epoch().count()) ^
                                  (static_cast<unsigned long long>(getpid()) << 32);
        for (unsigned char& b : bytes) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            b = static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string text;
    for (unsigned char b : bytes) text += alphabet[b % (sizeof alphabet - 1)];
    return text;
}

std::string existsMessage(const std::string& path) {
    return path + " exists: use --overwrite to replace it (it appeared while this run was making it)";
}

// Renames without ever replacing: the kernel's RENAME_NOREPLACE, else a hard
// link (which cannot replace either), else, on a file system with neither, a
// last look at the name right before an ordinary rename.
bool renameWithoutReplacing(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    if (link(from, to) == 0) {
        unlink(from);
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return false;
    struct stat info;
    if (lstat(to, &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from, to) == 0;
}

}  // namespace

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

int createTemporaryBeside(const std::string& path, const std::string& suffix, mode_t mode, std::string& temporary,
                          std::string& error) {
    const fs::path target(path);
    std::string name = target.filename().string();
    // A long name is shortened in the temporary's so that it still fits the folder's limit.
    const size_t room = NAME_MAX - 1 - 1 - 6 - suffix.size();
    if (name.size() > room) name.resize(room);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = (target.parent_path() / ("." + name + "." + randomPart() + suffix)).string();
        // O_EXCL never opens what is there already, a link included.
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    const int failure = errno;
    error = "cannot write " + path + ": " + std::strerror(failure);
    temporary.clear();
    errno = failure;
    return -1;
}

bool putInPlace(const std::string& temporary, const std::string& path, bool replace, std::string& error) {
    bool placed = false;
    if (replace) {
        // The name may have become a link, a folder or a pipe since the checks.
        placed = checkOutputFile(path, error);
        if (placed && std::rename(temporary.c_str(), path.c_str()) != 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            placed = false;
        }
    } else if (renameWithoutReplacing(temporary.c_str(), path.c_str())) {
        placed = true;
    } else {
        error = errno == EEXIST ? existsMessage(path) : "cannot write " + path + ": " + std::strerror(errno);
    }
    if (!placed) unlink(temporary.c_str());
    return placed;
}
