#include "moment_frames.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/median.h"
#include "kernel/pixel_guide.h"

BackendFrames renderMoment(FrameDriver& driver, const FrameData& record, int pass, Layers layers, int runs) {
    BackendFrames result;
    const RenderBackend* started = driver.backend();
    const size_t pixels = static_cast<size_t>(record.width) * record.height;
    std::vector<double> times, kernelTimes;
    for (int run = 0; run <= runs; ++run) {
        driver.setPassCounter(pass);
        std::string error;
        const Layers wanted = run == 0 ? layers : Layers::None;
        const auto begin = std::chrono::steady_clock::now();
        const bool rendered = wanted == Layers::None    ? driver.renderFrame(record, error)
                              : wanted == Layers::Light ? driver.renderFrameWithLight(record, error)
                                                        : driver.renderFrameWithLayers(record, error);
        const auto end = std::chrono::steady_clock::now();
        if (!rendered || driver.backend() != started) {
            result.failure = rendered ? "the driver switched to the CPU" : error;
            return result;
        }
        const uint32_t* frame = driver.frameBuffer();
        if (run == 0) {
            result.frame.assign(frame, frame + pixels);
            if (wanted != Layers::None && !driver.layersValid()) {
                result.failure = "the backend gave no light layer";
                return result;
            }
            if (wanted != Layers::None) result.light.assign(driver.radiance(), driver.radiance() + pixels * 3);
            if (wanted == Layers::LightAndGuide)
                result.guide.assign(driver.guide(), driver.guide() + pixels * guideFloats);
            continue;
        }
        if (std::memcmp(frame, result.frame.data(), pixels * sizeof(uint32_t)) != 0) result.repeatable = false;
        times.push_back(std::chrono::duration<double, std::milli>(end - begin).count());
        const double kernel = driver.backend()->lastKernelMs();
        if (kernel >= 0) kernelTimes.push_back(kernel);
    }
    result.medianMs = median(times);
    result.kernelMs = median(kernelTimes);
    return result;
}
