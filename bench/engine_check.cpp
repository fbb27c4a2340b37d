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

#include "anim/show_replay.h"
#include "base/command_line.h"
#include "base/median.h"
#include "frame_compare.h"
#include "kernel/build_setting.h"
#include "render/frame_driver.h"
#include "render/sampler_table.h"

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

struct CheckOption {
    OptionSyntax syntax;
    void (*store)(CheckOptions& o, const OptionValue& v);
};

// The program's own syntax for every value: plain decimals, digits for counts.
const CheckOption checkOptions[] = {
    {{"--moments", ValueKind::SecondsList, "A,B,...", 0, showLengthSeconds},
     [](CheckOptions& o, const OptionValue& v) { o.moments = v.numbers; }},
    {{"--runs", ValueKind::Count, "N", 1, 100000},
     [](CheckOptions& o, const OptionValue& v) { o.runs = static_cast<int>(v.number); }},
    {{"--cpu-runs", ValueKind::Count, "N", 1, 1000},
     [](CheckOptions& o, const OptionValue& v) { o.cpuRuns = static_cast<int>(v.number); }},
    {{"--threads", ValueKind::Count, "N", 0, maxCpuThreads},
     [](CheckOptions& o, const OptionValue& v) { o.threads = static_cast<int>(v.number); }},
    {{"--min-psnr", ValueKind::Decimal, "DB", 0, 1000},
     [](CheckOptions& o, const OptionValue& v) { o.minPsnr = v.number; }},
    {{"--ppm", ValueKind::Folder, "DIR", 0, 0}, [](CheckOptions& o, const OptionValue& v) { o.ppmDir = v.text; }},
    {{"--allow-no-gpu", ValueKind::None, "", 0, 0}, [](CheckOptions& o, const OptionValue&) { o.allowNoGpu = true; }},
    {{"--help", ValueKind::None, "", 0, 0}, [](CheckOptions& o, const OptionValue&) { o.help = true; }},
    {{"-h", ValueKind::None, "", 0, 0}, [](CheckOptions& o, const OptionValue&) { o.help = true; }},
};

bool parseOptions(int argc, char** argv, CheckOptions& o, std::string& error) {
    return readCommandLine<CheckOption>(argc, argv, checkOptions, std::size(checkOptions),
                                        [&](const CheckOption& option, const OptionValue& value, bool&, std::string&) {
                                            option.store(o, value);
                                            return true;
                                        },
                                        error);
}

// The tick of a moment, refused when the show has ended by then (its clock, like
// the live one, sums the tick time in single precision).
bool momentTickAt(double seconds, int& tick, std::string& error) {
    const MomentTick moment = momentTick(seconds, tickMs);
    tick = static_cast<int>(moment.ticks);
    if (moment.reach != MomentReach::Reached) {
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
        if (!momentTickAt(seconds, tick, error)) {
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
        nextTick = replayShow(show, nextTick, moment.tick + 1, tickMs);
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
