// The kept row threads: every run covers its rows once, in bands, however
// quickly runs follow each other (while the threads still watch for the next)
// or however long apart (once they sleep), and the pool closes promptly.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "render/row_pool.h"

TEST(RowPool, EveryRunCoversItsRowsOnceWhetherTheThreadsWatchOrSleep) {
    for (int threads : {1, 2, 3, 7}) {
        RowPool pool(threads);
        ASSERT_EQ(pool.threads(), threads);
        for (int run = 0; run < 300; ++run) {
            // Heights below the thread count leave some bands empty.
            const int height = 1 + (run * 37) % 200;
            std::vector<std::atomic<int>> covered(static_cast<size_t>(height));
            for (auto& c : covered) c = 0;
            std::atomic<int> bands{0};
            pool.run(height, [&](int y0, int y1) {
                ASSERT_LT(y0, y1);
                for (int y = y0; y < y1; ++y) ++covered[static_cast<size_t>(y)];
                ++bands;
            });
            for (int y = 0; y < height; ++y) ASSERT_EQ(covered[static_cast<size_t>(y)].load(), 1) << "row " << y;
            ASSERT_LE(bands.load(), threads * RowPool::bandsPerThread);
            // Now and then long enough apart that the threads have gone to sleep.
            if (run % 50 == 49)
                std::this_thread::sleep_for(std::chrono::microseconds(3 * RowPool::watchMicroseconds));
        }
    }
}

TEST(RowPool, ClosesPromptlyWhileItsThreadsWatchAndWhileTheySleep) {
    for (int pause : {0, 3 * RowPool::watchMicroseconds}) {
        const auto start = std::chrono::steady_clock::now();
        {
            RowPool pool(4);
            pool.run(10, [](int, int) {});
            std::this_thread::sleep_for(std::chrono::microseconds(pause));
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(1)) << "after a pause of " << pause << " us";
    }
}
