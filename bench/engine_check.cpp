// The engine on its own, no desktop: renders chosen moments of the show with the
// CPU and the CUDA backend in one process, judges each CUDA frame against the
// CPU's (frame_gate.h), times both and optionally writes both as PPM. A frame of
// a moment is the still of that moment: the show replayed in 10 ms ticks, the
// pass counter at the tick number.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "anim/show_replay.h"
#include "check_options.h"
#include "frame_gate.h"
#include "moment_frames.h"
#include "kernel/build_setting.h"
#include "render/frame_driver.h"
#include "render/sampler_table.h"
#include "scene/world.h"

namespace {

constexpr int exitPassed = 0, exitFailed = 1, exitError = 2, exitNoGpu = 3;
constexpr float tickMs = 10.0f;

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

std::string sizeName(FrameSize size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// "13" at the show's size, "13_641x479" at any other: the PPM names.
std::string frameName(double seconds, FrameSize size) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    const FrameSize show;
    return size.width == show.width && size.height == show.height ? text : text + ("_" + sizeName(size));
}

bool writePpm(const std::string& path, const uint32_t* pixels, int width, int height, std::string& error) {
    const size_t count = static_cast<size_t>(width) * height;
    std::vector<unsigned char> bytes;
    bytes.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
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

std::string milliseconds(double ms, const char* pattern) {
    if (ms < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, pattern, ms);
    return text;
}

std::string decibels(double db) {
    if (std::isinf(db)) return db > 0 ? "inf" : "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", db);
    return text;
}

// The frames most worth a look: the first that failed, else the smallest margin.
struct Weakest {
    bool failed = false;
    double marginDb = 0.0;
    std::string name, text;
};

// The verdict on one device frame, as the table shows it.
struct Judged {
    std::string cells;      // the device's columns of the row
    std::string layerLine;  // with --layers: the second line
    std::vector<std::string> failures;
    double marginDb = 0.0;
};

Judged judgeMoment(const BackendFrames& onGpu, const BackendFrames& onCpu, const BackendFrames& next, size_t pixels,
                   const CheckOptions& options, const char* lead) {
    Judged j;
    const PixelVerdict v =
        judgePixels(onGpu.frame.data(), onCpu.frame.data(), next.frame.data(), pixels, options.minMargin, options.minPsnr);
    const FrameDifference& d = v.difference;
    j.marginDb = v.marginDb;
    const double speedUp = onGpu.medianMs > 0 && onCpu.medianMs >= 0 ? onCpu.medianMs / onGpu.medianMs : -1.0;
    char cells[200];
    std::snprintf(cells, sizeof cells, "%9s %9s %8s %8s %8s %7s %4d %6.2f%% %6.2f%% %9zu",
                  milliseconds(onGpu.medianMs, "%.2f").c_str(), milliseconds(onGpu.kernelMs, "%.2f").c_str(),
                  milliseconds(speedUp, "%.1f").c_str(), decibels(d.psnr).c_str(), decibels(v.noiseFloorPsnr).c_str(),
                  decibels(v.marginDb).c_str(), d.largest, 100.0 * d.within2, 100.0 * d.within8, v.unwritten);
    j.cells = cells;
    if (!v.passed) j.failures.push_back(v.why);
    if (!onGpu.repeatable) j.failures.push_back("CUDA frames differ between runs");
    if (!options.layers) return j;
    const LightVerdict light = judgeLight(onGpu.light.data(), onGpu.frame.data(), onCpu.light.data(),
                                          next.light.data(), pixels, options.minMargin);
    const GuideVerdict guide = judgeGuide(onGpu.guide.data(), onCpu.guide.data(), pixels);
    if (!light.passed) j.failures.push_back(light.why);
    if (!guide.passed) j.failures.push_back(guide.why);
    char text[400];
    std::snprintf(text, sizeof text,
                  "%s  layers: light error %.3g%% (next pass %.3g%%, margin %s dB), %zu pixels off their light, %zu "
                  "values not finite; guide: %zu of %zu pixels differ (%zu allowed), %zu not finite  %s",
                  lead, 100.0 * light.error, 100.0 * light.noiseFloor, decibels(light.marginDb).c_str(),
                  light.offPixels, light.notFinite, guide.differing, pixels, guide.allowed, guide.notFinite,
                  light.passed && guide.passed ? "ok" : "FAILED");
    j.layerLine = text;
    return j;
}

}  // namespace

