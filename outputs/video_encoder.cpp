#include "outputs/video_encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "outputs/process.h"
#include "base/decimal_text.h"

namespace {

// "file:" keeps ffmpeg from reading a path as an option or a protocol.
std::string fileUrl(const std::string& path) {
    return "file:" + path;
}

}  // namespace

std::string secondsText(double seconds) {
    return decimalText(seconds, 6);
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
