#include "app/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr double showSeconds = 106.0;

bool parseNumber(const char* text, double& value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text, &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

bool parseInt(const char* text, int& value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || !end || *end != '\0' || v < -1000000 || v > 1000000) return false;
    value = static_cast<int>(v);
    return true;
}

// Which options the user gave, so that options that belong to another job are refused.
struct Seen {
    bool still = false, out = false, dt = false;
    bool capture = false, video = false, fps = false, from = false, to = false;
    bool start = false, software = false;
};

bool checkCombination(const Seen& seen, const Options& o, std::string& error) {
    const bool captureJob = seen.capture || seen.video;
    if (seen.still && captureJob) {
        error = "--still cannot be combined with --capture or --video";
        return false;
    }
    if ((seen.out || seen.dt) && !seen.still) {
        error = std::string(seen.out ? "--out" : "--dt") + " only applies to --still";
        return false;
    }
    if ((seen.fps || seen.from || seen.to) && !captureJob) {
        error = std::string(seen.fps    ? "--fps"
                            : seen.from ? "--from"
                                        : "--to") +
                " only applies to --capture and --video";
        return false;
    }
    if ((seen.start || seen.software) && (seen.still || captureJob)) {
        error = std::string(seen.start ? "--start" : "--software") + " only applies to the live show";
        return false;
    }
    if (o.fromSeconds >= o.toSeconds) {
        error = "--from must be earlier than --to";
        return false;
    }
    return true;
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    Seen seen;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // Every option but the switches takes exactly one value.
        auto value = [&](const char*& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto seconds = [&](double& out, double lo, double hi) {
            const char* v = nullptr;
            if (!value(v)) return false;
            double d = 0;
            if (!parseNumber(v, d) || d < lo || d > hi) {
                error = arg + ": '" + v + "' is not a time between " + std::to_string(static_cast<int>(lo)) + " and " +
                        std::to_string(static_cast<int>(hi)) + " seconds";
                return false;
            }
            out = d;
            return true;
        };
        // A file or folder name; an empty one is refused.
        auto path = [&](std::string& out, const char* what) {
            const char* v = nullptr;
            if (!value(v)) return false;
            if (!*v) {
                error = arg + " needs " + what;
                return false;
            }
            out = v;
            return true;
        };
        const char* v = nullptr;
        if (arg == "--help" || arg == "-h") {
            o.mode = RunMode::Help;
            return true;
        } else if (arg == "--version") {
            o.mode = RunMode::Version;
            return true;
        } else if (arg == "--still") {
            if (!seconds(o.stillSeconds, 0.0, showSeconds)) return false;
            seen.still = true;
        } else if (arg == "--out") {
            if (!path(o.outPath, "a file name")) return false;
            seen.out = true;
        } else if (arg == "--dt") {
            if (!value(v)) return false;
            double d = 0;
            if (!parseNumber(v, d) || d <= 0.0 || d > 10000.0) {
                error = std::string("--dt: '") + v + "' is not a frame time in milliseconds above 0";
                return false;
            }
            o.dtMs = d;
            seen.dt = true;
        } else if (arg == "--capture") {
            if (!path(o.captureDir, "a folder")) return false;
            seen.capture = true;
        } else if (arg == "--video") {
            if (!path(o.videoPath, "a file name")) return false;
            seen.video = true;
        } else if (arg == "--fps") {
            if (!value(v)) return false;
            if (!parseInt(v, o.fps) || o.fps < 1 || o.fps > 1000) {
                error = std::string("--fps: '") + v + "' is not a frame rate from 1 to 1000";
                return false;
            }
            seen.fps = true;
        } else if (arg == "--from") {
            if (!seconds(o.fromSeconds, 0.0, showSeconds)) return false;
            seen.from = true;
        } else if (arg == "--to") {
            if (!seconds(o.toSeconds, 0.0, showSeconds)) return false;
            seen.to = true;
        } else if (arg == "--start") {
            if (!seconds(o.startSeconds, 0.0, showSeconds)) return false;
            seen.start = true;
        } else if (arg == "--backend") {
            if (!value(v)) return false;
            const std::string b = v;
            if (b == "auto") {
                o.driver.backend = BackendChoice::Auto;
            } else if (b == "cpu") {
                o.driver.backend = BackendChoice::Cpu;
            } else if (b == "cuda") {
                o.driver.backend = BackendChoice::Cuda;
            } else {
                error = "--backend: '" + b + "' is not one of auto, cpu, cuda";
                return false;
            }
        } else if (arg == "--threads") {
            if (!value(v)) return false;
            if (!parseInt(v, o.driver.threads) || o.driver.threads < 1 || o.driver.threads > 1024) {
                error = std::string("--threads: '") + v + "' is not a thread count from 1 to 1024";
                return false;
            }
        } else if (arg == "--data") {
            if (!path(o.dataDir, "a folder")) return false;
        } else if (arg == "--no-overlays") {
            o.overlays = false;
        } else if (arg == "--mute") {
            o.mute = true;
        } else if (arg == "--software") {
            o.software = true;
            seen.software = true;
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (!checkCombination(seen, o, error)) return false;
    if (seen.still) o.mode = RunMode::Still;
    if (seen.capture || seen.video) o.mode = RunMode::Capture;
    return true;
}

std::string usageText(const char* program) {
    std::string p = program ? program : "template";
    return "Usage: " + p +
           " [options]\n"
           "A self-running, path-traced real-time show of 106 seconds.\n"
           "\n"
           "Live show (default, needs a display):\n"
           "  --start SECONDS     begin the show at that moment\n"
           "  --software          draw without OpenGL\n"
           "  --mute              no music\n"
           "\n"
           "Still of one moment (headless):\n"
           "  --still SECONDS     render the frame shown at that moment\n"
           "  --out FILE          PNG to write (default still.png)\n"
           "  --dt MS             fixed frame time of the ticks before it (default 10)\n"
           "\n"
           "Capture of the show (headless):\n"
           "  --capture DIR       write DIR/frame_00000.png and on\n"
           "  --video FILE        encode an H.264 MP4 with music through ffmpeg\n"
           "  --fps N             frames per second (default 60)\n"
           "  --from SECONDS      start of the captured part (default 0)\n"
           "  --to SECONDS        end of the captured part (default 106)\n"
           "\n"
           "Common:\n"
           "  --backend auto|cpu|cuda   renderer (default auto: CUDA when usable)\n"
           "  --threads N         CPU renderer threads (default: one per core)\n"
           "  --no-overlays       leave the title images off\n"
           "  --data DIR          folder holding the images and the track\n"
           "  --help, --version\n";
}
