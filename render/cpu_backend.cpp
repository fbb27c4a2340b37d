// All CPU cores shade the frame with one of the CPU kernels (cpu_kernel/): by
// default the simd one, which moves one path per vector lane, or the scalar
// one, one path at a time; both run the tracer's one source that the CUDA
// kernel runs too. Worker threads are started once; each frame they pull
// 2048-pixel runs off an atomic counter, the calling thread working alongside them.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "cpu_kernel/cpu_kernels.h"
#include "kernel/render_pixel.h"
#include "render/frame_driver.h"

namespace {

// The thread-to-pixel permutation maps every aligned run of 2048 indices onto
// itself, so one run is the natural unit of work and no two threads share a run.
constexpr int chunkPixels = permutationRun;


class CpuBackend final : public RenderBackend {
public:
    CpuBackend(int threads, CpuKernel kernel)
        : simd_(kernel == CpuKernel::Simd && simdKernelAvailable()) {
        int wanted = threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency());
        wanted = std::clamp(wanted, 1, maxCpuThreads);
        try {
            for (int i = 1; i < wanted; ++i) workers_.emplace_back([this] { workerLoop(); });
        } catch (const std::system_error&) {
            // Run with the workers we got; the calling thread always takes part.
        }
    }

    ~CpuBackend() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_) worker.join();
    }

    std::string describe() const override {
        const int count = threadCount();
        std::string text = "CPU, " + std::to_string(count) + (count == 1 ? " thread" : " threads");
        if (simd_)
            text += ", simd kernel " + std::string(simdTargetName()) + " x" + std::to_string(simdLaneCount());
        else
            text += ", scalar kernel";
        return text;
    }

    bool upload(const unsigned char* table, int tableSize, int pixelCount, std::string& why) override {
        if (table == nullptr || tableSize <= 0) {
            why = "no sampler table";
            return false;
        }
        table_.assign(table, table + tableSize);
        return true;
    }

    bool render(const FrameData& record, int pass, uint32_t* out, std::string& why) override {
        return renderLayers(record, pass, out, FrameLayers{}, why);
    }

    bool givesLayers() const override { return true; }

    bool renderLayers(const FrameData& record, int pass, uint32_t* out, const FrameLayers& layers,
                      std::string& why) override {
        if (table_.empty()) {
            why = "no sampler table uploaded";
            return false;
        }
        const long long pixels = static_cast<long long>(record.width) * record.height;
        if (record.width <= 0 || record.height <= 0 || pixels > maxFramePixels) {
            why = "bad frame size";
            return false;
        }
        FrameWork job;
        job.record = &record;
        job.sdata = table_.data();
        job.pass = pass;
        job.out = out;
        job.radiance = layers.radiance;
        job.pixelCount = static_cast<int>(pixels);
        guide_ = layers.guide;
        target_ = simd_ ? simdKernelTarget() : nullptr;

        nextChunk_.store(0, std::memory_order_relaxed);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = job;
            busy_ = static_cast<int>(workers_.size());
            ++generation_;
        }
        wake_.notify_all();
        shadeChunks(job);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return busy_ == 0; });
        return true;
    }

    int threadCount() const { return static_cast<int>(workers_.size()) + 1; }

private:
    void workerLoop() {
        unsigned seen = 0;
        for (;;) {
            FrameWork job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
                job = job_;
            }
            shadeChunks(job);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (--busy_ == 0) done_.notify_one();
            }
        }
    }

    void shadeChunks(const FrameWork& job) {
        for (;;) {
            const int begin = nextChunk_.fetch_add(1, std::memory_order_relaxed) * chunkPixels;
            if (begin >= job.pixelCount) return;
            const int end = std::min(begin + chunkPixels, job.pixelCount);
            if (simd_)
                shadeRunSimd(target_, job, begin, end);
            else
                shadeRunScalar(job, begin, end);
            if (guide_ && simd_)
                guideRunSimd(target_, job, guide_, begin, end);
            else if (guide_)
                guideRun(job, guide_, begin, end);
        }
    }

    std::vector<unsigned char> table_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    FrameWork job_;
    float* guide_ = nullptr;  // the frame's guide layer, when asked for
    const SimdTarget* target_ = nullptr;  // the frame's simd target
    const bool simd_;
    unsigned generation_ = 0;
    int busy_ = 0;
    bool stop_ = false;
    std::atomic<int> nextChunk_{0};
};

}  // namespace

std::unique_ptr<RenderBackend> makeCpuBackend(int threads, CpuKernel kernel) {
    return std::make_unique<CpuBackend>(threads, kernel);
}
