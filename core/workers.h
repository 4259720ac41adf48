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
