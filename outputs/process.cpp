#include "outputs/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

std::string describeStatus(const std::string& program, int status) {
    if (WIFEXITED(status)) return program + " exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return program + " was killed by signal " + std::to_string(WTERMSIG(status));
    return program + " stopped unexpectedly";
}

// The first line the program printed, empty when it printed nothing.
std::string firstLine(int fd) {
    char text[512];
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    std::string all(text, n > 0 ? static_cast<size_t>(n) : 0);
    const size_t begin = all.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    return all.substr(begin, all.find_first_of("\r\n", begin) - begin);
}

}  // namespace

int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

int makeOutputFile(std::string& error) {
    const int fd = memfd_create("ffmpeg-output", MFD_CLOEXEC);
    if (fd < 0) error = std::string("cannot keep ffmpeg's messages: ") + std::strerror(errno);
    return fd;
}

bool judge(const std::string& program, int status, int outputFd, std::string& error) {
    if (status < 0) {
        error = "lost track of " + program + ": " + std::strerror(errno);
        return false;
    }
    const std::string said = outputFd >= 0 ? firstLine(outputFd) : "";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && said.empty()) return true;
    error = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? program : describeStatus(program, status);
    if (!said.empty()) error += ": " + said;
    return false;
}

bool spawn(const std::vector<std::string>& arguments, int stdinFd, int outputFd, pid_t& pid, std::string& error) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    const int result = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        error = "cannot run " + arguments[0] + ": " + std::strerror(result);
        pid = -1;
        return false;
    }
    return true;
}

std::string findOnPath(const std::string& name) {
    auto runnable = [](const std::string& path) {
        struct stat info;
        return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
    };
    if (name.empty()) return "";
    if (name.find('/') != std::string::npos) return runnable(name) ? name : "";
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > begin ? dirs.substr(begin, end - begin) : ".";
        const std::string candidate = dir + "/" + name;
        if (runnable(candidate)) return candidate;
        begin = end + 1;
    }
    return "";
}

bool runProgram(const std::vector<std::string>& arguments, std::string& error) {
    const int output = makeOutputFile(error);
    pid_t pid = -1;
    const bool clean =
        output >= 0 && spawn(arguments, -1, output, pid, error) && judge(arguments[0], waitFor(pid), output, error);
    if (output >= 0) close(output);
    return clean;
}

bool readProgramOutput(const std::vector<std::string>& arguments, std::string& output, std::string& error) {
    output.clear();
    const int fd = makeOutputFile(error);
    pid_t pid = -1;
    if (fd < 0 || !spawn(arguments, -1, fd, pid, error)) {
        if (fd >= 0) close(fd);
        return false;
    }
    const int status = waitFor(pid);
    char buffer[65536];
    ssize_t n = 0;
    for (off_t at = 0; (n = pread(fd, buffer, sizeof buffer, at)) > 0; at += n) output.append(buffer, n);
    const bool clean = status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!clean) {
        error = status < 0 ? "lost track of " + arguments[0] + ": " + std::strerror(errno)
                           : describeStatus(arguments[0], status);
        const std::string said = firstLine(fd);
        if (!said.empty()) error += ": " + said;
    }
    close(fd);
    return clean;
}
