#pragma once
// A few threads kept for per-pixel passes over a frame (the filter, the
// reconstruction): each pass's rows are cut into one band per thread, and
// each pixel is computed alone, so the result does not depend on the thread
// count.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RowPool {
public:
    // threads <= 0: one per core.
    explicit RowPool(int threads);
    ~RowPool();
    RowPool(const RowPool&) = delete;
    RowPool& operator=(const RowPool&) = delete;

    int threads() const { return static_cast<int>(workers_.size()) + 1; }
    // Calls rows(y0, y1) over bands that cover [0, height) and returns when all are done.
    void run(int height, const std::function<void(int, int)>& rows);

private:
    void work(int index);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable start_, done_;
    const std::function<void(int, int)>* job_ = nullptr;
    int height_ = 0;
    unsigned generation_ = 0;
    int pending_ = 0;
    bool stopping_ = false;
};
