// The worker threads' chunked loops: every chunk runs exactly once whatever
// the thread count, row chunks cover the rows without gap or overlap, and a
// loop started on a worker runs there in line.
#include "core/workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(Workers, ChunksRunOnceAndRowChunksTileTheRows)
{
    struct Case { int n, threads; } cases[] = {{0, 2}, {1, 8}, {5, 1}, {7, 2}, {100, 3}, {1080, 8}};
    for (const Case &c : cases) {
        std::vector<std::atomic<int>> ran((size_t)c.n);
        WORK_chunks(c.n, c.threads, [&](int k) { ran[(size_t)k]++; });
        std::vector<std::atomic<int>> row((size_t)c.n);
        std::atomic<int> calls{0};
        WORK_row_chunks(c.n, c.threads, [&](int a, int z) {
            ASSERT_LT(a, z);
            ++calls;
            for (int r = a; r < z; ++r) row[(size_t)r]++;
        });
        for (int k = 0; k < c.n; ++k) {
            EXPECT_EQ(ran[(size_t)k], 1) << c.n << " chunks on " << c.threads << ", chunk " << k;
            EXPECT_EQ(row[(size_t)k], 1) << c.n << " rows on " << c.threads << ", row " << k;
        }
        if (c.threads > 1 && c.n >= 4 * c.threads) {
            EXPECT_GT(calls, c.threads) << "rows come in several chunks a thread";
        }
    }
}

TEST(Workers, ALoopStartedOnAWorkerStaysThere)
{
    std::vector<std::thread::id> inner(16);
    std::thread::id outer;
    // WORK_rows gives its second share to a worker.
    WORK_rows(2, 2, [&](int a, int) {
        if (a != 1) return;
        outer = std::this_thread::get_id();
        WORK_chunks(16, 2, [&](int j) { inner[(size_t)j] = std::this_thread::get_id(); });
    });
    EXPECT_NE(outer, std::this_thread::get_id());
    for (const std::thread::id &id : inner) EXPECT_EQ(id, outer);
}
