// The worker threads' chunked loops: every chunk runs exactly once whatever
// the thread count, row chunks cover the rows without gap or overlap, a loop
// started on a worker runs there in line, and a forked child has a pool of
// its own.
#include "core/workers.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
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

// A child forked after the workers started (a held window is one) has none of them: its jobs
// and its normal exit must not wait for them.  A hung child is killed after 20 s and fails.
TEST(Workers, AForkedChildRunsJobsAndExits)
{
    std::atomic<int> before{0};
    WORK_chunks(8, 2, [&](int) { ++before; });
    ASSERT_EQ(before, 8);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::atomic<int> ran{0};
        WORK_chunks(64, 2, [&](int) { ++ran; });
        WORK_rows(16, 2, [&](int a, int z) { ran += z - a; });
        std::exit(ran == 80 ? 0 : 3);
    }
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 2000 && done == 0; ++i) {
        done = waitpid(pid, &status, WNOHANG);
        if (done == 0) usleep(10000);
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the forked child hung";
    }
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
