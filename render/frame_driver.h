#pragma once
// Host side of the path tracer: uploads the scene record, renders one frame on
// the chosen backend (CUDA when usable, else all CPU cores) and keeps the last
// frame's packed 0x00RRGGBB pixels.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cpu_kernel/cpu_kernels.h"
#include "kernel/frame_data.h"

enum class BackendChoice { Auto, Cpu, Cuda };

// The largest frame any backend renders (a 8192 x 8192 frame).
constexpr long long maxFramePixels = 1LL << 26;
// The CPU backend's thread count is at most this many.
constexpr int maxCpuThreads = 256;

struct DriverOptions {
    BackendChoice backend = BackendChoice::Auto;
    int threads = 0;  // CPU backend: 0 = one per core
    CpuKernel cpuKernel = CpuKernel::Simd;  // the scalar one where no simd one was built
    // Check mode: every buffer a frame is written into (on the device too) is
    // filled with 0xFF bytes first, so a pixel the backend skips reads back with
    // its top byte set and a skipped layer value as NaN, never as an old frame.
    bool markUnwritten = false;
};

// Per-pixel layers a backend may fill beside the packed pixels, for filters
// that work before the tone curve.
struct FrameLayers {
    float* radiance = nullptr;  // 3 floats per pixel: the light before the tone curve
    float* guide = nullptr;     // guideFloats per pixel (kernel/pixel_guide.h)
};

// A device that turns a scene record into a frame. Not on the per-pixel path:
// one call per frame.
class RenderBackend {
public:
    virtual ~RenderBackend() = default;
    // One console-ready description, e.g. "CPU, 2 threads".
    virtual std::string describe() const = 0;
    virtual bool upload(const unsigned char* table, int tableSize, int pixelCount, std::string& why) = 0;
    // Renders the record into out (width * height words). False with a reason on failure.
    virtual bool render(const FrameData& record, int pass, uint32_t* out, std::string& why) = 0;
    // Whether renderLayers can fill the layers.
    virtual bool givesLayers() const { return false; }
    // render, and fills the layers that are not null (the packed pixels are the same).
    virtual bool renderLayers(const FrameData& record, int pass, uint32_t* out, const FrameLayers& layers,
                              std::string& why) {
        if (layers.radiance || layers.guide) {
            why = "this backend gives no light layers";
            return false;
        }
        return render(record, pass, out, why);
    }
    // Check mode for buffers the driver cannot reach (device memory).
    virtual void setMarkUnwritten(bool) {}
    // Milliseconds the last frame's kernel alone took, timed on the device;
    // negative where the backend cannot tell.
    virtual double lastKernelMs() const { return -1.0; }
};

std::unique_ptr<RenderBackend> makeCpuBackend(int threads, CpuKernel kernel = CpuKernel::Scalar);
// How makeCudaBackend's reason begins when the machine has no GPU to use at all.
constexpr const char* noCudaDevice = "no NVIDIA GPU or driver: rendering on the CPU";
// Null with a reason when no CUDA device can be used (or the build has no CUDA).
std::unique_ptr<RenderBackend> makeCudaBackend(std::string& why);

class FrameDriver {
public:
    // Allocates the frame buffers, picks the backend and uploads the table.
    // False (with error) only when the requested backend cannot run.
    bool setup(const FrameData& record, const unsigned char* table, int tableSize, const DriverOptions& options,
               std::string& error);
    // Copies the record into the staging copy and renders it; advances the pass
    // counter. A failing CUDA backend is replaced by the CPU one and the frame is
    // rendered again there. False with a reason when no pixels were rendered.
    bool renderFrame(const FrameData& record, std::string& error);
    // renderFrame, and the light and guide layers as well where the backend
    // gives them (layersValid says whether this frame has them).
    bool renderFrameWithLayers(const FrameData& record, std::string& error);
    // renderFrame, and the light layer alone where the backend gives it (for
    // averaging passes: no guide rays are traced).
    bool renderFrameWithLight(const FrameData& record, std::string& error);
    const uint32_t* frameBuffer() const { return hostFrame_.empty() ? nullptr : hostFrame_.data(); }
    bool layersValid() const { return layersValid_; }
    const float* radiance() const { return radiance_.data(); }
    const float* guide() const { return guide_.data(); }
    int passCounter() const { return pass_; }
    void setPassCounter(int pass) { pass_ = pass; }
    const RenderBackend* backend() const { return backend_.get(); }
    bool onCpu() const { return onCpu_; }
    // Puts a GPU-like backend in place after setup and uploads the table to it;
    // lets tests stand in a device that fails.
    bool replaceBackend(std::unique_ptr<RenderBackend> backend, std::string& why);

private:
    bool switchToCpu(const std::string& why, int pixelCount);
    enum class Layers { PixelsOnly, Light, LightAndGuide };
    bool render(const FrameData& record, Layers layers, std::string& error);
    bool renderOnBackend(Layers layers, std::string& why);

    FrameData staging_{};
    std::vector<uint32_t> hostFrame_;
    std::vector<float> radiance_, guide_;
    bool layersValid_ = false;
    std::vector<unsigned char> table_;  // kept for a switch to the CPU backend
    std::unique_ptr<RenderBackend> backend_;
    int threads_ = 0;
    CpuKernel cpuKernel_ = CpuKernel::Scalar;
    bool onCpu_ = false;
    bool markUnwritten_ = false;
    int pass_ = 0;
};
