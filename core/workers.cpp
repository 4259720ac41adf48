// Worker threads kept for the program's life; see workers.h.
#include "core/workers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include <pthread.h>

namespace {

thread_local bool on_worker = false;

// A process forked from the program (a window held by a detached child, a
// probe) has only the thread that forked: the parent's workers are not in
// it.  Left as they were, the child's first job would wait for workers that
// never take it, and its exit for workers that never end.  So the pool
// takes part in fork: the parent holds its lock across the fork, and the
// child starts from an empty pool (a fresh lock and condition, no jobs, no
// workers; new ones start on its first job).  The parent's thread objects
// are set aside in the child, never joined or destroyed there.
class Pool {
public:
    Pool()
    {
        pthread_atfork([] { instance().before_fork(); }, [] { instance().m_.unlock(); }, [] { instance().forked(); });
    }
    static Pool &instance()
    {
        static Pool p;
        return p;
    }
    ~Pool()
    {
        {
            std::lock_guard<std::mutex> l(m_);
            stop_ = true;
        }
        cv_.notify_all();
        for (auto &t : threads_) t.join();
    }
    void post(std::function<void()> job, int want)
    {
        std::lock_guard<std::mutex> l(m_);
        while ((int)threads_.size() < want) threads_.emplace_back([this] { serve(); });
        jobs_.push_back(std::move(job));
        cv_.notify_one();
    }

private:
    // In the parent before a fork: takes the lock once no worker holds a
    // job (whose copy would be lost with the worker in the child), and
    // keeps it across the fork.
    void before_fork()
    {
        std::unique_lock<std::mutex> l(m_);
        if (!on_worker) idle_.wait(l, [this] { return busy_ == 0; });
        l.release();
    }
    // In the child of a fork, with the lock taken before the fork.
    void forked()
    {
        orphans_ = new std::vector<std::thread>(std::move(threads_));
        threads_.clear();
        jobs_.clear();
        stop_ = false;
        busy_ = 0;
        new (&m_) std::mutex;
        new (&cv_) std::condition_variable;
        new (&idle_) std::condition_variable;
        on_worker = false;
    }
    void serve()
    {
        on_worker = true;
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> l(m_);
                cv_.wait(l, [this] { return stop_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                ++busy_;
            }
            job();
            job = nullptr;
            std::lock_guard<std::mutex> l(m_);
            if (--busy_ == 0) idle_.notify_all();
        }
    }
    std::mutex m_;
    std::condition_variable cv_, idle_;
    int busy_ = 0;  // workers holding a job
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    std::vector<std::thread> *orphans_ = nullptr;  // the parent's, in a forked child
    bool stop_ = false;
};

Pool &pool() { return Pool::instance(); }

}  // namespace

int WORK_thread_count(size_t work)
{
    if (work < 20000) return 1;
    // The library reads the count from /sys at every call.
    static const int cores = (int)std::thread::hardware_concurrency();
    int n = cores;
    if (const int asked = WORK_threads_asked(); asked >= 0) n = asked;
    return std::clamp(n, 1, 8);
}

int WORK_threads_asked()
{
    const char *e = std::getenv("ZYR_THREADS");
    return e ? std::atoi(e) : -1;
}

namespace {

// Calls g(t) for t = 0..n-1, g(0) in the calling thread and the others on
// the workers, and returns when all are done.
void on_threads(int n, const std::function<void(int)> &g)
{
    std::mutex m;
    std::condition_variable done;
    int left = n - 1;
    for (int t = 1; t < n; ++t)
        pool().post(
            [&, t] {
                g(t);
                std::lock_guard<std::mutex> l(m);
                if (--left == 0) done.notify_one();
            },
            n - 1);
    g(0);
    std::unique_lock<std::mutex> l(m);
    done.wait(l, [&] { return left == 0; });
}

}  // namespace

void WORK_rows(int rows, int parts, const std::function<void(int, int)> &f)
{
    if (rows <= 0) return;
    parts = std::min(parts, rows);
    if (parts <= 1 || on_worker) {
        f(0, rows);
        return;
    }
    const int per = (rows + parts - 1) / parts;
    on_threads((rows + per - 1) / per, [&](int t) { f(t * per, std::min(rows, (t + 1) * per)); });
}

void WORK_chunks(int chunks, int threads, const std::function<void(int)> &f)
{
    if (chunks <= 0) return;
    threads = std::min(threads, chunks);
    if (threads <= 1 || on_worker) {
        for (int k = 0; k < chunks; ++k) f(k);
        return;
    }
    std::atomic<int> next{0};
    on_threads(threads, [&](int) {
        for (int k; (k = next.fetch_add(1, std::memory_order_relaxed)) < chunks;) f(k);
    });
}

void WORK_row_chunks(int rows, int threads, const std::function<void(int, int)> &f)
{
    if (rows <= 0) return;
    if (threads <= 1) {
        f(0, rows);
        return;
    }
    const int per = std::max(1, (rows + 4 * threads - 1) / (4 * threads));
    WORK_chunks((rows + per - 1) / per, threads, [&](int k) { f(k * per, std::min(rows, (k + 1) * per)); });
}
