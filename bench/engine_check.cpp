// The engine on its own, no desktop: renders chosen moments of the show with the
// CPU and the CUDA backend in one process, compares the two frames, times them
// and optionally writes both as PPM. A frame of a moment is the still of that
// moment: the show replayed in 10 ms ticks, the pass counter at the tick number.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "anim/show_clock.h"
#include "anim/show_state.h"
#include "frame_compare.h"
#include "kernel/build_setting.h"
#include "scene/frame_driver.h"
#include "scene/sampler_table.h"

namespace {

constexpr int exitPassed = 0, exitFailed = 1, exitError = 2, exitNoGpu = 3;
constexpr float tickMs = 10.0f;

const char* const usage =
    "usage: engine-check [options]\n"
    "Renders moments of the show with the CPU and the CUDA backend, compares and times them.\n"
    "  --moments A,B,...  seconds into the show (default 0.5,13,30,60,97), 0 to 105.99\n"
    "  --runs N           timed CUDA frames per moment, after one warm-up (default 30)\n"
    "  --cpu-runs N       timed CPU frames per moment (default 3)\n"
    "  --threads N        CPU backend threads (default: one per core)\n"
    "  --min-psnr DB      least PSNR of a CUDA frame against the CPU frame (default 30)\n"
    "  --ppm DIR          write DIR/cpu_<t>.ppm and DIR/cuda_<t>.ppm\n"
    "  --allow-no-gpu     without a usable CUDA device, exit 0 after the CPU frames\n"
    "  --help             this text\n"
    "Exit codes: 0 every moment passed; 1 a check failed (PSNR below the threshold, a backend\n"
    "giving different frames for one moment, a CUDA device that fails to set up or render);\n"
    "2 bad options or an error (an unwritable PPM); 3 no CUDA device or no CUDA in this build\n"
    "(the CPU frames were still rendered and timed; 0 with --allow-no-gpu).\n";

struct CheckOptions {
    std::vector<double> moments = {0.5, 13, 30, 60, 97};
    int runs = 30;
    int cpuRuns = 3;
    int threads = 0;
    double minPsnr = 30.0;
    std::string ppmDir;
    bool allowNoGpu = false;
    bool help = false;
};

bool parseNumber(const std::string& name, const std::string& text, double low, double high, double& value,
                 std::string& error) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < low || value > high) {
        char range[64];
        std::snprintf(range, sizeof range, " wants a number from %g to %g, not '", low, high);
        error = name + range + text + "'";
        return false;
    }
    return true;
}

