// Worker threads shared by the loops that split their rows among the cores
// (the remap, the PNG dump).
//
// The threads are started on first use and kept for the life of the
// program: a frame hands out work some thirty times, and a thread started
// for each share costs a clone, a fresh stack and its page faults every
// time.  The calling thread always takes a share itself.
#pragma once

#include <functional>

// How many threads a job of `work` units (about a pixel each) should use,
// the caller included: 1 below 20000 units, else the cores, at most 8.
// ZYR_THREADS=N in the environment fixes the count (1: everything in the
// calling thread).
int WORK_thread_count(size_t work);
// The count ZYR_THREADS asks for, -1 when it is not set.
int WORK_threads_asked();

// Calls f(first, end) on `parts` shares of rows 0..rows-1 (consecutive and
// about equal), one of them in the calling thread, the others on the
// workers, and returns when all are done.  Each share must write only its
// own rows.  Called from a worker (a share that splits again), it runs the
// whole range in that thread.
void WORK_rows(int rows, int parts, const std::function<void(int, int)> &f);

// Calls f(k) for k = 0..chunks-1 on up to `threads` threads, the calling
// thread among them: each thread takes the next chunk not yet taken until
// none is left, so that chunks of unequal cost keep every thread busy to
// the end (a fixed share per thread waits for the slowest share).  Which
// thread takes which chunk varies from run to run: each chunk must write
// only its own part of the result.  Called from a worker, it runs every
// chunk in that thread.
void WORK_chunks(int chunks, int threads, const std::function<void(int)> &f);
// WORK_chunks over rows 0..rows-1 in consecutive ranges, about four for
// each thread: f(first, end) for each range.
void WORK_row_chunks(int rows, int threads, const std::function<void(int, int)> &f);
