#include "app/video_encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace {

// "file:" keeps ffmpeg from reading a path as an option or a protocol.
std::string fileUrl(const std::string& path) {
    return "file:" + path;
}

std::string describeStatus(const std::string& program, int status) {
    if (WIFEXITED(status)) return program + " exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return program + " was killed by signal " + std::to_string(WTERMSIG(status));
    return program + " stopped unexpectedly";
}

int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

// ffmpeg runs with -loglevel error and still exits with 0 after some failures
// (a full disk while the trailer is written), so whatever it prints is taken as
// a failure. Its output goes to a file in memory: a pipe could fill up while we
// block writing frames to it.
int makeOutputFile(std::string& error) {
    const int fd = memfd_create("ffmpeg-output", MFD_CLOEXEC);
    if (fd < 0) error = std::string("cannot keep ffmpeg's messages: ") + std::strerror(errno);
    return fd;
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

// False, with why, unless the program exited with 0 and printed nothing.
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

// Spawns arguments[0] from PATH in a process group of its own, so that a
// Ctrl-C at the terminal reaches only us and we decide how ffmpeg ends. Its
// stdout and stderr go to outputFd.
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

}  // namespace

std::string secondsText(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    // Trim trailing zeros: "12.300000" -> "12.3", "96.000000" -> "96".
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::vector<std::string> ffmpegArguments(const VideoSettings& settings) {
    std::vector<std::string> args = {settings.program, "-hide_banner", "-nostdin", "-nostats",
                                     "-loglevel",      "error",        "-y"};
    args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "bgra", "-s",
                             std::to_string(settings.width) + "x" + std::to_string(settings.height), "-r",
                             std::to_string(settings.fps), "-i", "pipe:0"});
    const bool audio = !settings.audioPath.empty();
    if (audio) {
        // The show loops the track; the fade is placed on the show's clock and
        // then the part before the first frame is cut away.
        args.insert(args.end(), {"-stream_loop", "-1", "-i", fileUrl(settings.audioPath)});
        std::string filter = "afade=t=out:st=" + secondsText(settings.fadeStartSeconds) +
                             ":d=" + secondsText(settings.fadeSeconds) + ":curve=tri";
        if (settings.audioStartSeconds > 0.0)
            filter += ",atrim=start=" + secondsText(settings.audioStartSeconds) + ",asetpts=PTS-STARTPTS";
        args.insert(args.end(), {"-filter:a", filter});
    }
    args.insert(args.end(), {"-map", "0:v:0"});
    if (audio) args.insert(args.end(), {"-map", "1:a:0"});
    args.insert(args.end(), settings.videoCodec.begin(), settings.videoCodec.end());
    if (audio) args.insert(args.end(), settings.audioCodec.begin(), settings.audioCodec.end());
    const double duration = static_cast<double>(settings.frameCount) / settings.fps;
    args.insert(args.end(), {"-t", secondsText(duration)});
    args.insert(args.end(), settings.containerOptions.begin(), settings.containerOptions.end());
    args.push_back(fileUrl(settings.outputPath));
    return args;
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

VideoEncoder::~VideoEncoder() {
    std::string ignored;
    if (running()) finish(ignored);
}

bool VideoEncoder::start(const VideoSettings& settings, std::string& error) {
    if (running()) {
        error = "the encoder is already running";
        return false;
    }
    if (settings.width <= 0 || settings.height <= 0 || settings.fps <= 0 || settings.frameCount <= 0) {
        error = "nothing to encode";
        return false;
    }
    if (findOnPath(settings.program).empty()) {
        error = settings.program + " was not found on PATH; it is needed to write videos";
        return false;
    }
    settings_ = settings;
    signal(SIGPIPE, SIG_IGN);

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe for ffmpeg: ") + std::strerror(errno);
        return false;
    }
    output_ = makeOutputFile(error);
    const bool started = output_ >= 0 && spawn(ffmpegArguments(settings), ends[0], output_, pid_, error);
    close(ends[0]);
    if (!started) {
        close(ends[1]);
        if (output_ >= 0) close(output_);
        output_ = -1;
        return false;
    }
    pipe_ = ends[1];
    return true;
}

bool VideoEncoder::writeFrame(const uint32_t* pixels, int pitch, std::string& error) {
    if (!running() || pipe_ < 0) {
        error = settings_.program + " is not running";
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(settings_.width) * 4;
    const int rows = pitch == settings_.width ? 1 : settings_.height;
    const size_t chunk = pitch == settings_.width ? rowBytes * settings_.height : rowBytes;
    for (int y = 0; y < rows; ++y) {
        const char* data = reinterpret_cast<const char*>(pixels + static_cast<size_t>(y) * pitch);
        size_t left = chunk;
        while (left > 0) {
            const ssize_t n = write(pipe_, data, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                error = settings_.program + " stopped reading frames (" + std::strerror(errno) + ")";
                return false;
            }
            data += n;
            left -= static_cast<size_t>(n);
        }
    }
    return true;
}

bool VideoEncoder::finish(std::string& error) {
    if (!running()) {
        error = settings_.program + " is not running";
        return false;
    }
    if (pipe_ >= 0) close(pipe_);
    pipe_ = -1;
    const int status = waitFor(pid_);
    pid_ = -1;
    const bool clean = judge(settings_.program, status, output_, error);
    close(output_);
    output_ = -1;
    return clean;
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

bool probeVideo(const std::string& path, std::string& error) {
    if (findOnPath("ffprobe").empty()) return true;
    if (runProgram({"ffprobe", "-hide_banner", "-v", "error", fileUrl(path)}, error)) return true;
    error = "the finished file does not read back: " + error;
    return false;
}

bool checkAudioDecodes(const std::string& program, const std::string& path, std::string& error) {
    return runProgram({program, "-hide_banner", "-nostdin", "-v", "error", "-i", fileUrl(path), "-map", "0:a:0", "-f",
                       "null", "-"},
                      error);
}

bool trimVideo(const std::string& program, const std::string& path, double seconds, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path original(path);
    const fs::path trimmed =
        original.parent_path() / (original.stem().string() + ".trimming" + original.extension().string());
    const std::vector<std::string> args = {program,
                                           "-hide_banner",
                                           "-nostdin",
                                           "-loglevel",
                                           "error",
                                           "-y",
                                           "-i",
                                           fileUrl(path),
                                           "-map",
                                           "0",
                                           "-c",
                                           "copy",
                                           "-t",
                                           secondsText(seconds),
                                           "-movflags",
                                           "+faststart",
                                           fileUrl(trimmed.string())};
    if (!runProgram(args, error)) {
        std::error_code ignored;
        fs::remove(trimmed, ignored);
        return false;
    }
    std::error_code failure;
    fs::rename(trimmed, original, failure);
    if (failure) {
        error = "cannot replace " + path + ": " + failure.message();
        fs::remove(trimmed, failure);
        return false;
    }
    return true;
}
