// All CPU cores run the same per-pixel code as the CUDA kernel. Worker threads
// are started once; each frame they pull 2048-pixel runs off an atomic counter,
// the calling thread working alongside them.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "kernel/render_pixel.h"
#include "scene/frame_driver.h"

namespace {

// The thread-to-pixel permutation maps every aligned run of 2048 indices onto
// itself, so one run is the natural unit of work and no two threads share a run.
constexpr int chunkPixels = permutationRun;

struct FrameJob {
    const FrameData* record = nullptr;
    int pass = 0;
    uint32_t* out = nullptr;
    int pixelCount = 0;
};

class CpuBackend final : public RenderBackend {
public:
    explicit CpuBackend(int threads) {
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
        return "CPU, " + std::to_string(count) + (count == 1 ? " thread" : " threads");
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
        if (table_.empty()) {
            why = "no sampler table uploaded";
            return false;
        }
        const long long pixels = static_cast<long long>(record.width) * record.height;
        if (record.width <= 0 || record.height <= 0 || pixels > maxFramePixels) {
            why = "bad frame size";
            return false;
        }
        FrameJob job;
        job.record = &record;
        job.pass = pass;
        job.out = out;
        job.pixelCount = static_cast<int>(pixels);

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
            FrameJob job;
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

    void shadeChunks(const FrameJob& job) {
        const FrameData& record = *job.record;
        const unsigned char* sdata = table_.data();
        uint32_t* out = job.out;
        for (;;) {
            const int begin = nextChunk_.fetch_add(1, std::memory_order_relaxed) * chunkPixels;
            if (begin >= job.pixelCount) return;
            const int end = std::min(begin + chunkPixels, job.pixelCount);
            for (int g = begin; g < end; ++g) {
                const int p = pixelForThread(g, job.pixelCount);
                out[p] = shadePixel(record, p, job.pass, sdata);
            }
        }
    }

    std::vector<unsigned char> table_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    FrameJob job_;
    unsigned generation_ = 0;
    int busy_ = 0;
    bool stop_ = false;
    std::atomic<int> nextChunk_{0};
};

}  // namespace

std::unique_ptr<RenderBackend> makeCpuBackend(int threads) {
    return std::make_unique<CpuBackend>(threads);
}
