#include "scene/frame_driver.h"

#include <cstdio>
#include <cstring>

#include "scene/build_setting.h"

namespace {

constexpr long long maxFramePixels = 1LL << 26;

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
        backend_ = makeCpuBackend(threads_);
        onCpu_ = true;
        if (!backend_->upload(table_.data(), tableSize, pixels, error)) return false;
    }

    if (options.backend == BackendChoice::Auto && onCpu_)
        std::printf("backend: %s (CUDA unavailable: %s)\n", backend_->describe().c_str(), cudaWhy.c_str());
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
    onCpu_ = false;
    return true;
}

bool FrameDriver::switchToCpu(const std::string& why, int pixelCount) {
    if (onCpu_) return false;
    backend_ = makeCpuBackend(threads_);
    onCpu_ = true;
    std::printf("backend: CUDA failed (%s); switching to %s\n", why.c_str(), backend_->describe().c_str());
    std::fflush(stdout);
    std::string uploadWhy;
    return backend_->upload(table_.data(), static_cast<int>(table_.size()), pixelCount, uploadWhy);
}

int FrameDriver::renderFrame(const FrameData& record) {
    if (!backend_) return -1;
    std::memcpy(&staging_, &record, sizeof staging_);

    const int pixels = framePixels(staging_);
    const int tableSamples = static_cast<int>(table_.size()) / (samplerLevels * samplerChannels);
    if (pixels == 0 || staging_.samplesPerFrame > tableSamples) {
        std::fprintf(stderr, "frame not rendered: record asks for %d x %d pixels at %d samples (table holds %d)\n",
                     staging_.width, staging_.height, staging_.samplesPerFrame, tableSamples);
        return -1;
    }

    std::string why;
    if (static_cast<size_t>(pixels) != hostFrame_.size()) {
        // The frame size changed since set-up: never let the backend write past the buffers.
        hostFrame_.assign(pixels, 0);
        if (!backend_->upload(table_.data(), static_cast<int>(table_.size()), pixels, why) && !switchToCpu(why, pixels))
            return -1;
    }

    if (!backend_->render(staging_, pass_, hostFrame_.data(), why)) {
        // Never show a black or stale frame because the GPU failed: redo it on the CPU.
        if (!switchToCpu(why, pixels) || !backend_->render(staging_, pass_, hostFrame_.data(), why)) {
            std::fprintf(stderr, "frame not rendered: %s\n", why.c_str());
            return -1;
        }
    }
    ++pass_;
    return 0;
}

FrameDriver& frameDriver() {
    // Lives until the process ends; never destroyed, so no exit-time teardown
    // races the GPU runtime's own.
    static FrameDriver* driver = new FrameDriver;
    return *driver;
}

int gpuSetup(const FrameData& record, const unsigned char* table, int tableSize) {
    std::string error;
    if (frameDriver().setup(record, table, tableSize, DriverOptions{}, error)) return 0;
    std::fprintf(stderr, "frame driver: %s\n", error.c_str());
    return -1;
}

int gpuRenderFrame(const FrameData& record) {
    return frameDriver().renderFrame(record);
}

const uint32_t* frameBuffer() {
    return frameDriver().frameBuffer();
}
