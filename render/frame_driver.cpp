#include "render/frame_driver.h"

#include <cstdio>
#include <cstring>

#include "kernel/build_setting.h"
#include "kernel/pixel_guide.h"

namespace {

// Pixel count of the record's frame, or 0 when the size is unusable.
int framePixels(const FrameData& record) {
    if (record.width <= 0 || record.height <= 0) return 0;
    const long long pixels = static_cast<long long>(record.width) * record.height;
    return pixels <= maxFramePixels ? static_cast<int>(pixels) : 0;
}

}  // namespace

bool FrameDriver::setup(const FrameData& record, const unsigned char* table, int tableSize,
                        const DriverOptions& options, std::string& error) {
    const int pixels = framePixels(record);
    if (pixels == 0) {
        error = "bad frame size " + std::to_string(record.width) + " x " + std::to_string(record.height);
        return false;
    }
    if (table == nullptr || tableSize <= 0) {
        error = "no sampler table";
        return false;
    }
    table_.assign(table, table + tableSize);
    hostFrame_.assign(pixels, 0);
    // The device constant starts from this all-zero copy, not from the record.
    staging_ = FrameData{};
    threads_ = options.threads;
    cpuKernel_ = options.cpuKernel;
    markUnwritten_ = options.markUnwritten;
    pass_ = 0;
    backend_.reset();
    onCpu_ = false;

    std::string cudaWhy;
    if (options.backend != BackendChoice::Cpu) {
        std::unique_ptr<RenderBackend> cuda = makeCudaBackend(cudaWhy);
        if (cuda && cuda->upload(table_.data(), tableSize, pixels, cudaWhy)) backend_ = std::move(cuda);
        if (!backend_ && options.backend == BackendChoice::Cuda) {
            error = "the CUDA backend cannot run: " + cudaWhy;
            return false;
        }
    }
    if (!backend_) {
        backend_ = makeCpuBackend(threads_, cpuKernel_);
        onCpu_ = true;
        if (!backend_->upload(table_.data(), tableSize, pixels, error)) return false;
    }
    backend_->setMarkUnwritten(markUnwritten_);

    const bool noDevice = cudaWhy.rfind(noCudaDevice, 0) == 0;
    if (options.backend == BackendChoice::Auto && onCpu_)
        std::printf("backend: %s (%s%s)\n", backend_->describe().c_str(), noDevice ? "" : "CUDA unavailable: ",
                    cudaWhy.c_str());
    else
        std::printf("backend: %s\n", backend_->describe().c_str());
    std::fflush(stdout);
    return true;
}

bool FrameDriver::replaceBackend(std::unique_ptr<RenderBackend> backend, std::string& why) {
    if (!backend || table_.empty()) {
        why = "no backend or no set-up";
        return false;
    }
    if (!backend->upload(table_.data(), static_cast<int>(table_.size()), static_cast<int>(hostFrame_.size()), why))
        return false;
    backend_ = std::move(backend);
    backend_->setMarkUnwritten(markUnwritten_);
    onCpu_ = false;
    return true;
}

bool FrameDriver::switchToCpu(const std::string& why, int pixelCount) {
    if (onCpu_) return false;
    backend_ = makeCpuBackend(threads_, cpuKernel_);
    backend_->setMarkUnwritten(markUnwritten_);
    onCpu_ = true;
    std::printf("backend: CUDA failed (%s); switching to %s\n", why.c_str(), backend_->describe().c_str());
    std::fflush(stdout);
    std::string uploadWhy;
    return backend_->upload(table_.data(), static_cast<int>(table_.size()), pixelCount, uploadWhy);
}

bool FrameDriver::renderFrame(const FrameData& record, std::string& error) {
    return render(record, Layers::PixelsOnly, error);
}

bool FrameDriver::renderFrameWithLayers(const FrameData& record, std::string& error) {
    return render(record, Layers::LightAndGuide, error);
}

bool FrameDriver::renderFrameWithLight(const FrameData& record, std::string& error) {
    return render(record, Layers::Light, error);
}

bool FrameDriver::renderOnBackend(Layers wanted, std::string& why) {
    layersValid_ = wanted != Layers::PixelsOnly && backend_->givesLayers();
    // In check mode nothing of an earlier frame survives into this one.
    if (markUnwritten_) std::memset(hostFrame_.data(), 0xFF, hostFrame_.size() * sizeof(uint32_t));
    if (!layersValid_) return backend_->render(staging_, pass_, hostFrame_.data(), why);
    radiance_.resize(hostFrame_.size() * 3);
    if (markUnwritten_) std::memset(radiance_.data(), 0xFF, radiance_.size() * sizeof(float));
    FrameLayers layers;
    layers.radiance = radiance_.data();
    if (wanted == Layers::LightAndGuide) {
        guide_.resize(hostFrame_.size() * guideFloats);
        if (markUnwritten_) std::memset(guide_.data(), 0xFF, guide_.size() * sizeof(float));
        layers.guide = guide_.data();
    }
    return backend_->renderLayers(staging_, pass_, hostFrame_.data(), layers, why);
}

bool FrameDriver::render(const FrameData& record, Layers withLayers, std::string& error) {
    if (!backend_) {
        error = "the frame driver is not set up";
        return false;
    }
    std::memcpy(&staging_, &record, sizeof staging_);

    const int pixels = framePixels(staging_);
    const int tableSamples = static_cast<int>(table_.size()) / (samplerLevels * samplerChannels);
    if (pixels == 0 || staging_.samplesPerFrame > tableSamples) {
        error = "frame not rendered: the record asks for " + std::to_string(staging_.width) + " x " +
                std::to_string(staging_.height) + " pixels at " + std::to_string(staging_.samplesPerFrame) +
                " samples (the table holds " + std::to_string(tableSamples) + ")";
        return false;
    }

    std::string why;
    if (static_cast<size_t>(pixels) != hostFrame_.size()) {
        // The frame size changed since set-up: never let the backend write past the buffers.
        hostFrame_.assign(pixels, 0);
        if (!backend_->upload(table_.data(), static_cast<int>(table_.size()), pixels, why) &&
            !switchToCpu(why, pixels)) {
            error = "frame not rendered: " + why;
            return false;
        }
    }

    if (!renderOnBackend(withLayers, why)) {
        // Never show a black or stale frame because the GPU failed: redo it on the CPU.
        if (!switchToCpu(why, pixels) || !renderOnBackend(withLayers, why)) {
            error = "frame not rendered: " + why;
            return false;
        }
    }
    ++pass_;
    return true;
}
