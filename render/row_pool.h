#pragma once
// A few threads kept for per-pixel passes over a frame (the filter, the
// reconstruction): each pass's rows are cut into bands, a few per thread,
// which the threads take in turn as they finish the last (rows differ in
// cost, so equal shares left one thread waiting for the other). Each pixel is
// computed alone, so the result does not depend on the thread count or on
// who takes which band. The bands shrink towards the end of a pass, so that
// the thread taking the last one keeps the others waiting less.
//
// A frame makes a dozen or more passes one after the other. Woken through a
// condition variable, each pass cost 60-70 microseconds before any work; so
// after a pass the threads watch for the next one for a short while before
// they sleep, and the caller watches for the bands' end the same way.
#include <atomic>
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
    // Calls rows(y0, y1) over bands that cover [0, height) and returns when
    // all are done; a band has at least fewestRows rows where there are enough
    // (fewer for rows that are each much work, such as cells of many pixel rows).
    void run(int height, const std::function<void(int, int)>& rows, int fewestRows = fewestBandRows);

    // Bands a pass is cut into per thread, and the fewest rows of a band.
    static constexpr int bandsPerThread = 4;
    static constexpr int fewestBandRows = 8;

    // How long the threads watch for the next pass, and the caller for the
    // bands' end, before they sleep.
    static constexpr int watchMicroseconds = 200;

private:
    void work();
    // Takes bands of the current pass until none is left.
    void takeBands();

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable start_, done_;
    const std::function<void(int, int)>* job_ = nullptr;
    int height_ = 0, bands_ = 0;
    std::atomic<int> nextBand_{0};
    std::atomic<unsigned> generation_{0};
    std::atomic<int> pending_{0};
    std::atomic<bool> stopping_{false};
};
