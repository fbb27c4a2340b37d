// The GPU backend: device buffers, the record upload, the launch and the
// read-back, with every runtime result checked so a failure can hand the frame
// to the CPU instead of showing garbage.
#include "render/frame_driver.h"

#ifdef TPL_HAVE_CUDA

#include <cmath>

#include <cuda_runtime.h>

#include "kernel/pixel_guide.h"
#include "kernel/tracer_launch.h"

namespace {

std::string cudaReason(const char* what, cudaError_t error) {
    return std::string(what) + " failed: " + cudaGetErrorString(error) + " (error " +
           std::to_string(static_cast<int>(error)) + ")";
}

// ceil(pixels / 64) counted in single precision. Above 2^24 pixels that can
// fall short of one thread per pixel, so the exact count is taken then.
int launchBlocks(int pixelCount) {
    const int blocks = static_cast<int>(std::ceil(static_cast<float>(pixelCount) * 0.015625f));
    return static_cast<long long>(blocks) * tracerBlockSize >= pixelCount ? blocks : tracerBlockCount(pixelCount);
}

class CudaBackend final : public RenderBackend {
public:
    explicit CudaBackend(std::string deviceName) : deviceName_(std::move(deviceName)) {}

    ~CudaBackend() override {
        release();
        if (timed_) {
            cudaEventDestroy(kernelStart_);
            cudaEventDestroy(kernelEnd_);
        }
    }

    std::string describe() const override { return "CUDA, " + deviceName_; }

    bool upload(const unsigned char* table, int tableSize, int pixelCount, std::string& why) override {
        release();
        if (table == nullptr || tableSize <= 0 || pixelCount <= 0) {
            why = "nothing to upload";
            return false;
        }
        cudaError_t error = cudaMalloc(reinterpret_cast<void**>(&d_Pixels_), static_cast<size_t>(pixelCount) * 4);
        if (error != cudaSuccess) return fail("frame buffer allocation", error, why);
        error = cudaMalloc(reinterpret_cast<void**>(&deviceTable_), static_cast<size_t>(tableSize));
        if (error != cudaSuccess) return fail("sampler table allocation", error, why);
        pixelCount_ = pixelCount;
        // The constant starts zeroed; the scene record goes up with the first frame.
        const FrameData zero{};
        error = static_cast<cudaError_t>(tracerUploadRecord(zero));
        if (error != cudaSuccess) return fail("scene record upload", error, why);
        error = cudaMemcpy(deviceTable_, table, static_cast<size_t>(tableSize), cudaMemcpyHostToDevice);
        if (error != cudaSuccess) return fail("sampler table upload", error, why);
        return true;
    }

    bool render(const FrameData& record, int pass, uint32_t* out, std::string& why) override {
        return renderLayers(record, pass, out, FrameLayers{}, why);
    }

    bool givesLayers() const override { return true; }

    bool renderLayers(const FrameData& record, int pass, uint32_t* out, const FrameLayers& layers,
                      std::string& why) override {
        const long long pixels = static_cast<long long>(record.width) * record.height;
        if (d_Pixels_ == nullptr || record.width <= 0 || record.height <= 0 || pixels > pixelCount_) {
            why = "frame does not fit the device buffer";
            return false;
        }
        const int pixelCount = static_cast<int>(pixels);
        cudaError_t error = static_cast<cudaError_t>(tracerUploadRecord(record));
        if (error != cudaSuccess) return fail("scene record upload", error, why);
        const size_t radianceBytes = static_cast<size_t>(pixelCount) * 3 * sizeof(float);
        const size_t guideBytes = static_cast<size_t>(pixelCount) * guideFloats * sizeof(float);
        if (layers.radiance && !ensureBuffer(d_Radiance_, radianceCapacity_, radianceBytes, why)) return false;
        if (layers.guide && !ensureBuffer(d_Guide_, guideCapacity_, guideBytes, why)) return false;
        if (markUnwritten_) {
            error = cudaMemset(d_Pixels_, 0xFF, static_cast<size_t>(pixelCount) * 4);
            if (error == cudaSuccess && layers.radiance) error = cudaMemset(d_Radiance_, 0xFF, radianceBytes);
            if (error == cudaSuccess && layers.guide) error = cudaMemset(d_Guide_, 0xFF, guideBytes);
            if (error != cudaSuccess) return fail("marking the device buffers", error, why);
        }
        startTiming();
        error = static_cast<cudaError_t>(tracerLaunch(launchBlocks(pixelCount), d_Pixels_, pass, deviceTable_,
                                                      layers.radiance ? d_Radiance_ : nullptr,
                                                      layers.guide ? d_Guide_ : nullptr));
        if (error != cudaSuccess) return fail("kernel launch", error, why);
        if (timed_ && cudaEventRecord(kernelEnd_) != cudaSuccess) kernelMs_ = -1.0;
        // Waits for the kernel; also reports faults that happened while it ran.
        error = cudaMemcpy(out, d_Pixels_, static_cast<size_t>(pixelCount) * 4, cudaMemcpyDeviceToHost);
        if (error != cudaSuccess) return fail("frame read-back", error, why);
        finishTiming();
        if (layers.radiance) {
            error = cudaMemcpy(layers.radiance, d_Radiance_, radianceBytes, cudaMemcpyDeviceToHost);
            if (error != cudaSuccess) return fail("light read-back", error, why);
        }
        if (layers.guide) {
            error = cudaMemcpy(layers.guide, d_Guide_, guideBytes, cudaMemcpyDeviceToHost);
            if (error != cudaSuccess) return fail("guide read-back", error, why);
        }
        return true;
    }