bool parseCount(const std::string& name, const std::string& text, int low, int high, int& value, std::string& error) {
    double number = 0;
    if (!parseNumber(name, text, low, high, number, error)) return false;
    if (number != std::floor(number)) {
        error = name + " wants a whole number, not '" + text + "'";
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool parseOptions(int argc, char** argv, CheckOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        const bool flag = name == "--help" || name == "-h" || name == "--allow-no-gpu";
        if (flag) {
            o.help |= name != "--allow-no-gpu";
            o.allowNoGpu |= name == "--allow-no-gpu";
            continue;
        }
        static const char* const valued[] = {"--moments", "--runs", "--cpu-runs", "--threads", "--min-psnr", "--ppm"};
        const size_t equals = name.find('=');
        if (std::none_of(std::begin(valued), std::end(valued),
                         [&](const char* known) { return name.substr(0, equals) == known; })) {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = name + " needs a value";
            return false;
        }
        bool done = false;
        if (name == "--moments") {
            o.moments.clear();
            size_t start = 0;
            do {
                const size_t comma = value.find(',', start);
                const std::string item = value.substr(start, comma == std::string::npos ? comma : comma - start);
                double seconds = 0;
                if (!parseNumber("--moments", item, 0.0, showLengthSeconds, seconds, error)) return false;
                o.moments.push_back(seconds);
                start = comma == std::string::npos ? comma : comma + 1;
            } while (start != std::string::npos);
            done = true;
        } else if (name == "--runs") {
            done = parseCount(name, value, 1, 100000, o.runs, error);
        } else if (name == "--cpu-runs") {
            done = parseCount(name, value, 1, 1000, o.cpuRuns, error);
        } else if (name == "--threads") {
            done = parseCount(name, value, 0, maxCpuThreads, o.threads, error);
        } else if (name == "--min-psnr") {
            done = parseNumber(name, value, 0.0, 1000.0, o.minPsnr, error);
        } else if (name == "--ppm") {
            o.ppmDir = value;
            done = !value.empty();
            if (!done) error = "--ppm needs a folder";
        }
        if (!done) return false;
    }
    return true;
}

// The tick of a moment, refused when the show has ended by then (its clock, like
// the live one, sums the tick time in single precision).
bool momentTick(double seconds, int& tick, std::string& error) {
    tick = static_cast<int>(std::lround(seconds * 1000.0 / tickMs));
    if (runShowClock(tickMs, tick, showLengthSeconds).tick < tick) {
        char text[160];
        std::snprintf(text, sizeof text, "moment %g (tick %d) is after the show's last frame", seconds, tick);
        error = text;
        return false;
    }
    return true;
}

std::string momentName(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

bool writePpm(const std::string& path, const uint32_t* pixels, int width, int height, std::string& error) {
    std::vector<unsigned char> bytes;
    bytes.reserve(static_cast<size_t>(width) * height * 3);
    for (int i = 0; i < width * height; ++i) {
        bytes.push_back(static_cast<unsigned char>(pixels[i] >> 16));
        bytes.push_back(static_cast<unsigned char>(pixels[i] >> 8));
        bytes.push_back(static_cast<unsigned char>(pixels[i]));
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file && std::fprintf(file, "P6\n%d %d\n255\n", width, height) > 0 &&
                   std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0) written = false;
    if (!written) error = "cannot write " + path + ": " + std::strerror(errno);
    return written;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// One moment on one backend: the first frame (kept) and the median time of
// `runs` renders, each with the pass counter at the tick. `repeatable` turns
// false when a run gives other pixels than the first; `failure` is set when the
// driver had to leave the backend it started with.
struct BackendFrames {
    std::vector<uint32_t> frame;
    double medianMs = 0.0;
    bool repeatable = true;
    std::string failure;
};

BackendFrames renderMoment(FrameDriver& driver, const FrameData& record, int tick, int warmUps, int runs) {
    BackendFrames result;
    const RenderBackend* started = driver.backend();
    const size_t pixels = static_cast<size_t>(record.width) * record.height;
    std::vector<double> times;
    for (int run = 0; run < warmUps + runs; ++run) {
        driver.setPassCounter(tick);
        std::string error;
        const auto begin = std::chrono::steady_clock::now();
        const bool rendered = driver.renderFrame(record, error);
        const auto end = std::chrono::steady_clock::now();
        if (!rendered || driver.backend() != started) {
            result.failure = rendered ? "the driver switched to the CPU" : error;
            return result;
        }
        const uint32_t* frame = driver.frameBuffer();
        if (run == 0)
            result.frame.assign(frame, frame + pixels);
        else if (std::memcmp(frame, result.frame.data(), pixels * sizeof(uint32_t)) != 0)
            result.repeatable = false;
        if (run >= warmUps) times.push_back(std::chrono::duration<double, std::milli>(end - begin).count());
    }
    result.medianMs = median(times);
    return result;
}

// Why the CUDA backend is not there: true when there is simply no device (or
// no CUDA in this build), false when a device is there but failed to set up.
bool noGpu(const std::string& reason) {
#ifdef TPL_HAVE_CUDA
    return reason.find(noCudaDevice) != std::string::npos;
#else
    (void)reason;
    return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    CheckOptions options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "engine-check: %s (see --help)\n", error.c_str());
        return exitError;
    }
    if (options.help) {
        std::fputs(usage, stdout);
        return exitPassed;
    }
    struct Moment {
        double seconds;
        int tick;
    };
    std::vector<Moment> moments;
    for (double seconds : options.moments) {
        int tick = 0;
        if (!momentTick(seconds, tick, error)) {
            std::fprintf(stderr, "engine-check: %s\n", error.c_str());
            return exitError;
        }
        moments.push_back({seconds, tick});
    }
    // One replay of the show serves every moment, so they go in tick order.
    std::stable_sort(moments.begin(), moments.end(), [](const Moment& a, const Moment& b) { return a.tick < b.tick; });
    if (!options.ppmDir.empty()) {
        std::error_code code;
        std::filesystem::create_directories(options.ppmDir, code);
        if (code) {
            std::fprintf(stderr, "engine-check: cannot make %s: %s\n", options.ppmDir.c_str(), code.message().c_str());
            return exitError;
        }
    }

    ShowState show;
    startShow(show, nullptr);
    const std::vector<unsigned char> table = buildSamplerTable();
    const int tableSize = static_cast<int>(table.size());
    FrameDriver cpu, cuda;
    if (!cpu.setup(show.world.frame, table.data(), tableSize, DriverOptions{BackendChoice::Cpu, options.threads},
                   error)) {
        std::fprintf(stderr, "engine-check: the CPU backend cannot run: %s\n", error.c_str());
        return exitError;
    }
    bool gpu = cuda.setup(show.world.frame, table.data(), tableSize, DriverOptions{BackendChoice::Cuda, 0}, error);
    bool failed = false, missingGpu = false;
    if (!gpu) {
        missingGpu = noGpu(error);
        failed = !missingGpu;
        std::printf("engine-check: %s: %s\n", missingGpu ? "no usable CUDA device, CPU frames only" : "CUDA FAILED",
                    error.c_str());
    }

    std::printf("\n%d samples per pixel, %d x %d; CPU: median of %d, CUDA: median of %d after a warm-up\n",
                samplesPerFrame, show.world.frame.width, show.world.frame.height, options.cpuRuns, options.runs);
    std::printf("%7s %6s %10s %10s %9s %8s %5s %8s %8s  %s\n", "moment", "tick", "CPU ms", "CUDA ms", "speed-up",
                "PSNR dB", "max", "<=2", "<=8", "result");
    std::fflush(stdout);
    int nextTick = 0;
    for (const Moment& moment : moments) {
        // Exactly the still's sequence: tick 0 takes 0 ms, each later tick 10 ms.
        for (; nextTick <= moment.tick; ++nextTick) advanceShow(show, nextTick == 0 ? 0.0f : tickMs);
        const FrameData& record = show.world.frame;
        const std::string name = momentName(moment.seconds);
        const BackendFrames onCpu = renderMoment(cpu, record, moment.tick, 0, options.cpuRuns);
        if (!onCpu.failure.empty()) {
            std::fprintf(stderr, "engine-check: CPU frame at %s s: %s\n", name.c_str(), onCpu.failure.c_str());
            return exitError;
        }
        std::string result = !onCpu.repeatable ? "FAILED: CPU frames differ between runs" : gpu ? "ok" : "CPU only";
        failed |= !onCpu.repeatable;
        char cells[160];
        std::snprintf(cells, sizeof cells, "%10s %9s %8s %5s %8s %8s", "-", "-", "-", "-", "-", "-");
        if (gpu) {
            const BackendFrames onGpu = renderMoment(cuda, record, moment.tick, 1, options.runs);
            if (!onGpu.failure.empty()) {
                result = "CUDA FAILED: " + onGpu.failure;
                gpu = false;  // the driver has left the GPU; later moments would be CPU frames
                failed = true;
            } else {
                const FrameDifference d = compareFrames(onGpu.frame.data(), onCpu.frame.data(), onCpu.frame.size());
                std::snprintf(cells, sizeof cells, "%10.2f %9.1f %8.2f %5d %7.2f%% %7.2f%%", onGpu.medianMs,
                              onCpu.medianMs / onGpu.medianMs, d.psnr, d.largest, 100.0 * d.within2, 100.0 * d.within8);
                if (d.psnr < options.minPsnr) {
                    char text[64];
                    std::snprintf(text, sizeof text, "FAILED: PSNR below %g dB", options.minPsnr);
                    result = text;
                    failed = true;
                } else if (!onGpu.repeatable) {
                    result = "FAILED: CUDA frames differ between runs";
                    failed = true;
                }
                if (!options.ppmDir.empty() && !writePpm(options.ppmDir + "/cuda_" + name + ".ppm", onGpu.frame.data(),
                                                         record.width, record.height, error)) {
                    std::fprintf(stderr, "engine-check: %s\n", error.c_str());
                    return exitError;
                }
            }
        }
        if (!options.ppmDir.empty() && !writePpm(options.ppmDir + "/cpu_" + name + ".ppm", onCpu.frame.data(),
                                                 record.width, record.height, error)) {
            std::fprintf(stderr, "engine-check: %s\n", error.c_str());
            return exitError;
        }
        std::printf("%7s %6d %10.1f %s  %s\n", name.c_str(), moment.tick, onCpu.medianMs, cells, result.c_str());
        std::fflush(stdout);
    }

    if (failed) {
        std::printf("engine-check: FAILED\n");
        return exitFailed;
    }
    if (missingGpu) {
        std::printf("engine-check: CPU frames only (no GPU)%s\n", options.allowNoGpu ? ", allowed" : "");
        return options.allowNoGpu ? exitPassed : exitNoGpu;
    }
    std::printf("engine-check: passed, every CUDA frame within %g dB of the CPU frame\n", options.minPsnr);
    return exitPassed;
}
