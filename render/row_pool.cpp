#include "render/row_pool.h"

#include <algorithm>
#include <chrono>

namespace {

// Where band k of n starts in [0, height): the bands shrink, band k taking
// n - k parts, so the last ones taken are short and the thread that takes the
// last leaves the others waiting less than for an equal share.
int bandStart(int k, int n, int height) {
    const long long parts = static_cast<long long>(k) * n - static_cast<long long>(k) * (k - 1) / 2;
    return static_cast<int>(height * parts / (static_cast<long long>(n) * (n + 1) / 2));
}

void bandOf(int k, int n, int height, int& y0, int& y1) {
    y0 = bandStart(k, n, height);
    y1 = bandStart(k + 1, n, height);
}

// Polls done() for up to RowPool::watchMicroseconds; true if it came true.
template <class Done>
bool watchFor(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(RowPool::watchMicroseconds);
    for (int polls = 0;; ++polls) {
        if (done()) return true;
        if ((polls & 63) == 63 && std::chrono::steady_clock::now() > until) return false;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
}

}  // namespace

RowPool::RowPool(int threads) {
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (int k = 1; k < threads; ++k) workers_.emplace_back(&RowPool::work, this);
}

RowPool::~RowPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    start_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void RowPool::run(int height, const std::function<void(int, int)>& rows, int fewestRows) {
    if (height <= 0) return;
    const int n = threads();
    if (n == 1) {
        rows(0, height);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &rows;
        height_ = height;
        bands_ = std::max(1, std::min(n * bandsPerThread, height / std::max(1, fewestRows)));
        nextBand_.store(0);
        pending_.store(n - 1);
        generation_.fetch_add(1);
    }
    start_.notify_all();
    takeBands();
    if (!watchFor([&] { return pending_.load() == 0; })) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return pending_.load() == 0; });
    }
}

void RowPool::takeBands() {
    for (;;) {
        const int band = nextBand_.fetch_add(1);
        if (band >= bands_) return;
        int y0, y1;
        bandOf(band, bands_, height_, y0, y1);
        if (y1 > y0) (*job_)(y0, y1);
    }
}

void RowPool::work() {
    unsigned seen = 0;
    for (;;) {
        if (!watchFor([&] { return generation_.load() != seen || stopping_.load(); })) {
            std::unique_lock<std::mutex> lock(mutex_);
            start_.wait(lock, [&] { return stopping_ || generation_.load() != seen; });
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            seen = generation_.load();
        }
        takeBands();
        if (pending_.fetch_sub(1) == 1) {
            // Under the lock, so the caller cannot miss it between its test and its wait.
            std::lock_guard<std::mutex> lock(mutex_);
            done_.notify_one();
        }
    }
}