    void setMarkUnwritten(bool on) override { markUnwritten_ = on; }

    double lastKernelMs() const override { return kernelMs_; }

private:
    // Device events around the launch give the kernel's own time, without the
    // record upload and the read-back. Timing is a report only: its failures
    // leave the time unknown and never fail a frame (the launch clears the
    // error they leave behind).
    void startTiming() {
        kernelMs_ = -1.0;
        if (!timingTried_) {
            timingTried_ = true;
            timed_ = cudaEventCreate(&kernelStart_) == cudaSuccess;
            if (timed_ && cudaEventCreate(&kernelEnd_) != cudaSuccess) {
                cudaEventDestroy(kernelStart_);
                timed_ = false;
            }
        }
        if (timed_ && cudaEventRecord(kernelStart_) == cudaSuccess) kernelMs_ = 0.0;
    }

    void finishTiming() {
        float ms = 0.0f;
        if (kernelMs_ == 0.0 && cudaEventElapsedTime(&ms, kernelStart_, kernelEnd_) == cudaSuccess)
            kernelMs_ = ms;
        else
            kernelMs_ = -1.0;
    }

    bool fail(const char* what, cudaError_t error, std::string& why) {
        why = cudaReason(what, error);
        return false;
    }

    // A device buffer of at least bytes, kept between frames.
    bool ensureBuffer(float*& buffer, size_t& capacity, size_t bytes, std::string& why) {
        if (buffer != nullptr && capacity >= bytes) return true;
        if (buffer != nullptr) cudaFree(buffer);
        buffer = nullptr;
        capacity = 0;
        const cudaError_t error = cudaMalloc(reinterpret_cast<void**>(&buffer), bytes);
        if (error != cudaSuccess) return fail("layer allocation", error, why);
        capacity = bytes;
        return true;
    }

    void release() {
        // Results ignored: after a device fault, or at exit, freeing may fail too.
        if (d_Pixels_ != nullptr) cudaFree(d_Pixels_);
        if (deviceTable_ != nullptr) cudaFree(deviceTable_);
        if (d_Radiance_ != nullptr) cudaFree(d_Radiance_);
        if (d_Guide_ != nullptr) cudaFree(d_Guide_);
        d_Pixels_ = nullptr;
        deviceTable_ = nullptr;
        d_Radiance_ = d_Guide_ = nullptr;
        radianceCapacity_ = guideCapacity_ = 0;
        pixelCount_ = 0;
    }

    std::string deviceName_;
    int* d_Pixels_ = nullptr;  // the kernel's output, a_FinalImage
    unsigned char* deviceTable_ = nullptr;
    float* d_Radiance_ = nullptr;  // the optional layers
    float* d_Guide_ = nullptr;
    size_t radianceCapacity_ = 0, guideCapacity_ = 0;
    long long pixelCount_ = 0;
    bool markUnwritten_ = false;
    bool timingTried_ = false, timed_ = false;
    cudaEvent_t kernelStart_{}, kernelEnd_{};
    double kernelMs_ = -1.0;
};

}  // namespace

std::unique_ptr<RenderBackend> makeCudaBackend(std::string& why) {
    int count = 0;  // left untouched when there is no driver
    cudaError_t error = cudaGetDeviceCount(&count);
    // Without a GPU the runtime speaks of an insufficient driver, which would send
    // users off to upgrade one; say what it means first.
    if (error == cudaErrorInsufficientDriver || error == cudaErrorNoDevice || (error == cudaSuccess && count <= 0)) {
        why = std::string(noCudaDevice) + "; CUDA says: " +
              (error == cudaSuccess ? "no device" : cudaReason("looking for a device", error));
        return nullptr;
    }
    if (error != cudaSuccess) {
        why = cudaReason("looking for a CUDA device", error);
        return nullptr;
    }
    cudaDeviceProp properties{};
    error = cudaGetDeviceProperties(&properties, 0);
    if (error != cudaSuccess) {
        why = cudaReason("reading the CUDA device", error);
        return nullptr;
    }
    error = cudaSetDevice(0);
    if (error != cudaSuccess) {
        why = cudaReason("selecting the CUDA device", error);
        return nullptr;
    }
    return std::make_unique<CudaBackend>(properties.name);
}

#else

std::unique_ptr<RenderBackend> makeCudaBackend(std::string& why) {
    why = "this build has no CUDA support";
    return nullptr;
}

#endif