int main(int argc, char** argv) {
    CheckOptions options;
    std::string error;
    if (!parseCheckOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "engine-check: %s (see --help)\n", error.c_str());
        return exitError;
    }
    if (options.help) {
        std::fputs(checkUsage, stdout);
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
    FrameDriver cpu, device;
    if (!cpu.setup(show.world.frame, table.data(), tableSize, DriverOptions{BackendChoice::Cpu, options.threads},
                   error)) {
        std::fprintf(stderr, "engine-check: the CPU backend cannot run: %s\n", error.c_str());
        return exitError;
    }
    // The device under test runs in check mode: its buffers are marked before
    // every frame, so a pixel it skips cannot pass for an old one.
    DriverOptions deviceOptions{BackendChoice::Cuda, 0};
    if (options.cpuDevice) deviceOptions = DriverOptions{BackendChoice::Cpu, options.threads, CpuKernel::Scalar};
    deviceOptions.markUnwritten = true;
    bool gpu = device.setup(show.world.frame, table.data(), tableSize, deviceOptions, error);
    bool failed = false, missingGpu = false;
    if (!gpu) {
        missingGpu = noGpu(error);
        failed = !missingGpu;
        std::printf("engine-check: %s: %s\n", missingGpu ? "no usable CUDA device, CPU frames only" : "CUDA FAILED",
                    error.c_str());
    }

    const Layers checked = options.layers ? Layers::LightAndGuide : Layers::None;
    std::printf("\n%d samples per pixel%s\n", samplesPerFrame, options.layers ? ", light and guide layers compared" : "");
    std::printf("CPU: %s, median of %d timed frames\n", cpu.backend()->describe().c_str(), options.cpuRuns);
    if (gpu)
        std::printf("CUDA: %s%s, median of %d timed frames; CUDA ms: record upload, kernel and read-back, kernel ms: "
                    "the kernel alone (device events)\n",
                    device.backend()->describe().c_str(), options.cpuDevice ? " (standing in for CUDA)" : "",
                    options.runs);
    std::printf("margin: PSNR against the CPU frame less that of the CPU's next pass (at least %g dB); "
                "unwritten: pixels with the top byte set\n",
                options.minMargin);
    std::printf("%7s %6s %11s %10s %9s %9s %8s %8s %8s %7s %4s %7s %7s %9s  %s\n", "moment", "tick", "size", "CPU ms",
                "CUDA ms", "kernel ms", "speed-up", "PSNR dB", "next dB", "margin", "max", "<=2", "<=8", "unwritten",
                "result");
    std::fflush(stdout);
    Weakest weakest;
    bool anyCompared = false;
    int nextTick = 0;
    for (const Moment& moment : moments) {
        // Exactly the still's sequence: tick 0 takes 0 ms, each later tick 10 ms.
        nextTick = replayShow(show, nextTick, moment.tick + 1, tickMs);
        for (const FrameSize size : options.sizes) {
            FrameData record = show.world.frame;
            setFrameSize(record, size.width, size.height);
            const size_t pixels = static_cast<size_t>(size.width) * size.height;
            const std::string name = frameName(moment.seconds, size);
            char lead[64];
            std::snprintf(lead, sizeof lead, "%7g %6d %11s", moment.seconds, moment.tick, sizeName(size).c_str());

            const BackendFrames onCpu = renderMoment(cpu, record, moment.tick, checked, options.cpuRuns);
            const BackendFrames next = renderMoment(
                cpu, record, moment.tick + 1, options.layers ? Layers::Light : Layers::None, 0);
            for (const BackendFrames* frames : {&onCpu, &next})
                if (!frames->failure.empty()) {
                    std::fprintf(stderr, "engine-check: CPU frame at %s s, %s: %s\n", name.c_str(),
                                 sizeName(size).c_str(), frames->failure.c_str());
                    return exitError;
                }
            std::string result = !onCpu.repeatable ? "FAILED: CPU frames differ between runs" : gpu ? "ok" : "CPU only";
            failed |= !onCpu.repeatable;
            char noDevice[200];
            std::snprintf(noDevice, sizeof noDevice, "%9s %9s %8s %8s %8s %7s %4s %7s %7s %9s", "-", "-", "-", "-",
                          decibels(compareFrames(next.frame.data(), onCpu.frame.data(), pixels).psnr).c_str(), "-",
                          "-", "-", "-", "-");
            std::string cells = noDevice;
            std::string layerLine;
            if (gpu) {
                const BackendFrames onGpu = renderMoment(device, record, moment.tick, checked, options.runs);
                if (!onGpu.failure.empty()) {
                    result = "CUDA FAILED: " + onGpu.failure;
                    gpu = false;  // the driver has left the GPU; later frames would be CPU frames
                    failed = true;
                } else {
                    anyCompared = true;
                    const Judged judged = judgeMoment(onGpu, onCpu, next, pixels, options, lead);
                    const std::vector<std::string>& failures = judged.failures;
                    cells = judged.cells;
                    layerLine = judged.layerLine;
                    if (!failures.empty()) {
                        result = "FAILED: ";
                        for (const std::string& failure : failures)
                            result += failure + (&failure == &failures.back() ? "" : "; ");
                        failed = true;
                    }
                    const bool thisFailed = !failures.empty();
                    if (weakest.name.empty() || (thisFailed && !weakest.failed) ||
                        (!thisFailed && !weakest.failed && judged.marginDb < weakest.marginDb)) {
                        char text[96];
                        std::snprintf(text, sizeof text, "%g s at %s, margin %s dB%s", moment.seconds,
                                      sizeName(size).c_str(), decibels(judged.marginDb).c_str(),
                                      thisFailed ? ", failed" : "");
                        weakest = {thisFailed, judged.marginDb, name, text};
                    }
                    if (!options.ppmDir.empty() &&
                        !writePpm(options.ppmDir + "/cuda_" + name + ".ppm", onGpu.frame.data(), size.width,
                                  size.height, error)) {
                        std::fprintf(stderr, "engine-check: %s\n", error.c_str());
                        return exitError;
                    }
                }
            }
            if (!options.ppmDir.empty() && !writePpm(options.ppmDir + "/cpu_" + name + ".ppm", onCpu.frame.data(),
                                                     size.width, size.height, error)) {
                std::fprintf(stderr, "engine-check: %s\n", error.c_str());
                return exitError;
            }
            std::printf("%s %10s %s  %s\n", lead, milliseconds(onCpu.medianMs, "%.1f").c_str(), cells.c_str(),
                        result.c_str());
            if (!layerLine.empty()) std::printf("%s\n", layerLine.c_str());
            std::fflush(stdout);
        }
    }

    if (!options.ppmDir.empty() && anyCompared)
        std::printf("engine-check: weakest frames: %s/cpu_%s.ppm %s/cuda_%s.ppm (%s)\n", options.ppmDir.c_str(),
                    weakest.name.c_str(), options.ppmDir.c_str(), weakest.name.c_str(), weakest.text.c_str());
    if (failed) {
        std::printf("engine-check: FAILED\n");
        return exitFailed;
    }
    if (missingGpu) {
        std::printf("engine-check: CPU frames only (no GPU)%s\n", options.allowNoGpu ? ", allowed" : "");
        return options.allowNoGpu ? exitPassed : exitNoGpu;
    }
    std::printf("engine-check: passed: every CUDA frame at least %g dB closer to the CPU frame of its pass than the "
                "CPU's next pass, and every pixel written\n",
                options.minMargin);
    return exitPassed;
}
